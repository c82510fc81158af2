// The saver window on Qt's offscreen platform with two screens of its own:
// a full-screen run covers the second one with a window of its own, which
// shows that monitor's own stills over its own background, goes when the
// monitor is unplugged, and ends with the run.

#include "frontends/qt/QtSaverWindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPainter>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/Program.h"
#include "base/Synchronize.h"
#include "helpers/TestFiles.h"
#include "helpers/TestMovies.h"

namespace tavelune::platform {
namespace {

using test::TTempDir;

// Settings for one folder of movies, the stills full size and centred, the
// back colour pure blue (the desktop not kept), segments 2 s apart.
void WriteSettings(const std::string& fileName, const std::string& folder) {
  std::ofstream out(fileName);
  out << "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Norvane\\Tavelune]\n"
         "\"Draw Posision\"=dword:00000000\n\"Graphics Size\"=dword:00000000\n"
         "\"Screen Clear\"=dword:00000000\n\"Point Cast\"=\"\"\n\"Random Sort\"=dword:00000000\n"
         "\"Rotate\"=dword:00000000\n\"Capture\"=dword:00000000\n"
         "\"DispFileName\"=dword:00000000\n\"BackColor\"=dword:00ff0000\n"
         "\"Draw Wait\"=dword:00000001\n\"LogFile\"=\"\"\n\"PreviewRandom\"=dword:00000000\n"
         "\"PreViewSeconds\"=dword:00000002\n\"PreViewMin\"=dword:00000002\n"
         "\"PreViewMax\"=dword:00000003\n\n"
         "[HKEY_CURRENT_USER\\Software\\Norvane\\Tavelune\\Folders]\n\"0000\"=\""
      << folder << "\"\n\n[HKEY_CURRENT_USER\\Software\\Norvane\\Tavelune\\Exts]\n"
      << "\"0000\"=\"mp4\"\n";
}

// What the run showed, looked at while it ran.
struct TSeen {
  int OtherWindows = 0;
  QRect Geometry;
  bool Visible = false;
  QRgb Inside = 0;
  QRgb Edge = 0;
  QRgb Corner = 0;
  int OtherWindowsAfterUnplugging = 0;
  bool RunningAfterUnplugging = false;
};

// The pause before the first movie (at most 4 s), its opening and its first
// still, with room to spare.
constexpr int kLookAfterMs = 8000;

TEST(QtSaverWindow, AFullScreenRunCoversTheOtherMonitorUntilItIsUnplugged) {
  TTempDir dir;
  const std::string movie = test::TTestMovies::Get().Make(
      "small.mp4", "-f lavfi -i testsrc2=size=160x120:rate=25 -t 8 -c:v libx264 -g 25 -f mp4");
  std::filesystem::create_directories(dir.Name("movies"));
  std::filesystem::copy_file(movie, dir.Name("movies/small.mp4"));
  const std::string settings = dir.Name("settings.reg");
  WriteSettings(settings, dir.Name("movies"));
  setenv("TAVELUNE_SETTINGS", settings.c_str(), 1);
  ASSERT_EQ(QGuiApplication::screens().size(), 2);
  QScreen* other = QGuiApplication::screens()[0] == QGuiApplication::primaryScreen()
                       ? QGuiApplication::screens()[1]
                       : QGuiApplication::screens()[0];

  TSeen seen;
  auto window = std::make_unique<TQtSaverWindow>(TProgramRun{"S"}, 0);
  // The run plays on the event loop once the window is shown: what it shows
  // is looked at from a timer of that loop, then the run is ended.
  QTimer::singleShot(kLookAfterMs, [&] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (dynamic_cast<TQtOtherScreenWindow*>(widget) == nullptr) {
        continue;
      }
      ++seen.OtherWindows;
      seen.Geometry = widget->geometry();
      seen.Visible = widget->isVisible();
      const QImage shown = widget->grab().toImage();
      seen.Inside = shown.pixel(shown.width() / 2, shown.height() / 2);
      seen.Corner = shown.pixel(0, 0);
      seen.Edge = shown.pixel(10, 10);
    }
    // On request, what both monitors show, side by side as they stand.
    if (const char* shots = std::getenv("TAVELUNE_SHOTS")) {
      QImage both(1040, 480, QImage::Format_RGB32);
      both.fill(Qt::darkGray);
      QPainter painter(&both);
      painter.drawImage(QGuiApplication::primaryScreen()->geometry().topLeft(),
                        window->grab().toImage());
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (dynamic_cast<TQtOtherScreenWindow*>(widget) != nullptr) {
          painter.drawImage(widget->geometry().topLeft(), widget->grab().toImage());
        }
      }
      painter.end();
      both.save(QString::fromUtf8(shots) + "/two-monitors.png");
    }
    // The other monitor is unplugged: its window goes, the run goes on.
    emit qApp->screenRemoved(other);
  });
  QTimer::singleShot(kLookAfterMs + 2000, [&] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      seen.OtherWindowsAfterUnplugging += dynamic_cast<TQtOtherScreenWindow*>(widget) != nullptr;
    }
    seen.RunningAfterUnplugging = window->isVisible();
    window->close();
  });
  ASSERT_TRUE(window->Start());
  QTest::qWait(kLookAfterMs + 3000);
  EXPECT_EQ(seen.OtherWindows, 1);
  EXPECT_EQ(seen.Geometry, other->geometry());
  EXPECT_TRUE(seen.Visible);
  // A still in its middle (the pattern is not pure blue), the back colour
  // outlined in black around it.
  EXPECT_NE(seen.Inside & 0xFFFFFF, 0x0000FFu);
  EXPECT_EQ(seen.Edge & 0xFFFFFF, 0x0000FFu);
  EXPECT_EQ(seen.Corner & 0xFFFFFF, 0u);
  EXPECT_EQ(seen.OtherWindowsAfterUnplugging, 0);
  EXPECT_TRUE(seen.RunningAfterUnplugging);
  // The other monitor's window goes with the saver window.
  window.reset();
  int left = 0;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    left += dynamic_cast<TQtOtherScreenWindow*>(widget) != nullptr ? 1 : 0;
  }
  EXPECT_EQ(left, 0);
}

}  // namespace
}  // namespace tavelune::platform

int main(int argc, char** argv) {
  // Two screens side by side, 640 × 480 and 400 × 300; Qt says which is the
  // primary one.
  const std::string config = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") +
                             "/tavelune-two-screens.json";
  std::ofstream(config) << R"({ "screens": [
    { "name": "left", "x": 0, "y": 0, "width": 640, "height": 480,
      "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1 },
    { "name": "right", "x": 640, "y": 0, "width": 400, "height": 300,
      "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1 } ] })";
  setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config).c_str(), 1);
  // The offscreen platform cannot grab input, which the window retries ten
  // times a second: that says nothing here.
  qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& message) {
    if (!message.contains(QStringLiteral("does not support grabbing"))) {
      std::fprintf(stderr, "%s\n", qPrintable(message));
    }
  });
  QApplication application(argc, argv);
  // As the program does: other threads' hand-overs (discovery's, the
  // graph's) wake the event loop.
  tavelune::SetMainThreadWaker([] {
    QMetaObject::invokeMethod(
        qApp, [] { tavelune::RunSynchronizeRequests(); }, Qt::QueuedConnection);
  });
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
