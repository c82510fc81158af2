#include "frontends/qt/QtFormMessage.h"

#include <QCloseEvent>
#include <QFont>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>

#include "ports/qt/QtFonts.h"

namespace tavelune::platform {

namespace {

void Place(QWidget* widget, const int (&rect)[4]) {
  widget->setGeometry(rect[0], rect[1], rect[2], rect[3]);
}

}  // namespace

TQtFormMessage::TQtFormMessage(std::function<std::string()> movieFile, TPassedInput passed)
    : QDialog(nullptr, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint |
                           Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      FMessageLabel(new QLabel(this)),
      FCountdownLabel(new QLabel(QString::fromUtf8(kFormMessageLayout.InitialCount), this)),
      FOkButton(new QPushButton(QString::fromUtf8(kFormMessageLayout.ButtonCaption), this)),
      FLogic(*this, std::move(movieFile)) {
  const TFormMessageLayout& layout = kFormMessageLayout;
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QString::fromUtf8(layout.Caption));
  setFont(JapaneseUiFont(layout.FontHeight));
  setFixedSize(layout.ClientWidth, layout.ClientHeight);
  Place(FMessageLabel, layout.MessageLabel);
  FMessageLabel->setWordWrap(true);
  FMessageLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Place(FCountdownLabel, layout.CountdownLabel);
  Place(FOkButton, layout.OkButton);
  FOkButton->setDefault(true);
  FOkButton->setFocus();
  connect(FOkButton, &QPushButton::clicked, this, [this] { FLogic.OkButtonClick(); });
  FLogic.SetPassedInput(std::move(passed));
  for (QWidget* widget :
       {static_cast<QWidget*>(this), static_cast<QWidget*>(FMessageLabel),
        static_cast<QWidget*>(FCountdownLabel), static_cast<QWidget*>(FOkButton)}) {
    widget->setMouseTracking(true);  // moves reach a widget only with tracking on
    widget->installEventFilter(this);
  }
  FCountdownTimer.setInterval(1000);
  connect(&FCountdownTimer, &QTimer::timeout, this, [this] { FLogic.CountdownTick(); });
  // At the centre of the desktop.
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect desktop = screen->geometry();
    move(desktop.center() - QPoint(layout.ClientWidth / 2, layout.ClientHeight / 2));
  }
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

void TQtFormMessage::SetMessageText(const std::string& text) {
  FMessageLabel->setText(QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size())));
}

void TQtFormMessage::SetCountdownText(const std::string& text) {
  FCountdownLabel->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void TQtFormMessage::SetTimerEnabled(bool enabled) {
  if (enabled) {
    FCountdownTimer.start();
  } else {
    FCountdownTimer.stop();
  }
}

void TQtFormMessage::Hide() {
  hide();
}

void TQtFormMessage::Close() {
  close();
}

void TQtFormMessage::RepaintCountdown() {
  FCountdownLabel->repaint();
}

}  // namespace tavelune::platform
