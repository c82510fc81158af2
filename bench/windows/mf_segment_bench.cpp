// One segment through the Media Foundation layer (seek on the paused graph,
// one decoded frame, conversion, delivery) against the least a plain
// synchronous source reader needs for the same frame (seek and one decoded
// sample, no conversion), in the same process, alternating position by
// position, with a pause before each. Prints the medians in milliseconds and their ratio.
// Usage (under Wine or Windows): mf_segment_bench MOVIE [SEGMENTS]

#include <windows.h>

#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <propvarutil.h>
#include <wrl/client.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/Synchronize.h"
#include "platform/win32/Win32Text.h"
#include "playback/MediaFramework.h"

namespace {

using namespace tavelune;
using Clock = std::chrono::steady_clock;
using Microsoft::WRL::ComPtr;

class TCounter final : public tavelune::IGraphListener {
 public:
  void OnGraphEvent(long) override {}
  void OnEndOfSegment() override {}
  void OnSample(double, const std::uint8_t*, std::size_t) override { ++Frames; }
  int Frames = 0;
};

double Milliseconds(Clock::duration duration) {
  return std::chrono::duration<double, std::milli>(duration).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

// The plain loop: a synchronous reader giving NV12.
class TPlainReader {
 public:
  explicit TPlainReader(const std::wstring& url) {
    if (FAILED(MFCreateSourceReaderFromURL(url.c_str(), nullptr, &FReader))) {
      std::fprintf(stderr, "the plain reader cannot open the movie\n");
      std::exit(1);
    }
    FReader->SetStreamSelection(static_cast<DWORD>(MF_SOURCE_READER_ALL_STREAMS), FALSE);
    FReader->SetStreamSelection(static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM), TRUE);
    ComPtr<IMFMediaType> type;
    MFCreateMediaType(&type);
    type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    type->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_NV12);
    FReader->SetCurrentMediaType(static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM), nullptr,
                                 type.Get());
  }
  bool Segment(TRefTime position) {
    PROPVARIANT where;
    InitPropVariantFromInt64(position, &where);
    FReader->SetCurrentPosition(GUID_NULL, where);
    PropVariantClear(&where);
    for (int read = 0; read < 16; ++read) {
      DWORD flags = 0;
      LONGLONG time = 0;
      ComPtr<IMFSample> sample;
      if (FAILED(FReader->ReadSample(static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM), 0,
                                     nullptr, &flags, &time, &sample)) ||
          (flags & MF_SOURCE_READERF_ENDOFSTREAM) != 0) {
        return false;
      }
      if (sample) {
        return true;
      }
    }
    return false;
  }

 private:
  ComPtr<IMFSourceReader> FReader;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: mf_segment_bench MOVIE [SEGMENTS]\n");
    return 2;
  }
  const std::string movie = argv[1];
  const int segments = argc > 2 ? std::atoi(argv[2]) : 12;
  ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  MFStartup(MF_VERSION, MFSTARTUP_NOSOCKET);

  auto media = platform::CreateMediaFramework();
  TCounter counter;
  tavelune::IFilterGraph& graph = media->FilterGraph();
  graph.SetListener(&counter);
  graph.SetActive(true);
  graph.RenderFile(movie);
  graph.Run();
  graph.Pause();
  TRefTime current = 0;
  TRefTime length = 0;
  graph.QueryMediaSeeking()->GetPositions(current, length);
  TPlainReader plain(platform::WideText(movie));

  auto ours = [&](TRefTime position) {
    const int before = counter.Frames;
    graph.QueryMediaSeeking()->SetPositions(position, kSegmentSeekFlags,
                                            position + kRefTimePerSecond, kSegmentSeekFlags);
    platform::WaitForSeeks(*media, std::chrono::seconds(10));
    RunSynchronizeRequests();
    return counter.Frames == before + 1;
  };
  // One of each first: the decoders' start-up is not a segment's cost.
  ours(length / 3);
  plain.Segment(length / 3);

  std::vector<double> oursTimes;
  std::vector<double> plainTimes;
  int missed = 0;
  for (int i = 0; i < segments; ++i) {
    // Spread over the movie, in an order that jumps back and forth.
    const int slot = (i * 7) % segments;
    const TRefTime position = length * (2 * slot + 1) / (2 * segments);
    // A pause before each: a reader's library decodes ahead after a seek,
    // which must not be charged to the other's segment (the saver's
    // segments are seconds apart).
    ::Sleep(300);
    auto start = Clock::now();
    missed += ours(position) ? 0 : 1;
    oursTimes.push_back(Milliseconds(Clock::now() - start));
    ::Sleep(300);
    start = Clock::now();
    missed += plain.Segment(position) ? 0 : 1;
    plainTimes.push_back(Milliseconds(Clock::now() - start));
  }
  graph.SetActive(false);
  const double oursMedian = Median(oursTimes);
  const double plainMedian = Median(plainTimes);
  std::printf(
      "%s: %d segments of %.1f s, ours %.1f ms, plain source reader %.1f ms, ratio %.2f%s\n",
      movie.c_str(), segments, static_cast<double>(length) / kRefTimePerSecond, oursMedian,
      plainMedian, plainMedian > 0 ? oursMedian / plainMedian : 0.0,
      missed != 0 ? " (some segments gave no frame)" : "");
  return missed == 0 ? 0 : 1;
}
