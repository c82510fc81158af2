#pragma once

#include <memory>

#include "playback/MediaGraph.h"

namespace tavelune::platform {

// The platform's media framework: FFmpeg on Linux. Created inactive. UI
// thread.
std::unique_ptr<IMediaFramework> CreateMediaFramework();

}  // namespace tavelune::platform
