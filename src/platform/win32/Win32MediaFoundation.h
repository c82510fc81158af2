#pragma once

// What the Windows program needs to know of its media framework beyond
// playback/MediaFramework.h.

namespace tavelune::platform {

// True while a closed movie's reader is still being let go on a thread of
// its own (its last read had not come back when the movie was closed).
bool MediaReadersBeingReleased();

}  // namespace tavelune::platform
