// The fixed-pitch face the program carries inside itself, so that every form looks the
// same whether or not the face is installed on the machine. It is registered for this
// process only, from memory, and never installed on the system.
//
// A dialog makes one EmbeddedFont while it initialises:
//   EmbeddedFont font;
//   font.LoadFromResource();
//   font.MakeFont(12, EmbeddedFont::kRegular);
//   for (QWidget* child : controls) font.ApplyToControl(child);
//   font.Release();
// Fonts already given to controls stay in use after Release(). Use on the user-interface
// thread only, with a QGuiApplication running.
#pragma once

#include <QFont>
#include <QString>
#include <optional>

class QWidget;

namespace setwright {

class EmbeddedFont {
 public:
  enum Style { kRegular = 0, kBold = 1 };

  EmbeddedFont() = default;
  ~EmbeddedFont() { Release(); }
  EmbeddedFont(const EmbeddedFont&) = delete;
  EmbeddedFont& operator=(const EmbeddedFont&) = delete;

  // Registers the embedded face for this process (once per process; later calls reuse
  // the registration) and takes their family. Returns whether a family was found.
  bool LoadFromResource();

  // Makes the current font: the loaded family at `pixels` em size in the given style.
  // Without a loaded family, returns false and keeps the previous font.
  bool MakeFont(int pixels, int style);

  // The current font as given to a control; nothing without a current font or control.
  std::optional<QFont> MakeWindowFont(const QWidget* window) const;

  // Gives the current font to the control and to every widget inside it, including the
  // list that a combo box drops down (a window of its own, which would not inherit it).
  // Does nothing without a current font.
  void ApplyToControl(QWidget* control) const;

  // Drops the family and the current font. The process registration stays: the window
  // system needs it for as long as controls show the face.
  void Release();

  // The family of the embedded face, or empty when it could not be registered.
  QString Family() const { return family_; }

 private:
  QString family_;
  std::optional<QFont> font_;
};

}  // namespace setwright
