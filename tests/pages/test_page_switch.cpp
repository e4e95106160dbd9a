// A device of another model answers: the page asks from its poll thread, in a box on the
// user-interface thread, and on OK hands the selection dialog the right model and closes.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>

#include "sim/rfc2217_server.h"
#include "support_pages.h"

namespace setwright::test {
namespace {

enum class Answer { Ok, Cancel, Nobody };

struct SwitchRow {
  const char* page;
  const char* device;
  Answer answer;
  int selected;  // product index handed to the selection dialog, -1 for none
};

TEST(PageSwitch, FollowsTheAnswerToTheProductBox) {
  const SwitchRow rows[] = {
      {"ZWE-710SKB", "MR-310SKB", Answer::Ok, 3},
      {"MR-320KBS", "TV-520KBS", Answer::Cancel, -1},
      // Nobody answers: the box confirms itself after 3 s.
      {"MR-310SKB", "ZWE-720W/KB", Answer::Nobody, 5},
  };
  for (const SwitchRow& r : rows) {
    sim::DeviceOptions options;
    options.productModel = r.device;
    auto device = sim::SimDevice::Create(r.page, options);
    device->SetPower(true);
    sim::Rfc2217Server server(*device);
    ASSERT_TRUE(server.Start());

    FakeSelection selection;
    FixedLister lister{{server.Url()}};
    CSerialPort selectedPort, newPort;
    std::unique_ptr<CPageDialog> page;
    for (const PageEntry& e : AllPages())
      if (std::strcmp(e.model, r.page) == 0)
        page = e.make(selection, {&selectedPort, &newPort, &lister, nullptr});
    page->SetPort(server.Url(), 9600, 0, 8, 2);
    page->OpenPage();
    std::optional<BoxWatcher> boxes;
    if (r.answer != Answer::Nobody) boxes.emplace(r.answer == Answer::Ok);
    ASSERT_TRUE(PowerRestart(*device, *page)) << r.page;
    const QString text =
        QString("Product is %1.\nPlease select the right product name!").arg(r.device);
    ASSERT_TRUE(WaitFor([&] { return LogText(*page) == text; })) << r.page;
    if (r.answer == Answer::Cancel) {
      ASSERT_TRUE(WaitFor([&] { return boxes->texts.size() == 1; })) << r.page;
      EXPECT_EQ(boxes->captions, QStringList{r.page});
      WaitFor([&] { return !page->IsMessageBoxOpen(); });
      EXPECT_TRUE(page->isVisible()) << r.page;
      page->close();
      EXPECT_EQ(selection.closed, 1) << r.page;
    } else {
      EXPECT_TRUE(WaitFor([&] { return !page->isVisible(); })) << r.page;
      // The selection dialog stays open for the user to press OK on the right model.
      EXPECT_EQ(selection.closed, 0) << r.page;
      // The page closing for the switch takes the device out of program mode.
      EXPECT_TRUE(WaitFor([&] { return !device->InProgramMode(); })) << r.page;
    }
    EXPECT_EQ(selection.selected, r.selected) << r.page;
    server.Stop();
  }
}

}  // namespace
}  // namespace setwright::test
