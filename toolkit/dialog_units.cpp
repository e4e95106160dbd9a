#include "toolkit/dialog_units.h"

#include <QFontMetrics>
#include <algorithm>
#include <cmath>

namespace setwright {

DialogUnits::DialogUnits(const QFont& formFont) {
  const QFontMetrics metrics(formFont);
  // The average width over the 52 Latin letters, rounded, as the window system takes it.
  const int letters = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  baseX_ = std::max(1, (letters / 26 + 1) / 2);
  baseY_ = std::max(1, metrics.height());
}

DialogUnits::DialogUnits(int baseX, int baseY)
    : baseX_(std::max(1, baseX)), baseY_(std::max(1, baseY)) {}

DialogUnits DialogUnits::OfFixedPitchFace(int pixels, double advanceEm, double heightEm) {
  // The 52 letters measured as the window system measures them: whole pixels in all.
  const int letters = static_cast<int>(std::lround(52 * pixels * advanceEm));
  return DialogUnits((letters / 26 + 1) / 2, static_cast<int>(std::lround(pixels * heightEm)));
}

namespace {

// Rounded to the nearest pixel, halves away from zero.
int Scale(int units, int base, int divisor) {
  const long long product = static_cast<long long>(units) * base;
  return static_cast<int>(product >= 0 ? (product + divisor / 2) / divisor
                                       : -((-product + divisor / 2) / divisor));
}

}  // namespace

int DialogUnits::X(int units) const {
  return Scale(units, baseX_, 4);
}
int DialogUnits::Y(int units) const {
  return Scale(units, baseY_, 8);
}

QRect DialogUnits::ToPixels(int x, int y, int width, int height) const {
  // Edges are converted, not sizes, so that adjacent controls stay adjacent.
  return QRect(QPoint(X(x), Y(y)), QPoint(X(x + width) - 1, Y(y + height) - 1));
}

QRect DialogUnits::ToPixels(const QRect& units) const {
  return ToPixels(units.x(), units.y(), units.width(), units.height());
}

}  // namespace setwright
