// Input rules of the pages: character filters, Enter and Esc, and the checks made when an
// edit box is left.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <cstring>

#include "support_pages.h"

namespace setwright::test {
namespace {

std::unique_ptr<CPageDialog> MakePage(const char* model, ISelectionDialog& selection,
                                      PageDeps deps) {
  for (const PageEntry& e : AllPages())
    if (std::strcmp(e.model, model) == 0) return e.make(selection, deps);
  return nullptr;
}

void Type(QWidget* w, const QString& text) {
  for (QChar c : text) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(w, &press);
  }
}

void PressKey(QWidget* w, int key) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QApplication::sendEvent(w, &press);
}

// The user leaves the box with the tab key.
void Leave(QWidget* w) {
  QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
  QApplication::sendEvent(w, &out);
  // The check runs from the event loop; its box, if any, is answered within this call.
  QCoreApplication::processEvents();
}

struct TypingRow {
  const char* model;
  int id;
  const char* typed;
  const char* shown;
};

TEST(PageInput, FiltersAndLimitsWhatIsTyped) {
  const TypingRow rows[] = {
      {"MR-310SKB", 2014, "g", ""},       {"MR-310SKB", 2014, "a", "A"},
      {"MR-310SKB", 2014, "1f", "1F"},    {"MR-310SKB", 2014, "x7e9", "7E"},
      {"ZWE-710SKB", 2014, "b-c", "BC"},  {"MR-310SKB", 2016, "ab!de", "ab!d"},
      {"ZWE-720W/KB", 2016, "@", "@"},    {"MR-320KBS", 2022, "a1b2", "12"},
      {"MR-320KBS", 2022, "1234", "123"}, {"TV-520KBS", 2022, "123", "12"},
      {"KN-610K/PQ", 2022, "9x.9", "99"}, {"KN-610K/PQ", 2022, "٣4", "4"},
  };
  for (const TypingRow& r : rows) {
    FakeSelection selection;
    ClosedPort port, port2;
    FixedLister lister;
    FakeClock clock;
    auto page = MakePage(r.model, selection, {&port, &port2, &lister, &clock});
    page->GetSession().SetManualTicks(true);
    page->OpenPage();
    auto* edit = qobject_cast<QLineEdit*>(page->Control(r.id));
    ASSERT_NE(edit, nullptr) << r.model << " " << r.id;
    Type(edit, QString::fromUtf8(r.typed));
    EXPECT_EQ(edit->text(), r.shown) << r.model << " " << r.typed;
    // What the box shows is what the engine will write.
    const FormState form = page->GetSession().Form();
    const std::string& field = r.id == 2014   ? form.delimiterText
                               : r.id == 2016 ? form.promptText
                                              : form.intervalText;
    EXPECT_EQ(field, r.shown) << r.model << " " << r.typed;
    page->close();
  }
}

TEST(PageInput, EnterAndEscNeitherConfirmNorClose) {
  for (const PageEntry& e : AllPages()) {
    FakeSelection selection;
    ClosedPort port, port2;
    FixedLister lister;
    FakeClock clock;
    auto page = e.make(selection, {&port, &port2, &lister, &clock});
    page->GetSession().SetManualTicks(true);
    page->OpenPage();
    clock.now += 1000;  // past the button debounce: a press would report
    for (QWidget* target : {static_cast<QWidget*>(page.get()), page->Control(2004),
                            page->Control(2005), page->Control(2024)}) {
      for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) PressKey(target, key);
    }
    QCoreApplication::processEvents();
    EXPECT_TRUE(page->isVisible()) << e.model;
    EXPECT_EQ(selection.closed, 0) << e.model;
    EXPECT_EQ(LogText(*page), "Waiting for device connected!") << e.model;
    page->close();
    EXPECT_FALSE(page->isVisible()) << e.model;
    EXPECT_EQ(selection.closed, 1) << e.model;
  }
}

struct LeaveRow {
  const char* model;
  int id;
  const char* text;
  const char* message;  // "" for none
};

TEST(PageInput, ChecksABoxWhenItIsLeftInProgramMode) {
  const LeaveRow rows[] = {
      {"MR-310SKB", 2014, "80", "Delimiter must be at 0x01-0x7F!"},
      {"MR-310SKB", 2014, "7F", ""},
      {"MR-310SKB", 2014, "", ""},
      {"MR-310SKB", 2016, "", "Command prompt must be at least 1 byte!"},
      {"ZWE-710SKB", 2014, "00", "Delimiter must be at 0x01-0x7F!"},
      {"ZWE-720W/KB", 2016, "", "Command prompt must be at least 1 byte!"},
      {"ZWE-720W/KB", 2016, "#", ""},
      {"MR-320KBS", 2022, "9", "Interval time must be 10-300ms!"},
      {"MR-320KBS", 2022, "301", "Interval time must be 10-300ms!"},
      {"MR-320KBS", 2022, "10", ""},
      {"MR-320KBS", 2022, "300", ""},
      {"TV-520KBS", 2022, "00", "Interval time must be 1-99ms!"},
      {"TV-520KBS", 2022, "1", ""},
      {"KN-610K/PQ", 2022, "", "Interval time must be 1-99ms!"},
      {"KN-610K/PQ", 2022, "5", ""},
  };
  for (const LeaveRow& r : rows) {
    SimRig rig(r.model);
    rig.Open();
    ASSERT_TRUE(rig.EnterProgramMode()) << r.model;
    rig.page->activateWindow();
    ASSERT_TRUE(WaitFor([&] { return rig.page->isActiveWindow(); }));
    auto* edit = qobject_cast<QLineEdit*>(rig.page->Control(r.id));
    edit->setText(QString::fromLatin1(r.text));
    // The user moves on to a button.
    rig.page->Control(2005)->setFocus(Qt::TabFocusReason);
    BoxWatcher boxes;
    Leave(edit);
    if (*r.message) {
      EXPECT_EQ(boxes.texts, QStringList{r.message}) << r.model << " " << r.text;
      EXPECT_EQ(boxes.captions, QStringList{r.model}) << r.model << " " << r.text;
      EXPECT_EQ(rig.page->focusWidget(), edit) << r.model << " " << r.text;
    } else {
      EXPECT_TRUE(boxes.texts.isEmpty()) << r.model << " " << r.text;
    }
    EXPECT_EQ(edit->text(), r.text) << r.model;
    rig.page->close();
  }
}

TEST(PageInput, ChecksNothingOutsideProgramMode) {
  for (auto [model, id, text] : {std::tuple{"MR-310SKB", 2014, "80"},
                                 {"MR-310SKB", 2016, ""},
                                 {"MR-320KBS", 2022, "9"},
                                 {"TV-520KBS", 2022, ""}}) {
    SimRig rig(model);
    rig.Open();
    auto* edit = qobject_cast<QLineEdit*>(rig.page->Control(id));
    edit->setText(text);
    BoxWatcher boxes;
    Leave(edit);
    EXPECT_TRUE(boxes.texts.isEmpty()) << model << " " << id;
    rig.page->close();
  }
}

// LF mask 2 and delimiter 0A cannot be set together, whichever is set last.
TEST(PageInput, KeepsLineFeedMaskAndDelimiterApart) {
  for (const char* model : {"MR-310SKB", "ZWE-710SKB"}) {
    SimRig rig(model);
    rig.Open();
    ASSERT_TRUE(rig.EnterProgramMode()) << model;
    auto* delimiter = qobject_cast<QLineEdit*>(rig.page->Control(2014));
    auto* mask = qobject_cast<QComboBox*>(rig.page->Control(2013));

    delimiter->setText("0A");
    mask->setCurrentIndex(mask->findText("2"));
    EXPECT_EQ(delimiter->text(), "0D") << model;
    EXPECT_EQ(rig.page->GetSession().Form().delimiterText, "0D") << model;

    delimiter->setText("0A");
    Leave(delimiter);
    EXPECT_EQ(mask->currentText(), "1") << model;
    EXPECT_EQ(rig.page->GetSession().Form().selected.at("LF"), mask->findText("1")) << model;
    rig.page->close();
  }
}

}  // namespace
}  // namespace setwright::test
