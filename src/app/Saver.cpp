#include "app/Saver.h"

namespace tavelune {

TSaver::TSaver(ISaverHost& host, IMediaFramework& media, IHistoryLog& logFile)
    : FilterG1(media.FilterGraph()),
      Capture1(media.SampleGrabber()),
      QuilloMonitor(media.VideoWindow()),
      LogFile1(logFile),
      FHost(host) {
  TimerFilter = FHost.CreateTimer(10'000, [this] { TimerFilterTimer(); });
  // The turning control as still composition uses it: the turned picture
  // at the top-left of its square, the rest in the back colour.
  RotateImage1.SetAutoSize(true);
  RotateImage1.SetCenter(true);
  RotateImage1.SetStretch(true);
  RotateImage1.SetTransparent(true);
  RotateImage1.SetUniqueSize(true);
  FilterG1.SetListener(this);
}

TSaver::~TSaver() {
  // Releasing the graph ends its streaming thread, so no frame arrives
  // for a saver that is gone.
  FilterG1.SetActive(false);
  FilterG1.SetListener(nullptr);
}

}  // namespace tavelune
