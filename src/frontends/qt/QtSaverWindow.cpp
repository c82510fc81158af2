#include "frontends/qt/QtSaverWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QWindow>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <random>
#include <thread>

#include "app/Program.h"
#include "base/ProcessUtils.h"
#include "base/Synchronize.h"
#include "frontends/qt/QtFormMessage.h"
#include "platform/SystemDirs.h"
#include "playback/MediaFramework.h"
#include "ports/qt/QtFonts.h"
#include "ports/x11/X11Windows.h"

namespace tavelune::platform {

namespace {

// The red error line's height above the bottom edge of the window.
constexpr int kErrorLineHeight = 18;

class TQtTimer : public ITimer {
 public:
  TQtTimer(int interval, std::function<void()> onTimer) {
    // To the millisecond: a hold ends when its time is up, not up to 5 %
    // early or late.
    FTimer.setTimerType(Qt::PreciseTimer);
    FTimer.setInterval(interval);
    QObject::connect(&FTimer, &QTimer::timeout, std::move(onTimer));
  }
  void SetInterval(int milliseconds) override { FTimer.setInterval(milliseconds); }
  void SetEnabled(bool enabled) override {
    if (enabled) {
      FTimer.start();  // a running timer starts its interval anew
    } else {
      FTimer.stop();
    }
  }
  bool Enabled() const override { return FTimer.isActive(); }

 private:
  QTimer FTimer;
};

// The window flags of a window that covers a monitor without a window
// manager's help (there may be none), above everything.
constexpr Qt::WindowFlags kCoveringWindow = Qt::Window | Qt::FramelessWindowHint |
                                            Qt::WindowStaysOnTopHint |
                                            Qt::X11BypassWindowManagerHint;

// `screen`'s whole picture now, into `picture` (its top-left part where
// sizes differ).
void GrabScreen(QScreen* screen, TBitmap24& picture) {
  const QImage shot = screen->grabWindow(0).toImage().convertToFormat(QImage::Format_BGR888);
  const int rows = std::min(picture.Height(), shot.height());
  const int bytes = 3 * std::min(picture.Width(), shot.width());
  for (int y = 0; y < rows; ++y) {
    std::memcpy(picture.Row(y), shot.constScanLine(y), static_cast<std::size_t>(bytes));
  }
}

void PaintPicture(QWidget& widget, const TBitmap24& picture) {
  QPainter painter(&widget);
  if (!picture.Empty()) {
    const QImage image(picture.Row(0), picture.Width(), picture.Height(),
                       static_cast<qsizetype>(picture.Stride()), QImage::Format_BGR888);
    painter.drawImage(0, 0, image);
  }
}

// The monitors besides the primary one, in Qt's order.
std::vector<QScreen*> OtherScreens() {
  std::vector<QScreen*> others;
  for (QScreen* screen : QGuiApplication::screens()) {
    if (screen != QGuiApplication::primaryScreen()) {
      others.push_back(screen);
    }
  }
  return others;
}

}  // namespace

TQtOtherScreenWindow::TQtOtherScreenWindow(TQtSaverWindow& saver, std::size_t index,
                                           QScreen* screen)
    : QWidget(nullptr, kCoveringWindow), FSaver(saver), FIndex(index), FScreen(screen) {
  setWindowTitle(QString::fromUtf8(kApplicationTitle));
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::NoFocus);  // keys go to the saver window, which grabs them
  setGeometry(screen->geometry());
}

void TQtOtherScreenWindow::paintEvent(QPaintEvent* /*event*/) {
  PaintPicture(*this, FSaver.OtherScreenPicture(FIndex));
}

void TQtOtherScreenWindow::mouseMoveEvent(QMouseEvent* event) {
  FSaver.OtherScreenMouseMove(event->globalPosition().toPoint());
}

void TQtOtherScreenWindow::mousePressEvent(QMouseEvent* /*event*/) {
  FSaver.OtherScreenMouseDown();
}

void TQtOtherScreenWindow::keyPressEvent(QKeyEvent* event) {
  FSaver.OtherScreenKeyPress(event);
}

TQtSaverWindow::TQtSaverWindow(const TProgramRun& run, std::uint64_t targetWindow)
    : FTargetWindow(targetWindow),
      FMedia(CreateMediaFramework()),
      FLogFile(ProgramFileName()),
      FErrorLine(new QLabel(this)) {
  setWindowTitle(QString::fromUtf8(kApplicationTitle));
  setMouseTracking(true);  // moves reach the window only with tracking on
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::StrongFocus);
  setFont(JapaneseUiFont(12));
  QFont bold = JapaneseUiFont(12);
  bold.setBold(true);
  FErrorLine->setFont(bold);
  FErrorLine->setStyleSheet(QStringLiteral("color: red; background: transparent;"));
  FErrorLine->setAttribute(Qt::WA_TransparentForMouseEvents);
  FSaver = std::make_unique<TSaver>(*this, *FMedia, FLogFile, run);
  connect(&FFollowTimer, &QTimer::timeout, this, [this] { FollowTarget(); });
}

TQtSaverWindow::~TQtSaverWindow() {
  delete FNotice;  // NOLINT(cppcoreguidelines-owning-memory): a notice still up goes too
  Guarded([this] { FSaver->FormDestroy(); });
  if (FCursorCount < 0) {
    QGuiApplication::restoreOverrideCursor();
  }
}

bool TQtSaverWindow::Start() {
  if (!FSaver->Preview()) {
    WatchInput();
  }
  Guarded([this] { FSaver->FormCreate(); });
  if (FTargetWindow != 0) {
    const std::optional<TWindowSize> size = ForeignWindowSize(FTargetWindow);
    if (!size) {
      std::fprintf(stderr, "tavelune: there is no window 0x%llx to draw into\n",
                   static_cast<unsigned long long>(FTargetWindow));
      return false;
    }
    // A native child of the foreign window, filling it. Qt reads a foreign
    // window's size as 0 × 0, so X is asked, now and while it runs.
    setAttribute(Qt::WA_NativeWindow);
    winId();
    windowHandle()->setParent(QWindow::fromWinId(static_cast<WId>(FTargetWindow)));
    setGeometry(0, 0, size->Width, size->Height);
    FFollowTimer.start(500);
    show();
  } else {
    // Covering the screen without a window manager's help (there may be
    // none), above everything, with keyboard and mouse grabbed.
    setWindowFlags(kCoveringWindow);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    setGeometry(screen);
    SetWindowClass(winId(), "tavelune", kSaverWindowClass);
    CoverOtherMonitors();
    show();
    raise();
    activateWindow();
    GrabInput();
  }
  FSaver->SetClientSize(width(), height());
  return true;
}

void TQtSaverWindow::CoverOtherMonitors() {
  // The saver made one picture for each monitor OtherMonitors reported, in
  // the same order.
  const std::vector<QScreen*> screens = OtherScreens();
  const std::size_t count = std::min(screens.size(), FSaver->OtherScreens().size());
  for (std::size_t i = 0; i < count; ++i) {
    auto window = std::make_unique<TQtOtherScreenWindow>(*this, i, screens[i]);
    SetWindowClass(window->winId(), "tavelune", kSaverWindowClass);
    window->show();
    window->raise();
    FOtherWindows.push_back(std::move(window));
  }
  // A monitor unplugged during the run takes its window along; the saver
  // goes on drawing its picture, which no one sees.
  connect(qApp, &QGuiApplication::screenRemoved, this,
          [this](QScreen* screen) { ForgetMonitor(screen); });
}

void TQtSaverWindow::ForgetMonitor(QScreen* screen) {
  for (auto& window : FOtherWindows) {
    if (window && window->Screen() == screen) {
      window.reset();
    }
  }
}

const TBitmap24& TQtSaverWindow::OtherScreenPicture(std::size_t index) const {
  return FSaver->OtherScreens()[index].Screen;
}

void TQtSaverWindow::OtherScreenMouseMove(QPoint global) {
  const QPoint at = mapFromGlobal(global);
  Guarded([&] { FSaver->FormMouseMove(at.x(), at.y()); });
}

void TQtSaverWindow::OtherScreenMouseDown() {
  Guarded([this] { FSaver->FormMouseDown(); });
}

void TQtSaverWindow::OtherScreenKeyPress(QKeyEvent* event) {
  keyPressEvent(event);
}

void TQtSaverWindow::WatchInput() {
  // The answer is a queued call, which every message pass runs, nested
  // ones included: it stays out only while the UI thread handles nothing.
  FInputWatchdog = StartInputWatchdog(
      [this] {
        QMetaObject::invokeMethod(
            this, [this] { FInputWatchdog->Answer(); }, Qt::QueuedConnection);
      },
      FLogFile);
  FInputWatch = WatchDesktopInput([watchdog = FInputWatchdog.get()] { watchdog->InputArrived(); });
}

void TQtSaverWindow::GrabInput() {
  if (FInputGrabbed || FSaver->Closing() || !isVisible()) {
    return;
  }
  QWindow* window = windowHandle();
  // A grab fails until the window is mapped: try again shortly.
  if (window == nullptr || !window->setKeyboardGrabEnabled(true) ||
      !window->setMouseGrabEnabled(true)) {
    QTimer::singleShot(100, this, [this] { GrabInput(); });
    return;
  }
  FInputGrabbed = true;
}

void TQtSaverWindow::ReleaseInput() {
  if (FInputGrabbed && windowHandle() != nullptr) {
    windowHandle()->setKeyboardGrabEnabled(false);
    windowHandle()->setMouseGrabEnabled(false);
  }
  FInputGrabbed = false;
}

void TQtSaverWindow::Activate() {
  // The first activation runs the play loop, which returns when the run
  // ends. Not inside a discovery hand-over that handles messages: the play
  // loop would wait there for movies that the hand-over itself brings.
  if (InSynchronizeStep()) {
    QTimer::singleShot(10, this, [this] { Activate(); });
    return;
  }
  Guarded([this] { FSaver->FormActivate(); });
}

void TQtSaverWindow::FollowTarget() {
  const std::optional<TWindowSize> size = ForeignWindowSize(FTargetWindow);
  if (!size) {
    // The window we draw into is gone: so is the saver.
    FFollowTimer.stop();
    std::fprintf(stderr, "tavelune: the window 0x%llx has gone\n",
                 static_cast<unsigned long long>(FTargetWindow));
    RequestClose();
    return;
  }
  if (size->Width != width() || size->Height != height()) {
    setGeometry(0, 0, size->Width, size->Height);
  }
}

void TQtSaverWindow::paintEvent(QPaintEvent* /*event*/) {
  if (!FSaver->Painted()) {
    Guarded([this] { FSaver->FormPaint(); });
    // The first activation follows the first paint, so the screen is
    // covered before the pause that starts the run (a window manager, if
    // any, may activate the window only later, or never).
    QTimer::singleShot(0, this, [this] { Activate(); });
  }
  PaintPicture(*this, FSaver->ScreenPicture());
}

void TQtSaverWindow::resizeEvent(QResizeEvent* /*event*/) {
  FErrorLine->setGeometry(0, height() - kErrorLineHeight, width(), kErrorLineHeight);
  FSaver->SetClientSize(width(), height());
}

void TQtSaverWindow::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  Guarded([&] { FSaver->FormMouseMove(at.x(), at.y()); });
}

void TQtSaverWindow::mousePressEvent(QMouseEvent* /*event*/) {
  Guarded([this] { FSaver->FormMouseDown(); });
}

void TQtSaverWindow::keyPressEvent(QKeyEvent* event) {
  const QByteArray text = event->text().toLocal8Bit();
  if (text.isEmpty()) {
    // Arrows, function keys and modifiers alone produce no character.
    QWidget::keyPressEvent(event);
    return;
  }
  char key = text[0];
  Guarded([&] { FSaver->FormKeyPress(key); });
}

void TQtSaverWindow::closeEvent(QCloseEvent* event) {
  bool canClose = true;
  Guarded([&] { FSaver->FormCloseQuery(canClose); });
  if (!canClose) {
    event->ignore();
    return;
  }
  Guarded([this] { FSaver->FormClose(); });
  ReleaseInput();
  event->accept();
  FClosed = true;
  QuitOnceEnded();
  StartExitWatchdog();
}

void TQtSaverWindow::PlayLoopEnded() {
  QuitOnceEnded();
}

void TQtSaverWindow::QuitOnceEnded() {
  // The saver window is the main window: its close ends the application,
  // also while an error notice is still up, once the play loop (which the
  // close woke) has written its last lines.
  if (FClosed && !FSaver->PlayLoopRunning()) {
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
  }
}

void TQtSaverWindow::RequestClose() {
  close();
}

// --- ISaverHost ---

void TQtSaverWindow::ProcessMessages() {
  RunSynchronizeRequests();
  QCoreApplication::processEvents();
}

std::unique_ptr<ITimer> TQtSaverWindow::CreateTimer(int interval, std::function<void()> onTimer) {
  return std::make_unique<TQtTimer>(interval,
                                    [this, onTimer = std::move(onTimer)] { Guarded(onTimer); });
}

void TQtSaverWindow::ShowErrorNotice(const std::string& movieFile) {
  if (FNotice != nullptr) {
    return;
  }
  // The notice's button must be reachable: the saver lets go of the mouse
  // and keyboard while it is up (a click on the saver still ends the run).
  ReleaseInput();
  // Keys and moves over the notice are judged by the saver's own rules, as
  // they would be without it.
  TPassedInput passed{[this](char& key) { Guarded([&] { FSaver->FormKeyPress(key); }); },
                      [this](int screenX, int screenY) {
                        const QPoint at = mapFromGlobal(QPoint(screenX, screenY));
                        Guarded([&] { FSaver->FormMouseMove(at.x(), at.y()); });
                      }};
  FNotice = new TQtFormMessage([movieFile] { return movieFile; }, std::move(passed));
  FNotice->ShowNotice();
}

bool TQtSaverWindow::ErrorNoticeShowing() {
  return FNotice != nullptr && FNotice->isVisible();
}

void TQtSaverWindow::ScreenChanged() {
  // At once: the saver may now block in a specified pause.
  repaint();
  for (auto& window : FOtherWindows) {
    if (window) {
      window->repaint();
    }
  }
}

int TQtSaverWindow::ScreenWidth() {
  return QGuiApplication::primaryScreen()->geometry().width();
}

int TQtSaverWindow::ScreenHeight() {
  return QGuiApplication::primaryScreen()->geometry().height();
}

TBitmap24 TQtSaverWindow::CaptureScreen() {
  TBitmap24 screen(ScreenWidth(), ScreenHeight());
  GrabScreen(QGuiApplication::primaryScreen(), screen);
  return screen;
}

std::vector<TScreenArea> TQtSaverWindow::OtherMonitors() {
  // A window given to draw into is one monitor's at most.
  if (FTargetWindow != 0) {
    return {};
  }
  const QPoint origin = QGuiApplication::primaryScreen()->geometry().topLeft();
  std::vector<TScreenArea> areas;
  for (QScreen* screen : OtherScreens()) {
    const QRect g = screen->geometry();
    areas.push_back({g.x() - origin.x(), g.y() - origin.y(), g.width(), g.height()});
  }
  return areas;
}

TBitmap24 TQtSaverWindow::CaptureArea(const TScreenArea& area) {
  TBitmap24 picture(area.Width, area.Height);
  const QPoint origin = QGuiApplication::primaryScreen()->geometry().topLeft();
  const QRect wanted(origin.x() + area.Left, origin.y() + area.Top, area.Width, area.Height);
  for (QScreen* screen : OtherScreens()) {
    if (screen->geometry() == wanted) {
      GrabScreen(screen, picture);
    }
  }
  return picture;
}

int TQtSaverWindow::ShowCursor(bool show) {
  const int before = FCursorCount;
  FCursorCount += show ? 1 : -1;
  if (before >= 0 && FCursorCount < 0) {
    QGuiApplication::setOverrideCursor(Qt::BlankCursor);
  } else if (before < 0 && FCursorCount >= 0) {
    QGuiApplication::restoreOverrideCursor();
  }
  return FCursorCount;
}

void TQtSaverWindow::SetErrorText(const std::string& text) {
  FErrorLine->setText(QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size())));
  FErrorLine->setGeometry(0, height() - kErrorLineHeight, width(), kErrorLineHeight);
  FErrorLine->raise();
  FErrorLine->show();
}

}  // namespace tavelune::platform
