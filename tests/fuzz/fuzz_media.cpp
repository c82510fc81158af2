// The media framework on arbitrary bytes: open, seek, decode one key frame
// and convert it, in both frame depths. Whatever the bytes, the graph opens
// or refuses with its error, and a seek delivers a frame of the connected
// size or nothing; never a fault, a hang or a runaway allocation.
#include <chrono>

#include "FuzzFiles.h"
#include "base/Synchronize.h"
#include "playback/MediaFramework.h"

namespace {

class TCheckedFrames : public tavelune::IGraphListener {
 public:
  explicit TCheckedFrames(tavelune::ISampleGrabber& grabber) : FGrabber(grabber) {}
  void OnGraphEvent(long) override {}
  void OnEndOfSegment() override {}
  void OnSample(double, const std::uint8_t* buffer, std::size_t length) override {
    tavelune::TBitmap24 picture;
    if (FGrabber.SampleToBitmap(picture, buffer, length) && picture.Empty()) {
      __builtin_trap();  // a delivered frame has a size
    }
  }

 private:
  tavelune::ISampleGrabber& FGrabber;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tavelune;
  const std::string file = fuzz::WriteInput("movie.bin", fuzz::AsText(data, size));
  const std::unique_ptr<IMediaFramework> media = CreateMediaFramework();
  IFilterGraph& graph = media->FilterGraph();
  TCheckedFrames frames(media->SampleGrabber());
  graph.SetListener(&frames);
  graph.SetActive(true);
  for (TMediaSubtype subtype : {TMediaSubtype::RGB24, TMediaSubtype::RGB32}) {
    media->SampleGrabber().SetMediaSubtype(subtype);
    media->SampleGrabber().ApplyGrabberType();
    try {
      graph.RenderFile(file);
    } catch (const EMediaError&) {
      break;
    }
    graph.Pause();
    IMediaSeeking* seeking = graph.QueryMediaSeeking();
    TRefTime current = 0;
    TRefTime stop = 0;
    seeking->GetPositions(current, stop);
    for (TRefTime position : {TRefTime{0}, stop / 2}) {
      seeking->SetPositions(position, kSegmentSeekFlags, stop, kSegmentSeekFlags);
      if (!WaitForSeeks(*media, std::chrono::seconds(30))) {
        __builtin_trap();  // a seek outlived its deadline
      }
    }
    std::string stream;
    media->FrameSource().CurrentImageToStream(stream);
    graph.EmptyGraph();
  }
  graph.SetActive(false);
  graph.SetListener(nullptr);
  RunSynchronizeRequests();  // the graph's events, as the UI thread would take them
  return 0;
}
