#include "playback/GrabRequest.h"

#include <thread>
#include <utility>

namespace tavelune {

void TGrabRequest::Wait(const std::function<void(int)>& pauseMilliseconds,
                        const std::atomic<bool>& closing) const {
  for (int round = 0; round < kWaitRounds && FWanted && !closing; ++round) {
    pauseMilliseconds(kWaitRoundMilliseconds);
  }
}

std::shared_ptr<const TBitmap24> TGrabRequest::Picture() const {
  std::lock_guard lock(FLock);
  return FPicture;
}

void TGrabRequest::ReplacePicture(std::shared_ptr<const TBitmap24> picture) {
  std::lock_guard lock(FLock);
  FPicture = std::move(picture);
}

void TGrabRequest::Deliver(const std::function<bool(TBitmap24&)>& convert) {
  if (!FWanted) {
    return;
  }
  try {
    auto picture = std::make_shared<TBitmap24>();
    if (convert(*picture)) {
      ReplacePicture(std::move(picture));
    }
    // Only the UI thread may handle window messages; this thread just
    // gives up its slice.
    std::this_thread::yield();
  } catch (...) {
    // The earlier picture stays; the request still ends below.
  }
  FDelivered = true;
  FWanted = false;
}

}  // namespace tavelune
