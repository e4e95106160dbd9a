// Every form at the embedded font: each text fits its control as the form places it, and
// no label reaches into another control. The six pages and the selection dialog.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

#include "app/setwright_dlg.h"
#include "serial/serial_port_info.h"
#include "support_pages.h"

namespace setwright::test {
namespace {

std::string Name(QWidget* w) {
  return w->objectName().toStdString() + " \"" + w->property("text").toString().toStdString() +
         "\"";
}

// The width a control leaves for its text.
int TextRoom(QWidget* w) {
  if (auto* label = qobject_cast<QLabel*>(w)) return label->contentsRect().width();
  if (auto* button = qobject_cast<QPushButton*>(w)) {
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    return button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button).width();
  }
  if (auto* combo = qobject_cast<QComboBox*>(w)) {
    QStyleOptionComboBox option;
    option.initFrom(combo);
    return combo->style()
        ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo)
        .width();
  }
  return -1;
}

QStringList TextsOf(QWidget* w) {
  if (auto* label = qobject_cast<QLabel*>(w)) return {label->text()};
  if (auto* button = qobject_cast<QPushButton*>(w)) return {button->text()};
  QStringList texts;
  if (auto* combo = qobject_cast<QComboBox*>(w))
    for (int i = 0; i < combo->count(); ++i) texts << combo->itemText(i);
  return texts;
}

// The failures of one window, one line each.
std::vector<std::string> FitFaults(QWidget& window, const std::vector<QWidget*>& skipTexts = {}) {
  std::vector<std::string> faults;
  const auto controls = window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
  for (QWidget* w : controls) {
    if (std::find(skipTexts.begin(), skipTexts.end(), w) != skipTexts.end()) continue;
    const int room = TextRoom(w);
    for (const QString& text : TextsOf(w)) {
      const int need = w->fontMetrics().horizontalAdvance(text);
      if (need > room)
        faults.push_back(Name(w) + ": \"" + text.toStdString() + "\" needs " +
                         std::to_string(need) + " px, has " + std::to_string(room));
    }
  }
  for (QWidget* w : controls) {
    if (!qobject_cast<QLabel*>(w)) continue;
    for (QWidget* other : controls) {
      if (other == w || !other->isVisibleTo(&window)) continue;
      // A drop-down list is drawn closed: its geometry is the closed list's.
      if (w->geometry().intersects(other->geometry()))
        faults.push_back(Name(w) + " overlaps " + Name(other));
    }
  }
  return faults;
}

TEST(FormFit, EveryPageTextFitsItsControl) {
  for (const PageEntry& e : AllPages()) {
    FakeSelection selection;
    ClosedPort port, port2;
    FixedLister lister;
    FakeClock clock;
    auto page = e.make(selection, PageDeps{&port, &port2, &lister, &clock});
    page->GetSession().SetManualTicks(true);
    page->OpenPage();
    for (const std::string& fault : FitFaults(*page)) ADD_FAILURE() << e.model << ": " << fault;
    Snapshot(*page, QStringLiteral("form-") + QString::fromLatin1(e.model));
    page->close();
  }
}

TEST(FormFit, EverySelectionDialogTextFitsItsControl) {
  class Ports : public IPortLister {
   public:
    std::vector<SerialPortInfo> List() override { return {{"/dev/ttyUSB0", "", ""}}; }
  } ports;
  QTemporaryDir folder;
  SelectionDialogOptions options;
  options.settingsPath = folder.filePath(QStringLiteral("SETWRIGHT.ini"));
  options.lister = &ports;
  CSetwrightDlg dialog(options);
  dialog.show();
  // Long port names are shortened in the closed list by design (the tool tip has them).
  for (const std::string& fault : FitFaults(dialog, {dialog.PortList()}))
    ADD_FAILURE() << "selection dialog: " << fault;
  Snapshot(dialog, QStringLiteral("form-selection"));
  EXPECT_EQ(dialog.ShownPortText(), QStringLiteral("/dev/ttyUSB0"));
}

}  // namespace
}  // namespace setwright::test
