// The saver window on Qt's offscreen platform with two screens of its own:
// a full-screen run covers the second one with a window of its own, which
// shows that monitor's own picture, and ends with the run.

#include "platform/qt/QtSaverWindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "app/Program.h"
#include "helpers/TestFiles.h"

namespace tavelune::platform {
namespace {

using test::TTempDir;

// A settings file without folders (the run finds no movie) whose back colour
// is pure blue, without the desktop kept.
void WriteSettings(const std::string& fileName) {
  std::ofstream out(fileName);
  out << "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Norvane\\Tavelune]\n"
         "\"Draw Posision\"=dword:00000000\n\"Graphics Size\"=dword:00000000\n"
         "\"Screen Clear\"=dword:00000000\n\"Point Cast\"=\"\"\n\"Random Sort\"=dword:00000000\n"
         "\"Rotate\"=dword:00000000\n\"Capture\"=dword:00000000\n"
         "\"DispFileName\"=dword:00000000\n\"BackColor\"=dword:00ff0000\n";
}

// What the run showed, looked at while it ran.
struct TSeen {
  int OtherWindows = 0;
  QRect Geometry;
  bool Visible = false;
  QRgb Inside = 0;
  QRgb Corner = 0;
};

TEST(QtSaverWindow, AFullScreenRunCoversTheOtherMonitorWithItsOwnPicture) {
  TTempDir dir;
  const std::string settings = dir.Name("settings.reg");
  WriteSettings(settings);
  setenv("TAVELUNE_SETTINGS", settings.c_str(), 1);
  ModeLetter = "S";
  PreviewHandle = 0;
  ASSERT_EQ(QGuiApplication::screens().size(), 2);
  QScreen* other = QGuiApplication::screens()[1];

  TSeen seen;
  auto window = std::make_unique<TQtSaverWindow>(0);
  // The run's play loop takes over the event loop once the window is shown:
  // what it shows is looked at from inside it, then the run is ended.
  QTimer::singleShot(3000, [&] {
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
    }
    window->close();
  });
  ASSERT_TRUE(window->Start());
  QTest::qWait(4000);
  EXPECT_EQ(seen.OtherWindows, 1);
  EXPECT_EQ(seen.Geometry, other->geometry());
  EXPECT_TRUE(seen.Visible);
  EXPECT_EQ(qBlue(seen.Inside), 255);  // the back colour, outlined in black
  EXPECT_EQ(qRed(seen.Inside), 0);
  EXPECT_EQ(seen.Corner & 0xFFFFFF, 0u);
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
  // Two screens side by side: the primary 640 × 480, another 400 × 300.
  const std::string config = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") +
                             "/tavelune-two-screens.json";
  std::ofstream(config) << R"({ "screens": [
    { "name": "primary", "x": 0, "y": 0, "width": 640, "height": 480,
      "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1 },
    { "name": "other", "x": 640, "y": 0, "width": 400, "height": 300,
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
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
