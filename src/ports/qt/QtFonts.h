#pragma once

#include <QFont>

namespace tavelune::platform {

// The saver's Japanese UI face, "ＭＳ Ｐゴシック", where it exists; on Linux,
// which does not have it, Noto Sans CJK JP (fonts-noto-cjk), the closest
// proportional Japanese gothic; then any sans-serif. `pixelHeight` is the
// character height in pixels.
QFont JapaneseUiFont(int pixelHeight);

}  // namespace tavelune::platform
