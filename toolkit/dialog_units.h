// Dialog units: the form sizes of the program's windows are given in units of the form
// font, a quarter of its average character width across and an eighth of its height
// down, so that a form keeps its proportions whatever the font.
#pragma once

#include <QFont>
#include <QRect>

namespace setwright {

class DialogUnits {
 public:
  // Base units from the font the form's controls use.
  explicit DialogUnits(const QFont& formFont);
  // Base units given in pixels: average character width and character height.
  DialogUnits(int baseX, int baseY);
  // The base units of a fixed-pitch face at `pixels` em size whose characters are
  // `advanceEm` wide and whose lines are `heightEm` high, as the window system rounds them.
  static DialogUnits OfFixedPitchFace(int pixels, double advanceEm, double heightEm);

  int X(int units) const;  // horizontal units to pixels
  int Y(int units) const;  // vertical units to pixels
  QRect ToPixels(int x, int y, int width, int height) const;
  QRect ToPixels(const QRect& units) const;

  int BaseX() const { return baseX_; }  // average character width in pixels
  int BaseY() const { return baseY_; }  // character height in pixels

 private:
  int baseX_;
  int baseY_;
};

}  // namespace setwright
