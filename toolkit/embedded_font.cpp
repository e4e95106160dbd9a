#include "toolkit/embedded_font.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QStringList>
#include <QWidget>

#include "toolkit/resources.h"

namespace setwright {

namespace {

// One regular face is carried; bold text is the bold style of that face, drawn by the
// font engine from the regular glyphs.
QString RegisterFaceOnce() {
  static QString family;
  if (!family.isEmpty() || QGuiApplication::instance() == nullptr) return family;
  InitAppResources();
  QFile file(QStringLiteral(":/setwright/fonts/Inconsolata.otf"));
  if (!file.open(QIODevice::ReadOnly)) return family;
  const int id = QFontDatabase::addApplicationFontFromData(file.readAll());
  if (id < 0) return family;
  const QStringList families = QFontDatabase::applicationFontFamilies(id);
  if (!families.isEmpty()) family = families.first();
  return family;
}

}  // namespace

bool EmbeddedFont::LoadFromResource() {
  family_ = RegisterFaceOnce();
  return !family_.isEmpty();
}

bool EmbeddedFont::MakeFont(int pixels, int style) {
  if (family_.isEmpty()) return false;
  QFont font(family_);
  font.setPixelSize(pixels);
  font.setWeight(style == kBold ? QFont::Bold : QFont::Normal);
  font.setStyleHint(QFont::TypeWriter);
  font_ = font;
  return true;
}

std::optional<QFont> EmbeddedFont::MakeWindowFont(const QWidget* window) const {
  if (!font_ || window == nullptr) return std::nullopt;
  return font_;
}

void EmbeddedFont::ApplyToControl(QWidget* control) const {
  const std::optional<QFont> font = MakeWindowFont(control);
  if (!font) return;
  if (auto* combo = qobject_cast<QComboBox*>(control)) {
    combo->view();  // creates the drop-down list so that it is found below
  }
  for (QWidget* child : control->findChildren<QWidget*>()) child->setFont(*font);
  control->setFont(*font);
}

void EmbeddedFont::Release() {
  font_.reset();
  family_.clear();
}

}  // namespace setwright
