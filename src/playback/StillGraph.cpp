// The graph's state machine over a decoding backend. FMutex guards
// everything both threads touch; the source belongs to the streaming thread
// while FBusy is set and to the UI thread otherwise.
//
// What "running" means here: a running graph's position follows the wall
// clock from where it was, nothing is decoded, and reaching the stop
// position raises the end-of-segment or completion event as the seek's
// flags ask. A seek on a paused graph delivers exactly one still.

#include "playback/StillGraph.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "base/ScopeExit.h"
#include "base/Synchronize.h"
#include "imaging/BmpFile.h"
#include "playback/MediaFramework.h"

namespace tavelune {

using TClock = std::chrono::steady_clock;

bool TInterruption::DeadlinePassed() const {
  const std::int64_t deadline = FDeadline.load();
  return deadline != 0 && TClock::now().time_since_epoch().count() > deadline;
}

std::chrono::milliseconds TInterruption::Remaining() const {
  const std::int64_t deadline = FDeadline.load();
  if (deadline == 0) {
    return std::chrono::hours(1);
  }
  const auto left = TClock::duration(deadline) - TClock::now().time_since_epoch();
  return std::max(std::chrono::milliseconds(0),
                  std::chrono::duration_cast<std::chrono::milliseconds>(left));
}

void TInterruption::Arm(TClock::duration limit) {
  FDeadline = (TClock::now() + limit).time_since_epoch().count();
}

namespace {

// Carries graph events to the UI thread; outlives the graph while events
// are on their way.
struct TEventRelay {
  IGraphListener* Listener = nullptr;  // UI thread only
  // The number of the latest seek on the paused graph (UI thread writes):
  // a no-frame notice of an earlier seek must not end the wait of a later.
  std::atomic<std::uint64_t> LatestSeek{0};
};

TBitmap24 DibToBitmap(const TDibFormat& format, const std::uint8_t* buffer, std::size_t length) {
  TBitmap24 picture(format.Width, format.Height);
  const std::size_t stride = format.Stride();
  const int bytesPerPixel = format.BitCount / 8;
  for (int row = 0; row < format.Height; ++row) {
    const std::size_t start = static_cast<std::size_t>(row) * stride;
    if (start >= length) {
      break;
    }
    const std::size_t available = std::min(length - start, stride) / bytesPerPixel;
    const int pixels = static_cast<int>(std::min<std::size_t>(available, format.Width));
    const std::uint8_t* from = buffer + start;
    std::uint8_t* to = picture.Row(format.Height - 1 - row);  // rows bottom-up
    for (int x = 0; x < pixels; ++x, from += bytesPerPixel, to += 3) {
      to[0] = from[0];
      to[1] = from[1];
      to[2] = from[2];
    }
  }
  return picture;
}

class TStillGraph final : public IMediaFramework,
                          public IFilterGraph,
                          public ISampleGrabber,
                          public IFrameSource,
                          public IMediaSeeking {
 public:
  explicit TStillGraph(std::unique_ptr<IStillBackend> backend)
      : FBackend(std::move(backend)), FRelay(std::make_shared<TEventRelay>()) {}
  ~TStillGraph() override {
    FRelay->Listener = nullptr;
    SetActive(false);
  }

  IFilterGraph& FilterGraph() override { return *this; }
  ISampleGrabber& SampleGrabber() override { return *this; }
  IFrameSource& FrameSource() override { return *this; }

  // --- IFilterGraph ---
  void SetListener(IGraphListener* listener) override {
    FListener = listener;
    FRelay->Listener = listener;
  }
  bool Active() const override { return FActive; }
  void SetActive(bool active) override {
    if (active == FActive) {
      return;
    }
    if (active) {
      FQuit = false;
      FThread = std::thread([this] { StreamingThread(); });
      FActive = true;
      return;
    }
    CloseMovie();
    {
      std::lock_guard lock(FMutex);
      FQuit = true;
    }
    FWake.notify_all();
    FThread.join();
    FActive = false;
  }
  void EmptyGraph() override {
    if (!FActive) {
      return;
    }
    Stop();
    CloseMovie();
  }
  THResult RenderFile(const std::string& fileName) override {
    if (!FActive) {
      throw EMediaError(kVfwEWrongState, "the graph is not active");
    }
    CloseMovie();
    FInterruption.Arm(kOpenDeadline);
    TOpenedSource opened;
    {
      const TScopeExit disarm([this] { FInterruption.Disarm(); });
      opened = FBackend->Open(fileName, FInterruption);
    }
    std::lock_guard lock(FMutex);
    FSource = std::move(opened.Source);
    FState = TState::Stopped;
    FCurrent = 0;
    FStop = opened.Duration;
    FSegmentFlag = false;
    return opened.Result;
  }
  void Run() override {
    std::lock_guard lock(FMutex);
    if (FSource && FState != TState::Running) {
      FState = TState::Running;
      FRunBase = FCurrent;
      FRunStart = TClock::now();
      FEndReported = false;
    }
    FWake.notify_all();
  }
  void Pause() override {
    {
      std::lock_guard lock(FMutex);
      if (!FSource) {
        return;
      }
      FCurrent = PositionNow();
      FState = TState::Paused;
    }
    FWake.notify_all();
    PostEvent(kEcPaused, false);
  }
  void Stop() override {
    std::lock_guard lock(FMutex);
    if (FSource) {
      FCurrent = PositionNow();
      FState = TState::Stopped;
    }
    FWake.notify_all();
  }
  void SetVolume(int /*volume*/) override {
    // Audio is never decoded: every movie plays muted whatever the volume.
  }
  IMediaSeeking* QueryMediaSeeking() override { return FActive ? this : nullptr; }

  // --- IMediaSeeking ---
  bool GetPositions(TRefTime& current, TRefTime& stop) override {
    std::lock_guard lock(FMutex);
    if (!FSource) {
      return false;
    }
    current = PositionNow();
    stop = FStop;
    return true;
  }
  bool SetPositions(TRefTime current, std::uint32_t currentFlags, TRefTime stop,
                    std::uint32_t stopFlags) override {
    {
      std::lock_guard lock(FMutex);
      if (!FSource) {
        return false;
      }
      FCurrent = std::max<TRefTime>(current, 0);
      FStop = stop;
      FSegmentFlag = ((currentFlags | stopFlags) & kSeekingSegment) != 0;
      FRunBase = FCurrent;
      FRunStart = TClock::now();
      FEndReported = false;
      if (FState == TState::Paused) {
        FSeekPending = true;
        FSeekTarget = FCurrent;
        FSeekNumber = ++FRelay->LatestSeek;
      }
    }
    FWake.notify_all();
    return true;
  }

  // --- ISampleGrabber ---
  void SetMediaSubtype(TMediaSubtype subtype) override { FWantedSubtype = subtype; }
  TMediaSubtype MediaSubtype() const override { return FWantedSubtype; }
  void ApplyGrabberType() override {
    std::lock_guard lock(FMutex);
    FAppliedSubtype = FWantedSubtype;
  }
  bool SampleToBitmap(TBitmap24& picture, const std::uint8_t* buffer,
                      std::size_t bufferLength) const override {
    TDibFormat format;
    {
      std::lock_guard lock(FMutex);
      format = FFormat;
    }
    if (format.BitCount == 0) {
      return false;
    }
    picture = DibToBitmap(format, buffer, bufferLength);
    return true;
  }

  bool WaitIdle(std::chrono::milliseconds timeout) {
    std::unique_lock lock(FMutex);
    return FIdle.wait_for(lock, timeout, [this] { return !FSeekPending && !FBusy; });
  }

  // --- IFrameSource ---
  bool CurrentImageToStream(std::string& stream) override {
    std::lock_guard lock(FMutex);
    if (!FSource || FLastStill.Image.empty() || FLastStill.Format.BitCount == 0) {
      return false;
    }
    stream =
        EncodeBmp(DibToBitmap(FLastStill.Format, FLastStill.Image.data(), FLastStill.Image.size()));
    return true;
  }

 private:
  enum class TState { Stopped, Paused, Running };

  // Caller holds FMutex.
  TRefTime PositionNow() const {
    if (FState != TState::Running) {
      return FCurrent;
    }
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::duration<TRefTime, std::ratio<1, 10'000'000>>>(
            TClock::now() - FRunStart);
    TRefTime position = FRunBase + elapsed.count();
    return FStop > FRunBase ? std::min(position, FStop) : position;
  }

  // Makes the streaming thread drop what it does and frees the movie.
  void CloseMovie() {
    std::unique_lock lock(FMutex);
    FInterruption.SetAbort(true);
    FSeekPending = false;
    FIdle.wait(lock, [this] { return !FBusy; });
    FSource.reset();
    FLastStill = {};
    FFormat = {};
    FState = TState::Stopped;
    FInterruption.SetAbort(false);
  }

  void StreamingThread() {
    std::unique_lock lock(FMutex);
    while (!FQuit) {
      if (FSeekPending && FSource) {
        FSeekPending = false;
        const TRefTime target = FSeekTarget;
        const int bitCount = FAppliedSubtype == TMediaSubtype::RGB24 ? 24 : 32;
        const std::uint64_t seek = FSeekNumber;
        FBusy = true;
        // The last still's picture becomes the next one's: a 4K frame is
        // tens of megabytes, so there is never a second one, and a buffer
        // of the same size needs no new memory (a fresh one costs a page
        // fault per 4 KiB on every seek, the larger part of a segment under
        // Windows' heap, which maps every large block anew).
        std::vector<std::uint8_t> picture = std::move(FLastStill.Image);
        FLastStill = {};
        lock.unlock();
        DeliverStillAt(target, bitCount, seek, std::move(picture));
        lock.lock();
        FBusy = false;
        FIdle.notify_all();
        continue;
      }
      if (FState == TState::Running && FSource && !FEndReported && FStop > FRunBase) {
        const auto until = FRunStart + std::chrono::duration<TRefTime, std::ratio<1, 10'000'000>>(
                                           FStop - FRunBase);
        if (TClock::now() >= until) {
          FEndReported = true;
          const bool segment = FSegmentFlag;
          lock.unlock();
          PostEvent(segment ? kEcEndOfSegment : kEcComplete, segment);
          lock.lock();
          continue;
        }
        FWake.wait_until(lock, until);
        continue;
      }
      FWake.wait(lock);
    }
  }

  void PostEvent(long code, bool endOfSegment) {
    Queue([relay = FRelay, code, endOfSegment] {
      if (relay->Listener == nullptr) {
        return;
      }
      relay->Listener->OnGraphEvent(code);
      if (endOfSegment) {
        relay->Listener->OnEndOfSegment();
      }
    });
  }

  // A seek that delivers nothing says so at once, so that the saver does
  // not wait seconds for a frame of a file that cannot give one.
  void PostNoFrame(std::uint64_t seek) {
    Queue([relay = FRelay, seek] {
      if (relay->Listener != nullptr && relay->LatestSeek == seek) {
        relay->Listener->OnNoFrame();
      }
    });
  }

  // Streaming thread, FBusy set: the source is this thread's.
  // `picture`: memory for the still's picture (any size; reused).
  void DeliverStillAt(TRefTime position, int bitCount, std::uint64_t seek,
                      std::vector<std::uint8_t> picture) {
    FInterruption.Arm(kSeekDeadline);
    TStill still;
    still.Image = std::move(picture);
    const bool decoded = FSource->DecodeStill(position, bitCount, FInterruption, still) &&
                         !FInterruption.Interrupted() && Plausible(still, bitCount);
    FInterruption.Disarm();
    if (decoded) {
      Deliver(std::move(still));
    } else if (!FInterruption.Aborted()) {  // a movie being closed owes nobody a frame
      PostNoFrame(seek);
    }
  }

  static bool Plausible(const TStill& still, int bitCount) {
    const TDibFormat& format = still.Format;
    return format.BitCount == bitCount && format.Width > 0 && format.Height > 0 &&
           format.Width <= kMaxFrameSide && format.Height <= kMaxFrameSide &&
           still.Image.size() == format.ImageSize();
  }

  void Deliver(TStill still) {
    {
      std::lock_guard lock(FMutex);
      FFormat = still.Format;
    }
    if (IGraphListener* listener = FListener.load()) {
      listener->OnSample(still.SampleTime, still.Image.data(), still.Image.size());
    }
    std::lock_guard lock(FMutex);
    FLastStill = std::move(still);
  }

  std::unique_ptr<IStillBackend> FBackend;
  std::shared_ptr<TEventRelay> FRelay;
  // Set on the UI thread, read by the streaming thread.
  std::atomic<IGraphListener*> FListener{nullptr};
  bool FActive = false;
  TMediaSubtype FWantedSubtype = TMediaSubtype::RGB32;
  TInterruption FInterruption;

  mutable std::mutex FMutex;
  std::condition_variable FWake;  // work for the streaming thread
  std::condition_variable FIdle;  // the streaming thread let go of the source
  std::thread FThread;
  bool FQuit = false;
  bool FBusy = false;
  std::unique_ptr<IStillSource> FSource;
  TMediaSubtype FAppliedSubtype = TMediaSubtype::RGB32;
  TState FState = TState::Stopped;
  TRefTime FCurrent = 0;
  TRefTime FStop = 0;
  TRefTime FRunBase = 0;
  TClock::time_point FRunStart;
  bool FSegmentFlag = false;
  bool FEndReported = false;
  bool FSeekPending = false;
  TRefTime FSeekTarget = 0;
  std::uint64_t FSeekNumber = 0;  // of the pending seek
  TDibFormat FFormat;             // of the samples delivered
  TStill FLastStill;              // the still last delivered
};

}  // namespace

std::unique_ptr<IMediaFramework> CreateStillGraph(std::unique_ptr<IStillBackend> backend) {
  return std::make_unique<TStillGraph>(std::move(backend));
}

bool WaitForSeeks(IMediaFramework& media, std::chrono::milliseconds timeout) {
  auto* graph = dynamic_cast<TStillGraph*>(&media);
  return graph == nullptr || graph->WaitIdle(timeout);
}

}  // namespace tavelune
