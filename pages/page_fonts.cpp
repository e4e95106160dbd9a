#include "pages/page_fonts.h"

#include <QFontDatabase>

namespace setwright {

QFont PageFont(int pixels, bool bold) {
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

}  // namespace setwright
