#include "ports/qt/QtFonts.h"

#include <QStringList>

namespace tavelune::platform {

QFont JapaneseUiFont(int pixelHeight) {
  QFont font;
  font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
                    QStringLiteral("Noto Sans CJK JP"), QStringLiteral("Noto Sans JP"),
                    QStringLiteral("sans-serif")});
  font.setPixelSize(pixelHeight);
  return font;
}

}  // namespace tavelune::platform
