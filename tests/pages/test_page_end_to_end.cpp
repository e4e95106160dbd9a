// Each page against a simulated device of its model, over a network serial port: power
// restart, read-back into the form, one changed setting written with "Save and Reset", and
// the device keeping it after its restart.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <algorithm>

#include "sim/rfc2217_server.h"
#include "support_pages.h"

namespace setwright::test {
namespace {

class PageEndToEnd : public ::testing::TestWithParam<PageEntry> {};

std::string ParamName(const ::testing::TestParamInfo<PageEntry>& info) {
  std::string n = info.param.model;
  std::replace_if(
      n.begin(), n.end(), [](char c) { return !std::isalnum(uchar(c)); }, '_');
  return n;
}

// With SETWRIGHT_PAGE_SHOTS naming a folder, the page is saved there as a picture.
void Shot(CPageDialog& page, const std::string& name, const char* when) {
  const QByteArray dir = qgetenv("SETWRIGHT_PAGE_SHOTS");
  if (dir.isEmpty()) return;
  page.grab().save(QString::fromLocal8Bit(dir) + "/" + QString::fromStdString(name) + "-" + when +
                   ".png");
}

INSTANTIATE_TEST_SUITE_P(AllModels, PageEndToEnd, ::testing::ValuesIn(AllPages()), ParamName);

TEST_P(PageEndToEnd, ReadsChangesAndSavesASetting) {
  const char* model = GetParam().model;
  auto device = sim::SimDevice::Create(model);
  device->SetPower(true);
  sim::Rfc2217Server server(*device);
  ASSERT_TRUE(server.Start());

  FakeSelection selection;
  FixedLister lister{{server.Url()}};
  CSerialPort selectedPort, newPort;
  auto page = GetParam().make(selection, {&selectedPort, &newPort, &lister, nullptr});
  page->SetPort(server.Url(), 9600, 0, 8, 2);
  page->OpenPage();
  EXPECT_EQ(LogText(*page), "Waiting for device connected!");
  const std::string shotName = ParamName({GetParam(), 0});
  Shot(*page, shotName, "opened");

  ASSERT_TRUE(PowerRestart(*device, *page)) << LogText(*page).toStdString();
  ASSERT_TRUE(WaitFor([&] { return LogText(*page) == "Enter PROGRAM MODE success!"; }))
      << LogText(*page).toStdString();
  EXPECT_EQ(LogColour(*page), QColor(0, 128, 0));
  Shot(*page, shotName, "read");

  auto* baud = qobject_cast<QComboBox*>(page->Control(2019));
  EXPECT_EQ(baud->currentText().toStdString(), device->Setting("B"));
  EXPECT_EQ(qobject_cast<QLineEdit*>(page->Control(2006))->text().section(' ', 0, 0), model);

  // ZWE-720W/KB writes only its command prompt; the others change their parity.
  std::string key, value;
  if (auto* parity = qobject_cast<QComboBox*>(page->Control(2009)); parity->isEnabled()) {
    key = "P";
    value = device->Setting("P") == "E" ? "O" : "E";
    parity->setCurrentIndex(parity->findText(QString::fromStdString(value)));
  } else {
    key = "CMD";
    value = device->Setting("CMD") == "#" ? "$" : "#";
    qobject_cast<QLineEdit*>(page->Control(2016))->setText(QString::fromStdString(value));
  }
  // A press within 100 ms of the last send is ignored by design.
  QElapsedTimer settled;
  settled.start();
  WaitFor([&] { return settled.elapsed() > 200; });
  qobject_cast<QPushButton*>(page->Control(2004))->click();
  ASSERT_TRUE(WaitFor([&] { return LogText(*page) == "Save PROGRAM MODE and reset success!"; }))
      << LogText(*page).toStdString();

  EXPECT_TRUE(WaitFor([&] { return device->Powered() && device->Setting(key) == value; }))
      << key << "=" << device->Setting(key);
  page->close();
  EXPECT_EQ(selection.closed, 1);
  server.Stop();
}

}  // namespace
}  // namespace setwright::test
