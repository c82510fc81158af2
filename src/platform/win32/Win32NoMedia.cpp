// The Windows build's media framework until the Media Foundation layer
// exists: a graph that renders nothing. Every movie then takes the play
// loop's error path (" Error" and the notice), which says plainly that this
// build cannot play it.

#include "platform/MediaFramework.h"

namespace tavelune::platform {

namespace {

constexpr THResult kVfwECannotRender = static_cast<THResult>(0x80040218);

class TNoMedia final : public IMediaFramework,
                       public IFilterGraph,
                       public ISampleGrabber,
                       public IVideoWindow {
 public:
  IFilterGraph& FilterGraph() override { return *this; }
  ISampleGrabber& SampleGrabber() override { return *this; }
  IVideoWindow& VideoWindow() override { return *this; }

  void SetListener(IGraphListener* /*listener*/) override {}
  bool Active() const override { return FActive; }
  void SetActive(bool active) override { FActive = active; }
  void EmptyGraph() override {}
  THResult RenderFile(const std::string& /*fileName*/) override {
    throw EDirectShowException(kVfwECannotRender, "this build has no media framework yet");
  }
  void Run() override {}
  void Pause() override {}
  void Stop() override {}
  void SetVolume(int /*volume*/) override {}
  IMediaSeeking* QueryMediaSeeking() override { return nullptr; }

  void SetMediaSubtype(TMediaSubtype subtype) override { FSubtype = subtype; }
  TMediaSubtype MediaSubtype() const override { return FSubtype; }
  void ApplyGrabberType() override {}
  bool SampleToBitmap(TBitmap24& /*picture*/, const std::uint8_t* /*buffer*/,
                      std::size_t /*length*/) const override {
    return false;
  }
  bool CurrentImageToStream(std::string& /*stream*/) override { return false; }

 private:
  bool FActive = false;
  TMediaSubtype FSubtype = TMediaSubtype::RGB32;
};

}  // namespace

std::unique_ptr<IMediaFramework> CreateMediaFramework() {
  return std::make_unique<TNoMedia>();
}

bool WaitForSeeks(IMediaFramework& /*media*/, std::chrono::milliseconds /*timeout*/) {
  return true;
}

}  // namespace tavelune::platform
