// What the page tests share: the six pages by name, stand-ins for the selection dialog,
// the port listing and the clock, a page on an in-process simulated device, and a
// watcher that answers the message boxes a page shows.
#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "pages/page_dialog.h"
#include "sim/sim_device.h"
#include "sim/sim_port.h"

namespace setwright::test {

struct PageEntry {
  const char* model;
  std::function<std::unique_ptr<CPageDialog>(ISelectionDialog&, PageDeps)> make;
};
// The six pages in product-list order.
const std::vector<PageEntry>& AllPages();

class FakeSelection : public ISelectionDialog {
 public:
  void SelectProduct(int productIndex) override { selected = productIndex; }
  void CloseDialog() override { ++closed; }
  int selected = -1;
  int closed = 0;
};

class FixedLister : public IPortLister {
 public:
  explicit FixedLister(std::vector<std::string> names = {}) : names_(std::move(names)) {}
  std::vector<SerialPortInfo> List() override;

 private:
  std::vector<std::string> names_;
};

// Time moves only when a test moves it.
class FakeClock : public IClock {
 public:
  uint32_t NowMs() override { return now; }
  void SleepMs(int ms) override { now += uint32_t(ms); }
  uint32_t now = 1000;
};

// A port that never opens.
class ClosedPort : public ISerialPort {
 public:
  void setReadIntervalTimeout(unsigned int) override {}
  void init(const std::string&, int, int, int, int, int, unsigned int) override {}
  bool open() override { return false; }
  bool isOpen() override { return false; }
  void close() override {}
  void setRts(bool) override {}
  void setBaudRate(int) override {}
  void getModemStatus(uint32_t&) override {}
  int writeData(const void*, int) override { return -1; }
  int readData(void*, int) override { return -1; }
  void connectReadEvent(CSerialPortListener*) override {}
  void disconnectReadEvent() override {}
};

// Keeps the page's time, the device's time and the engine's ticks in step.
struct SimRig {
  explicit SimRig(const char* model);
  // Opens the page on the simulated port with manual ticks.
  void Open();
  // n ticks of 50 ms, with the page's queued updates delivered after each.
  void Ticks(int n);
  // Power cycle and ticks until the page reports program mode (or `limit` ticks).
  bool EnterProgramMode(int limit = 200);

  FakeClock clock;
  FakeSelection selection;
  FixedLister lister{{"SIM1"}};
  std::unique_ptr<sim::SimDevice> device;
  std::unique_ptr<sim::SimPort> port;
  ClosedPort spare;
  std::unique_ptr<CPageDialog> page;
};

// Answers the next message boxes of the application while a test goes on, recording
// their captions and texts.
class BoxWatcher {
 public:
  explicit BoxWatcher(bool pressOk = true);
  ~BoxWatcher();
  QStringList captions;
  QStringList texts;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The log box text and colour of a page.
QString LogText(CPageDialog& page);
QColor LogColour(CPageDialog& page);

// The user's road on a real device: the page finds the device switched on, the user
// switches it off and on again. Returns false if the page does not follow.
bool PowerRestart(sim::SimDevice& device, CPageDialog& page);

// Saves the window as NAME.png in the folder SETWRIGHT_SCREENSHOT_DIR names, if it names one:
// a look at the forms as the tests leave them.
void Snapshot(QWidget& window, const QString& name);

// Processes events until `done` holds or `seconds` have passed; returns `done()`.
bool WaitFor(const std::function<bool()>& done, int seconds = 30);

}  // namespace setwright::test
