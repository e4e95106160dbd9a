#include "pages/page_fonts.h"

#include <QFontDatabase>

#include "toolkit/embedded_font.h"

namespace setwright {

QFont PageFont(int pixels, bool bold) {
  EmbeddedFont embedded;
  if (embedded.LoadFromResource() &&
      embedded.MakeFont(pixels, bold ? EmbeddedFont::kBold : EmbeddedFont::kRegular)) {
    QFont font(embedded.Family());
    font.setPixelSize(pixels);
    font.setBold(bold);
    font.setStyleHint(QFont::TypeWriter);
    return font;
  }
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

}  // namespace setwright
