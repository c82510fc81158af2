#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>
#include <cstdlib>

#include "imaging/TextPainter.h"
#include "platform/SystemDirs.h"
#include "ports/qt/QtFonts.h"

namespace tavelune::platform {

namespace {

// The application object text drawing needs when the front end has made
// none (the command-line companion): off-screen, never shown, and never
// destroyed, since Qt cannot be torn down among the static destructors.
void EnsureApplication() {
  if (QGuiApplication::instance() != nullptr) {
    return;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  if (std::getenv("XDG_RUNTIME_DIR") == nullptr) {
    setenv("XDG_RUNTIME_DIR", PrivateTempDirText().c_str(), 0);
  }
  static int argc = 1;
  static char name[] = "tavelune";
  static char* argv[] = {name, nullptr};
  new QGuiApplication(argc, argv);  // NOLINT: lives as long as the process
}

QColor ToQColor(TColor rgb) {
  return {static_cast<int>(rgb & 0xFF), static_cast<int>((rgb >> 8) & 0xFF),
          static_cast<int>((rgb >> 16) & 0xFF)};
}

}  // namespace

TTextPainter::TTextPainter() {
  EnsureApplication();
}

void TTextPainter::DrawText(TBitmap24& surface, int x, int y, const std::string& text,
                            TColor fontColor, TColor brushColor) {
  if (surface.Empty() || text.empty()) {
    return;
  }
  // Wraps the picture's own rows: the painter draws straight into them.
  QImage image(surface.Row(0), surface.Width(), surface.Height(),
               static_cast<qsizetype>(surface.Stride()), QImage::Format_BGR888);
  QPainter painter(&image);
  const QFont font = JapaneseUiFont(12);
  painter.setFont(font);
  const QString line = QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
  const QFontMetrics metrics(font);
  const QRect cell(x, y, metrics.horizontalAdvance(line), metrics.height());
  painter.fillRect(cell, ToQColor(brushColor));
  painter.setPen(ToQColor(fontColor));
  painter.drawText(cell, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, line);
}

}  // namespace tavelune::platform
