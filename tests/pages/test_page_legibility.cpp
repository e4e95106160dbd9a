// What a page shows can be read: the read-back values of ZWE-720W/KB's disabled lists stand
// out from their face, and the multi-line boxes bring up a scroll bar only for text that does
// not fit them.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QImage>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <cmath>
#include <map>

#include "support_pages.h"

namespace setwright::test {
namespace {

double Luminance(QRgb c) {
  auto channel = [](int v) {
    const double s = v / 255.0;
    return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * channel(qRed(c)) + 0.7152 * channel(qGreen(c)) + 0.0722 * channel(qBlue(c));
}

double Contrast(QRgb a, QRgb b) {
  double la = Luminance(a), lb = Luminance(b);
  if (la < lb) std::swap(la, lb);
  return (la + 0.05) / (lb + 0.05);
}

// The contrast between the text of a drawn control and its face: the face is the colour
// most pixels of the text field have, the text its pixel farthest from the face.
double TextContrast(QWidget& control, const QRect& field) {
  const QImage image = control.grab().toImage();
  const qreal ratio = image.devicePixelRatio();
  std::map<QRgb, int> counts;
  for (int y = int(field.top() * ratio); y <= int(field.bottom() * ratio); ++y)
    for (int x = int(field.left() * ratio); x <= int(field.right() * ratio); ++x)
      ++counts[image.pixel(x, y) | 0xFF000000u];
  QRgb face = 0;
  int most = -1;
  for (auto [colour, n] : counts)
    if (n > most) face = colour, most = n;
  double best = 1.0;
  for (auto [colour, n] : counts) best = std::max(best, Contrast(colour, face));
  return best;
}

TEST(PageLegibility, DisabledListsShowTheirValuesReadably) {
  SimRig rig("ZWE-720W/KB");
  rig.Open();
  ASSERT_TRUE(rig.EnterProgramMode());
  int lists = 0;
  for (QComboBox* combo : rig.page->findChildren<QComboBox*>()) {
    ++lists;
    EXPECT_FALSE(combo->isEnabled());
    EXPECT_FALSE(combo->hasFocus());
    ASSERT_GE(combo->currentIndex(), 0);
    // The text field of the closed list, where the value is drawn.
    const QRect field = combo->rect().adjusted(2, 2, -combo->height(), -2);
    EXPECT_GE(TextContrast(*combo, field), 4.5) << combo->currentText().toStdString();
  }
  EXPECT_EQ(lists, 4);
  Snapshot(*rig.page, QStringLiteral("read-back-ZWE-720W/KB"));
}

struct FitRow {
  const char* model;
  int id;
  std::string text;
  bool scrolls;
};

TEST(PageLegibility, ScrollBarsOnlyForTextThatDoesNotFit) {
  const std::string notInProgramMode = "Not in PROGRAM MODE yet! \r\nPlease restart device power!";
  const FitRow rows[] = {
      {"TV-520KBS", 2024, notInProgramMode, false},
      {"KN-610K/PQ", 2024, notInProgramMode, false},
      {"TV-520KBS", 2024, "1\r\n2\r\n3\r\n4\r\n5\r\n6", true},
      {"MR-310SKB", 2008, "HOST-A 00:11:22:33:44:55\r\nHOST-B 00:11:22:33:44:66", false},
      {"MR-310SKB", 2008, "1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8", true},
  };
  for (const FitRow& r : rows) {
    SCOPED_TRACE(std::string(r.model) + " " + std::to_string(r.id) + " " + r.text);
    SimRig rig(r.model);
    rig.Open();
    if (r.id == 2024) {
      rig.page->Report(r.text, Colour::Red);
    } else {
      rig.page->GetSession().EditForm([&](FormState& f) { f.pairedText = r.text; });
      rig.page->FormChanged();
    }
    QCoreApplication::processEvents();
    auto* box = qobject_cast<QPlainTextEdit*>(rig.page->Control(r.id));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->verticalScrollBar()->isVisible(), r.scrolls);
  }
}

}  // namespace
}  // namespace setwright::test
