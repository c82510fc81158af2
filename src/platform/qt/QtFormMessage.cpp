#include "platform/qt/QtFormMessage.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFont>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>

#include "platform/qt/QtFonts.h"

namespace tavelune::platform {

namespace {

void Place(QWidget* widget, const int (&rect)[4]) {
  widget->setGeometry(rect[0], rect[1], rect[2], rect[3]);
}

}  // namespace

TQtFormMessage::TQtFormMessage(std::function<std::string()> movieFile, TPassedInput passed)
    : QDialog(nullptr, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint |
                           Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      FLabel1(new QLabel(this)),
      FLabel2(new QLabel(QString::fromUtf8(kFormMessageLayout.InitialCount), this)),
      FButton1(new QPushButton(QString::fromUtf8(kFormMessageLayout.ButtonCaption), this)),
      FLogic(*this, std::move(movieFile)) {
  const TFormMessageLayout& layout = kFormMessageLayout;
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QString::fromUtf8(layout.Caption));
  setFont(JapaneseUiFont(layout.FontHeight));
  setFixedSize(layout.ClientWidth, layout.ClientHeight);
  Place(FLabel1, layout.Label1);
  FLabel1->setWordWrap(true);
  FLabel1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Place(FLabel2, layout.Label2);
  Place(FButton1, layout.Button1);
  FButton1->setDefault(true);
  FButton1->setFocus();
  connect(FButton1, &QPushButton::clicked, this, [this] { FLogic.Button1Click(); });
  FLogic.SetPassedInput(std::move(passed));
  for (QWidget* widget : {static_cast<QWidget*>(this), static_cast<QWidget*>(FLabel1),
                          static_cast<QWidget*>(FLabel2), static_cast<QWidget*>(FButton1)}) {
    widget->setMouseTracking(true);  // moves reach a widget only with tracking on
    widget->installEventFilter(this);
  }
  FTimer1.setInterval(1000);
  connect(&FTimer1, &QTimer::timeout, this, [this] { FLogic.Timer1Timer(); });
  // At the centre of the desktop.
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect desktop = screen->geometry();
    move(desktop.center() - QPoint(layout.ClientWidth / 2, layout.ClientHeight / 2));
  }
  FormMessage = &FLogic;
}

TQtFormMessage::~TQtFormMessage() {
  FLogic.FormDestroy();
}

void TQtFormMessage::ShowNotice() {
  show();
  raise();
  activateWindow();
  FLogic.FormActivate();
}

void TQtFormMessage::closeEvent(QCloseEvent* event) {
  FLogic.FormClose();
  event->accept();
}

void TQtFormMessage::changeEvent(QEvent* event) {
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
    FLogic.FormActivate();
  }
  QDialog::changeEvent(event);
}

void TQtFormMessage::keyPressEvent(QKeyEvent* event) {
  // The button has the focus and takes the blank itself; what it leaves
  // comes here.
  const QByteArray text = event->text().toLocal8Bit();
  if (text.isEmpty() || !FLogic.FormKeyPress(text[0])) {
    QDialog::keyPressEvent(event);
  }
}

bool TQtFormMessage::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseMove) {
    const QPoint at = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
    FLogic.FormMouseMove(at.x(), at.y());
  }
  return QDialog::eventFilter(watched, event);
}

void TQtFormMessage::SetLabel1(const std::string& text) {
  FLabel1->setText(QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size())));
}

void TQtFormMessage::SetLabel2(const std::string& text) {
  FLabel2->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void TQtFormMessage::SetTimerEnabled(bool enabled) {
  if (enabled) {
    FTimer1.start();
  } else {
    FTimer1.stop();
  }
}

void TQtFormMessage::Hide() {
  hide();
}

void TQtFormMessage::Close() {
  close();
}

void TQtFormMessage::ProcessMessages() {
  QCoreApplication::processEvents();
}

}  // namespace tavelune::platform
