#include "platform/qt/QtFormMessage.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFont>
#include <QGuiApplication>
#include <QScreen>

#include "platform/qt/QtFonts.h"

namespace tavelune::platform {

namespace {

void Place(QWidget* widget, const int (&rect)[4]) {
  widget->setGeometry(rect[0], rect[1], rect[2], rect[3]);
}

}  // namespace

TQtFormMessage::TQtFormMessage(std::function<std::string()> movieFile)
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
