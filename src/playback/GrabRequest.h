#pragma once

// The hand-over of one segment's frame from the media framework's streaming
// thread to the play loop.
//
// The play loop arms the request when it seeks (and the graph again at the
// end of a segment); while armed, the next sample the grabber sees is
// delivered as the request's picture, which ends the request. A seek that
// delivers nothing, the time-out timer and the movie's stop expire it
// instead. The play loop waits while the request is out, then takes the
// picture.
//
// Threads: Deliver runs on the streaming thread, everything else on the UI
// thread. The flags are atomic; the picture's hand-over is guarded by a
// lock of its own, and the picture is shared, never copied (a frame can be
// tens of megabytes).

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "imaging/Bitmap.h"

namespace tavelune {

class TGrabRequest {
 public:
  // The play loop's wait for a frame: this many waits of
  // kWaitRoundMilliseconds, after each of which it looks again, 5 s in all.
  static constexpr int kWaitRounds = 50;
  static constexpr int kWaitRoundMilliseconds = 100;
  // The grab timer, restarted at every seek: when it fires the request
  // expires, so that one armed at a segment's end is not left out, in
  // milliseconds.
  static constexpr int kTimerMilliseconds = 10'000;

  // --- UI thread ---
  // A frame is wanted.
  void Arm() { FWanted = true; }
  // No frame is wanted any more; what was delivered stays.
  void Expire() { FWanted = false; }
  // A new movie: no request out and nothing delivered from it yet.
  void Reset() {
    FWanted = false;
    FDelivered = false;
  }
  bool Wanted() const { return FWanted; }
  // Whether a frame of this movie was delivered since the last Reset.
  bool Delivered() const { return FDelivered; }
  // Waits while the request is out, at most kWaitRounds rounds of
  // `pauseMilliseconds(kWaitRoundMilliseconds)` (which handles messages and
  // sleeps), ending early when `closing` is set.
  void Wait(const std::function<void(int)>& pauseMilliseconds,
            const std::atomic<bool>& closing) const;
  // The picture delivered last (or put in its place); never null, empty
  // before any.
  std::shared_ptr<const TBitmap24> Picture() const;
  // Puts `picture` in the delivered picture's place (the video window's
  // snapshot when nothing was delivered).
  void ReplacePicture(std::shared_ptr<const TBitmap24> picture);

  // --- streaming thread ---
  // When a frame is wanted, `convert` fills a new picture from the sample;
  // the request ends either way. A conversion that fails (false or an
  // exception) keeps the earlier picture, so that the play loop never waits
  // for a sample that has already come.
  void Deliver(const std::function<bool(TBitmap24&)>& convert);

 private:
  std::atomic<bool> FWanted{false};
  std::atomic<bool> FDelivered{false};
  mutable std::mutex FLock;  // guards FPicture
  std::shared_ptr<const TBitmap24> FPicture = std::make_shared<const TBitmap24>();
};

}  // namespace tavelune
