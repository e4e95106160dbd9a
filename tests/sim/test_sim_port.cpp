// The in-process port: the ISerialPort contract on a closed port, failing opens, modem lines,
// and reports grouped by the quiet interval under a fake clock.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/device_model.h"
#include "sim/sim_port.h"
#include "support_sim.h"

namespace setwright::sim::testing {
namespace {

// A device that sends what the test scripts, at the times it says.
class ScriptedDevice : public DeviceModel {
 public:
  struct Send {
    uint32_t at;
    std::string bytes;
  };
  explicit ScriptedDevice(std::vector<Send> script) : script_(std::move(script)) {}
  void Attach(IDeviceLink* link) override { link_ = link; }
  void OnHostBytes(const std::string& bytes, uint32_t nowMs) override {
    heard += bytes;
    heardAt = nowMs;
  }
  void OnRts(bool on, uint32_t) override { rts = on; }
  void OnLineSettings(const LineSettings& settings, uint32_t) override { baud = settings.baudRate; }
  void Advance(uint32_t nowMs) override {
    while (next_ < script_.size() && script_[next_].at <= nowMs) {
      if (link_) link_->Send(script_[next_].bytes);
      ++next_;
    }
  }
  int MsUntilNextEvent(uint32_t nowMs) override {
    if (next_ == script_.size()) return -1;
    return script_[next_].at > nowMs ? static_cast<int>(script_[next_].at - nowMs) : 0;
  }
  void Lines(uint32_t lines) { link_->SetModemLines(lines); }

  std::string heard;
  uint32_t heardAt = 0;
  bool rts = false;
  int baud = 0;

 private:
  std::vector<Send> script_;
  size_t next_ = 0;
  IDeviceLink* link_ = nullptr;
};

class Listener : public CSerialPortListener {
 public:
  explicit Listener(ISerialPort& port, int chunk = 4096) : port_(port), chunk_(chunk) {}
  void onReadEvent(const char* portName, unsigned int held) override {
    name = portName;
    announced.push_back(held);
    std::string bytes(chunk_, '\0');
    const int got = port_.readData(bytes.data(), chunk_);
    reads.push_back(bytes.substr(0, got > 0 ? got : 0));
  }
  std::string name;
  std::vector<unsigned int> announced;
  std::vector<std::string> reads;

 private:
  ISerialPort& port_;
  int chunk_;
};

void OpenAt9600(SimPort& port) {
  port.setReadIntervalTimeout(50);
  port.init("COM7", 9600, 0, 8, 2, 0, 4096);
  ASSERT_TRUE(port.open());
}

TEST(SimPortContract, ClosedPortRefusesEverything) {
  ScriptedDevice device({});
  SimPort port(device);
  char byte = 'x';
  EXPECT_FALSE(port.isOpen());
  EXPECT_EQ(port.writeData(&byte, 1), -1);
  EXPECT_EQ(port.readData(&byte, 1), -1);
  device.Lines(kModemCts);
  uint32_t status = 0xABCD;
  port.getModemStatus(status);
  EXPECT_EQ(status, 0xABCDu);
  port.setRts(true);
  EXPECT_FALSE(device.rts);
  EXPECT_EQ(device.heard, "");
}

TEST(SimPortContract, OpenCanFailAndSucceedLater) {
  ScriptedDevice device({});
  SimPort port(device);
  port.SetOpenFails(true);
  port.init("COM7", 9600, 0, 8, 2, 0, 4096);
  EXPECT_FALSE(port.open());
  EXPECT_FALSE(port.isOpen());
  port.SetOpenFails(false);
  EXPECT_TRUE(port.open());
  EXPECT_EQ(port.OpenCount(), 1);
  EXPECT_EQ(device.baud, 9600);
  port.setBaudRate(1200);
  EXPECT_EQ(device.baud, 1200);
}

TEST(SimPortContract, WritesReachTheDeviceAtTheCurrentTime) {
  ScriptedDevice device({});
  SimPort port(device, "SIM1", 500);
  OpenAt9600(port);
  port.Advance(1234);
  EXPECT_EQ(port.writeData("END\r\n", 5), 5);
  EXPECT_EQ(device.heard, "END\r\n");
  EXPECT_EQ(device.heardAt, 1234u);
  EXPECT_EQ(port.TakeWritten(), "END\r\n");
  EXPECT_EQ(port.TakeWritten(), "");
}

TEST(SimPortReports, QuietIntervalGroupsBytes) {
  struct Case {
    const char* name;
    std::vector<ScriptedDevice::Send> script;
    std::vector<std::string> reports;
  };
  const Case cases[] = {
      {"GapsBelowInterval", {{100, "ab"}, {149, "cd"}, {198, "ef"}}, {"abcdef"}},
      {"GapOfExactlyTheInterval", {{100, "ab"}, {150, "cd"}}, {"ab", "cd"}},
      {"LongGap", {{100, "ab"}, {400, "cd"}}, {"ab", "cd"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedDevice device(c.script);
    SimPort port(device);
    Listener listener(port);
    port.connectReadEvent(&listener);
    OpenAt9600(port);
    port.Advance(10000);
    EXPECT_EQ(listener.reads, c.reports);
    EXPECT_EQ(listener.name, "COM7");
  }
}

TEST(SimPortReports, ReportComesOnlyAfterTheQuietInterval) {
  ScriptedDevice device({{100, "OK\r\n"}});
  SimPort port(device);
  Listener listener(port);
  port.connectReadEvent(&listener);
  OpenAt9600(port);
  port.Advance(149);
  EXPECT_TRUE(listener.reads.empty());
  EXPECT_EQ(port.MsUntilNextEvent(), 1);
  port.Advance(150);
  EXPECT_EQ(listener.reads, std::vector<std::string>{"OK\r\n"});
  EXPECT_EQ(port.MsUntilNextEvent(), -1);
}

TEST(SimPortReports, UnreadBytesStayHeldForTheNextRead) {
  ScriptedDevice device({{100, "abcdef"}, {300, "gh"}});
  SimPort port(device);
  Listener listener(port, 4);
  port.connectReadEvent(&listener);
  OpenAt9600(port);
  port.Advance(1000);
  EXPECT_EQ(listener.announced, (std::vector<unsigned int>{6, 4}));
  EXPECT_EQ(listener.reads, (std::vector<std::string>{"abcd", "efgh"}));
}

TEST(SimPortReports, BytesSentWhileClosedAreLost) {
  ScriptedDevice device({{100, "lost"}, {300, "kept"}});
  SimPort port(device);
  Listener listener(port);
  port.connectReadEvent(&listener);
  port.Advance(200);
  OpenAt9600(port);
  port.Advance(1000);
  EXPECT_EQ(listener.reads, std::vector<std::string>{"kept"});
}

TEST(SimPortModem, StatusFollowsTheDevicesPower) {
  Bench bench("ZWE-720W/KB");
  bench.port->init("SIM1", 9600, 0, 8, 2, 0, 4096);
  bench.port->open();
  uint32_t status = 0xFF;
  bench.port->getModemStatus(status);
  EXPECT_EQ(status, 0u);
  bench.device->SetPower(true, 10);
  bench.port->getModemStatus(status);
  EXPECT_EQ(status & kModemCts, kModemCts);
  bench.device->SetPower(false, 20);
  bench.port->getModemStatus(status);
  EXPECT_EQ(status & kModemCts, 0u);
}

}  // namespace
}  // namespace setwright::sim::testing
