// The forms of the six pages as they open: controls, proportions, fonts, lists, tab order.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cstring>
#include <set>

#include "pages/page_fonts.h"
#include "support_pages.h"

namespace setwright::test {
namespace {

class PageForm : public ::testing::TestWithParam<PageEntry> {
 protected:
  void SetUp() override {
    page = GetParam().make(selection, PageDeps{&port, &port2, &lister, &clock});
    page->GetSession().SetManualTicks(true);
    page->OpenPage();
  }
  void TearDown() override { page->close(); }

  FakeSelection selection;
  ClosedPort port, port2;
  FixedLister lister;
  FakeClock clock;
  std::unique_ptr<CPageDialog> page;
};

std::string ParamName(const ::testing::TestParamInfo<PageEntry>& info) {
  std::string n = info.param.model;
  std::replace_if(
      n.begin(), n.end(), [](char c) { return !std::isalnum(uchar(c)); }, '_');
  return n;
}

INSTANTIATE_TEST_SUITE_P(AllModels, PageForm, ::testing::ValuesIn(AllPages()), ParamName);

TEST_P(PageForm, OpensEmptyWithItsListsUnselected) {
  const ModelTable& model = page->Model();
  EXPECT_EQ(page->windowTitle(), QString::fromLatin1(model.name) + " PROGRAM MODE");
  EXPECT_EQ(LogText(*page), "Waiting for device connected!");
  EXPECT_EQ(LogColour(*page), QColor(0, 0, 255));
  for (const ComboSetting& s : model.settings) {
    auto* combo = qobject_cast<QComboBox*>(page->Control(s.controlId));
    ASSERT_NE(combo, nullptr) << s.controlId;
    EXPECT_EQ(combo->count(), int(s.values.size())) << s.controlId;
    EXPECT_EQ(combo->currentIndex(), -1) << s.controlId;
    EXPECT_EQ(combo->itemText(0).toStdString(), s.values.front()) << s.controlId;
  }
  for (QLineEdit* edit : page->findChildren<QLineEdit*>()) EXPECT_TRUE(edit->text().isEmpty());
}

TEST_P(PageForm, KeepsTheFormsProportions) {
  const PageDef& def = page->Definition();
  const double w = page->width(), h = page->height();
  EXPECT_NEAR(w / h, double(def.clientWidth) / def.clientHeight, 0.03);
  for (const ControlDef& c : def.controls) {
    if (c.id == 0) continue;
    const QRect g = page->Control(c.id)->geometry();
    const std::string where = std::to_string(c.id);
    EXPECT_NEAR(g.x() / w, double(c.x) / def.clientWidth, 0.01) << where;
    EXPECT_NEAR(g.y() / h, double(c.y) / def.clientHeight, 0.01) << where;
    EXPECT_NEAR(g.width() / w, double(c.width) / def.clientWidth, 0.01) << where;
    // A drop-down list's form height is that of its opened list.
    if (c.kind != ControlKind::Combo) {
      EXPECT_NEAR(g.height() / h, double(c.height) / def.clientHeight, 0.01) << where;
    }
    EXPECT_LE(g.right(), w) << where;
    EXPECT_LE(g.bottom(), h) << where;
  }
}

TEST_P(PageForm, SharesTheButtonsAndTips) {
  const QString model = QString::fromLatin1(page->Model().name);
  for (auto [id, text] :
       {std::pair{2004, "Save and Reset"}, {2005, "Enter Prog Mode"}, {2017, "Set to Default"}}) {
    auto* button = qobject_cast<QPushButton*>(page->Control(id));
    ASSERT_NE(button, nullptr) << id;
    EXPECT_EQ(button->text(), text);
    EXPECT_FALSE(button->autoDefault());
  }
  EXPECT_EQ(page->Control(2019)->toolTip(), "Select baudrate for " + model + " device.");
  if (QWidget* interval = page->Control(2022)) {
    EXPECT_TRUE(interval->toolTip().isEmpty());
  }
}

TEST_P(PageForm, ShowsEveryControlInTheEmbeddedFont) {
  const QFont regular = PageFont(12, false);
  for (QWidget* w : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (w == page->Control(2024)) continue;
    EXPECT_EQ(w->font().family(), regular.family()) << w->objectName().toStdString();
    EXPECT_EQ(w->font().pixelSize(), 12) << w->objectName().toStdString();
    EXPECT_FALSE(w->font().bold()) << w->objectName().toStdString();
  }
  for (QComboBox* combo : page->findChildren<QComboBox*>())
    EXPECT_EQ(combo->view()->font().pixelSize(), 12);
  const QFont log = page->Control(2024)->font();
  EXPECT_EQ(log.family(), regular.family());
  EXPECT_EQ(log.pixelSize(), 14);
  EXPECT_TRUE(log.bold());
}

TEST(PageForms, RunModallyUntilTheCloseBox) {
  for (const PageEntry& e : AllPages()) {
    FakeSelection selection;
    ClosedPort port, port2;
    FixedLister lister;
    FakeClock clock;
    auto page = e.make(selection, {&port, &port2, &lister, &clock});
    page->GetSession().SetManualTicks(true);
    bool wasModal = false;
    QTimer::singleShot(0, page.get(), [&] {
      wasModal = page->isVisible() && QApplication::activeModalWidget() == page.get();
      page->close();
    });
    page->RunModal();
    EXPECT_TRUE(wasModal) << e.model;
    EXPECT_FALSE(page->isVisible()) << e.model;
    // Closing a page ends the program.
    EXPECT_EQ(selection.closed, 1) << e.model;
  }
}

// The program makes all six pages at start; a page builds its widgets when it is first
// opened and keeps them: a later opening refills the same lists, none selected until the
// device has been read again.
TEST(PageForms, BuildTheirWidgetsWhenFirstOpenedAndKeepThem) {
  SimRig rig("MR-310SKB");
  EXPECT_TRUE(rig.page->findChildren<QWidget*>().isEmpty());
  rig.Open();
  EXPECT_FALSE(rig.page->findChildren<QComboBox*>().isEmpty());
  ASSERT_TRUE(rig.EnterProgramMode());
  auto* baud = qobject_cast<QComboBox*>(rig.page->Control(2019));
  ASSERT_NE(baud, nullptr);
  EXPECT_GE(baud->currentIndex(), 0);
  const int entries = baud->count();
  rig.page->close();
  QCoreApplication::processEvents();
  rig.Open();
  EXPECT_EQ(rig.page->Control(2019), baud);
  EXPECT_EQ(baud->count(), entries);
  EXPECT_EQ(baud->currentIndex(), -1);
  ASSERT_TRUE(rig.EnterProgramMode());
  EXPECT_GE(baud->currentIndex(), 0);
}

struct Presence {
  const char* model;
  int id;
  bool present;
};

// What sets the models' forms apart.
TEST(PageForms, HaveTheirOwnControls) {
  const Presence rows[] = {
      {"MR-310SKB", 2018, true},    {"MR-310SKB", 2008, true},    {"MR-310SKB", 2022, false},
      {"ZWE-710SKB", 2018, false},  {"ZWE-710SKB", 2007, false},  {"ZWE-710SKB", 2015, true},
      {"ZWE-720W/KB", 2007, true},  {"ZWE-720W/KB", 2014, false}, {"ZWE-720W/KB", 2013, false},
      {"ZWE-720W/KB", 2021, false}, {"MR-320KBS", 2007, true},    {"MR-320KBS", 2014, false},
      {"TV-520KBS", 2007, false},   {"TV-520KBS", 2022, true},    {"KN-610K/PQ", 2007, false},
      {"KN-610K/PQ", 3001, true},   {"KN-610K/PQ", 3011, true},   {"KN-610K/PQ", 2018, false},
  };
  FakeSelection selection;
  ClosedPort port, port2;
  FixedLister lister;
  FakeClock clock;
  for (const PageEntry& e : AllPages()) {
    auto page = e.make(selection, {&port, &port2, &lister, &clock});
    page->EnsureForm();
    for (const Presence& r : rows) {
      if (std::strcmp(r.model, e.model) == 0) {
        EXPECT_EQ(page->Control(r.id) != nullptr, r.present) << r.model << " " << r.id;
      }
    }
    if (QWidget* note = page->Control(2021)) {
      EXPECT_EQ(note->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    }
    // Only ZWE-720W/KB shows its line settings without letting them change.
    for (QComboBox* combo : page->findChildren<QComboBox*>())
      EXPECT_EQ(combo->isEnabled(), std::strcmp(e.model, "ZWE-720W/KB") != 0) << e.model;
  }
}

struct LabelRow {
  const char* model;
  const char* text;
  bool right;
};

TEST(PageForms, AlignLabelsAsTheFormsSay) {
  const LabelRow rows[] = {
      {"MR-310SKB", "Product Version", true},
      {"MR-310SKB", "ビット/秒(B)", true},
      {"MR-310SKB", "Delimiter Code(HEX) 0x", false},
      {"ZWE-710SKB", "ビット/秒(B)", false},
      {"ZWE-720W/KB", "MAC Adress", false},
      {"ZWE-720W/KB", "パリティ(P)", true},
      {"MR-320KBS", "MAC Adress", true},
      {"TV-520KBS", "Product Version", false},
      {"TV-520KBS", "LF Mask(1=No mask;2=Mask)", true},
      {"KN-610K/PQ", "パリティ(P)", false},
  };
  FakeSelection selection;
  ClosedPort port, port2;
  FixedLister lister;
  FakeClock clock;
  for (const LabelRow& r : rows) {
    for (const PageEntry& e : AllPages()) {
      if (std::strcmp(r.model, e.model) != 0) continue;
      auto page = e.make(selection, {&port, &port2, &lister, &clock});
      page->EnsureForm();
      QLabel* found = nullptr;
      for (QLabel* label : page->findChildren<QLabel*>())
        if (label->text() == QString::fromUtf8(r.text)) found = label;
      ASSERT_NE(found, nullptr) << r.model << " " << r.text;
      EXPECT_EQ(bool(found->alignment() & Qt::AlignRight), r.right) << r.model << " " << r.text;
    }
  }
}

struct TabRow {
  const char* model;
  std::vector<int> ids;
};

TEST(PageForms, FollowTheirTabOrder) {
  const TabRow rows[] = {
      {"ZWE-710SKB",
       {2004, 2005, 2006, 2019, 2020, 2003, 2009, 2010, 2011, 2012, 2013, 2014, 2015, 2016, 2017,
        2024}},
      {"ZWE-720W/KB", {2004, 2005, 2006, 2007, 2016, 2017, 2024}},
      {"MR-320KBS",
       {2004, 2005, 2006, 2007, 2019, 2020, 2003, 2009, 2010, 2011, 2012, 2013, 2022, 2017, 2024}},
      {"KN-610K/PQ",
       {2004, 2005, 2006, 2019, 2020, 2003, 2009, 2010, 2011, 2012, 2013, 2022, 2017, 2024}},
  };
  FakeSelection selection;
  ClosedPort port, port2;
  FixedLister lister;
  FakeClock clock;
  for (const TabRow& r : rows) {
    for (const PageEntry& e : AllPages()) {
      if (std::strcmp(r.model, e.model) != 0) continue;
      auto page = e.make(selection, {&port, &port2, &lister, &clock});
      std::vector<int> order;
      QWidget* w = page->Control(r.ids.front());
      do {
        if (w->objectName().startsWith("ctl") && w->isEnabled() &&
            (w->focusPolicy() & Qt::TabFocus))
          order.push_back(w->objectName().mid(3).toInt());
        w = w->nextInFocusChain();
      } while (w != page->Control(r.ids.front()));
      EXPECT_EQ(order, r.ids) << r.model;
    }
  }
}

}  // namespace
}  // namespace setwright::test
