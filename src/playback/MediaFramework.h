#pragma once

#include <chrono>
#include <memory>

#include "playback/MediaGraph.h"

namespace tavelune {

// The media framework: FFmpeg, on both systems. Created inactive. UI
// thread.
std::unique_ptr<IMediaFramework> CreateMediaFramework();

// Waits until the graph's streaming thread has handled every seek asked for
// so far (delivering a frame or giving up); false when `timeout` ran out.
// For tools and tests, which need to know that no frame is coming.
bool WaitForSeeks(IMediaFramework& media, std::chrono::milliseconds timeout);

}  // namespace tavelune
