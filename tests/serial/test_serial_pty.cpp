// The port object on a local port: a pseudo-terminal whose device end is the test's.
#include <gtest/gtest.h>

#ifndef _WIN32

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "serial/serial_port.h"
#include "support_listener.h"

namespace setwright {
namespace {

using namespace setwright::testing;

// A pseudo-terminal pair. The port object opens the terminal end by name; the test plays
// the device on the controlling end.
class PtyDevice {
 public:
  PtyDevice() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
    const char* name = ::ptsname(master_);
    if (name) name_ = name;
    // Keeps the terminal end alive between the port's openings, so bytes are never lost to a
    // hang-up; opened without locking it, so the port's exclusive open is not disturbed.
    keeper_ = ::open(name_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  }
  ~PtyDevice() {
    if (keeper_ >= 0) ::close(keeper_);
    if (master_ >= 0) ::close(master_);
  }
  bool ok() const { return master_ >= 0 && !name_.empty() && keeper_ >= 0; }
  // The device end goes away, as a USB adapter pulled out.
  void HangUp() {
    ::close(master_);
    master_ = -1;
  }
  const std::string& name() const { return name_; }
  int keeper() const { return keeper_; }

  void Send(const std::string& bytes) {
    ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  // Reads until count bytes came or the time-out passed.
  std::string Receive(size_t count, milliseconds timeout = kEventTimeout) {
    std::string got;
    const auto deadline = Clock::now() + timeout;
    while (got.size() < count) {
      const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) break;
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
      char buf[4096];
      const ssize_t n = ::read(master_, buf, std::min(sizeof buf, count - got.size()));
      if (n <= 0) break;
      got.append(buf, static_cast<size_t>(n));
    }
    return got;
  }

 private:
  int master_ = -1;
  int keeper_ = -1;
  std::string name_;
};

class PtyPort : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!device_.ok()) GTEST_SKIP() << "no pseudo-terminals here";
  }
  void Open(CSerialPort& port, unsigned int storeSize = 4096, unsigned int intervalMs = 50) {
    port.setReadIntervalTimeout(intervalMs);
    port.init(device_.name(), 9600, ParityNone, 8, StopTwo, FlowNone, storeSize);
    port.open();
    ASSERT_TRUE(port.isOpen());
  }

  PtyDevice device_;
  CSerialPort port_;
};

TEST_F(PtyPort, ReplyInPiecesIsReportedOnceAfterTheLineWentQuiet) {
  RecordingListener listener(port_);
  port_.connectReadEvent(&listener);
  Open(port_);
  // The pieces must really be less than the interval apart; a machine too busy to keep them
  // so makes the attempt void, not failed.
  for (int attempt = 0; attempt < 5; ++attempt) {
    const size_t before = listener.Reports().size();
    const std::string received = listener.Received();
    Clock::time_point last = Clock::now();
    bool tight = true;
    for (const char* piece : {"\r\nPROGRAM", " MODE ", "V1.0\r\n"}) {
      if (piece[0] != '\r') std::this_thread::sleep_for(milliseconds(10));
      device_.Send(piece);
      const auto now = Clock::now();
      if (piece[0] != '\r' && now - last > milliseconds(35)) tight = false;
      last = now;
    }
    ASSERT_TRUE(listener.WaitForBytes(received.size() + 21));
    const std::vector<Report> reports = listener.Reports();
    if (!tight) continue;
    ASSERT_EQ(reports.size(), before + 1);
    EXPECT_EQ(reports.back().count, 21u);
    EXPECT_GE(reports.back().at - last, milliseconds(50));
    EXPECT_EQ(listener.Received().substr(received.size()), "\r\nPROGRAM MODE V1.0\r\n");
    EXPECT_EQ(listener.PortName(), device_.name());
    EXPECT_EQ(listener.MaxConcurrentReports(), 1);
    return;
  }
  GTEST_SKIP() << "the machine was too busy to send pieces 10 ms apart";
}

TEST_F(PtyPort, BytesTheListenerLeavesComeWithTheNextBurst) {
  RecordingListener listener(port_, 4);
  port_.connectReadEvent(&listener);
  Open(port_);
  device_.Send("0123456789");
  ASSERT_TRUE(listener.WaitForReports(1));
  device_.Send("AB");
  ASSERT_TRUE(listener.WaitForReports(2));
  const std::vector<Report> reports = listener.Reports();
  EXPECT_EQ(reports[0].count, 10u);
  EXPECT_EQ(reports[1].count, 8u) << "six left over and two new";
  EXPECT_EQ(listener.Received(), "01234567");
  char rest[16];
  EXPECT_EQ(port_.readData(rest, sizeof rest), 4);
  EXPECT_EQ(std::string(rest, 4), "89AB");
  EXPECT_EQ(port_.readData(rest, sizeof rest), 0) << "an empty store reads 0, at once";
}

TEST_F(PtyPort, FullStoreIsReportedAtOnceAndTheBacklogFollows) {
  RecordingListener listener(port_);
  port_.connectReadEvent(&listener);
  // An interval far beyond the wait: only a full store can be reported in time.
  Open(port_, 16, 60'000);
  std::string backlog;
  for (int i = 0; i < 48; ++i) backlog.push_back(static_cast<char>('a' + i % 26));
  device_.Send(backlog);
  ASSERT_TRUE(listener.WaitForBytes(48));
  EXPECT_EQ(listener.Received(), backlog);
  for (const Report& r : listener.Reports()) EXPECT_EQ(r.count, 16u);
}

TEST_F(PtyPort, FlowControlBytesAndLineEndsPassUnchangedBothWays) {
  RecordingListener listener(port_);
  port_.connectReadEvent(&listener);
  Open(port_);
  const std::string bytes("\x11\x13\r\n\x00\x03\x04\x1a\x7f\xff\r", 11);
  device_.Send(bytes);
  ASSERT_TRUE(listener.WaitForBytes(bytes.size()));
  EXPECT_EQ(listener.Received(), bytes);
  EXPECT_EQ(port_.writeData(bytes.data(), static_cast<int>(bytes.size())), 11);
  EXPECT_EQ(device_.Receive(bytes.size()), bytes);
}

TEST_F(PtyPort, WrittenBytesSurviveAnImmediateClose) {
  Open(port_);
  const std::string line = "END\r\n\x1b";
  EXPECT_EQ(port_.writeData(line.data(), static_cast<int>(line.size())), 6);
  port_.close();
  EXPECT_EQ(device_.Receive(line.size()), line);
}

TEST_F(PtyPort, OpeningIsExclusive) {
  struct Holder {
    const char* name;
    std::function<std::function<void()>(PtyDevice&)> hold;  // returns the release
  };
  const std::vector<Holder> holders = {
      {"another port object",
       [](PtyDevice& device) {
         auto other = std::make_shared<CSerialPort>();
         other->init(device.name(), 9600, ParityNone, 8, StopTwo, FlowNone, 4096);
         other->open();
         EXPECT_TRUE(other->isOpen());
         return [other] { other->close(); };
       }},
      {"another program's lock",
       [](PtyDevice& device) {
         EXPECT_EQ(::flock(device.keeper(), LOCK_EX | LOCK_NB), 0);
         return [&device] { ::flock(device.keeper(), LOCK_UN); };
       }},
  };
  for (const Holder& h : holders) {
    const std::function<void()> release = h.hold(device_);
    port_.init(device_.name(), 9600, ParityNone, 8, StopTwo, FlowNone, 4096);
    port_.open();
    EXPECT_FALSE(port_.isOpen()) << h.name;
    release();
    port_.open();
    EXPECT_TRUE(port_.isOpen()) << h.name << ": the same object opens once it is free";
    port_.close();
  }
}

TEST_F(PtyPort, ClosedPortsAndPortsWithoutModemLinesChangeNothing) {
  uint32_t word = 0;
  port_.getModemStatus(word);
  EXPECT_EQ(word, 0u) << "never opened";
  char byte;
  EXPECT_EQ(port_.readData(&byte, 1), -1);
  EXPECT_EQ(port_.writeData("x", 1), -1);
  port_.setRts(true);
  port_.setBaudRate(9600);

  Open(port_);
  word = 0x1234;
  port_.getModemStatus(word);
  EXPECT_EQ(word, 0x1234u) << "a pseudo-terminal has no modem lines to tell";
  port_.close();
  word = 0;
  port_.getModemStatus(word);
  EXPECT_EQ(word, 0u) << "closed after use";
  EXPECT_FALSE(port_.isOpen());
  EXPECT_EQ(port_.readData(&byte, 1), -1);
  port_.close();  // closing a closed port does nothing

  port_.init("/dev/setwright-no-such-port", 9600, ParityNone, 8, StopTwo, FlowNone, 4096);
  port_.open();
  EXPECT_FALSE(port_.isOpen());
}

TEST_F(PtyPort, OpeningAnOpenPortFailsAndLeavesItClosed) {
  Open(port_);
  port_.open();
  EXPECT_FALSE(port_.isOpen());
  port_.open();
  EXPECT_TRUE(port_.isOpen());
}

TEST_F(PtyPort, ReportArmedBeforeCloseFindsTheStoreGone) {
  RecordingListener listener(port_);
  std::mutex gate;
  std::condition_variable gateChanged;
  bool entered = false;
  bool released = false;
  listener.SetBeforeRead([&] {
    std::unique_lock lock(gate);
    entered = true;
    gateChanged.notify_all();
    gateChanged.wait(lock, [&] { return released; });
  });
  port_.connectReadEvent(&listener);
  Open(port_);
  device_.Send("late");
  {
    std::unique_lock lock(gate);
    ASSERT_TRUE(gateChanged.wait_for(lock, kEventTimeout, [&] { return entered; }));
  }
  port_.close();
  {
    std::lock_guard lock(gate);
    released = true;
  }
  gateChanged.notify_all();
  ASSERT_TRUE(listener.WaitForReports(1));
  EXPECT_EQ(listener.Reports()[0].count, 4u);
  EXPECT_EQ(listener.Reports()[0].read, -1);
}

TEST_F(PtyPort, ReopeningStartsWithNothingHeldOrPending) {
  RecordingListener listener(port_, 0);
  port_.connectReadEvent(&listener);
  Open(port_);
  device_.Send("stale");
  ASSERT_TRUE(listener.WaitForReports(1));
  port_.close();
  // Closing gave the terminal back its earlier line-by-line settings: a whole line shows.
  device_.Send("pending in the driver\n");
  ASSERT_TRUE(Eventually([&] {
    int queued = 0;
    return ::ioctl(device_.keeper(), FIONREAD, &queued) == 0 && queued > 0;
  }));
  Open(port_);
  char buf[8];
  EXPECT_EQ(port_.readData(buf, sizeof buf), 0);
  listener.SetReadLimit(100);
  device_.Send("new");
  ASSERT_TRUE(listener.WaitForBytes(3));
  EXPECT_EQ(listener.Received(), "new");
}

TEST_F(PtyPort, PortWhoseDeviceWentAwayReadsAsClosed) {
  Open(port_);
  device_.HangUp();
  EXPECT_TRUE(Eventually([&] { return !port_.isOpen(); }));
  char byte;
  EXPECT_EQ(port_.readData(&byte, 1), -1);
  EXPECT_EQ(port_.writeData("x", 1), -1);
}

}  // namespace
}  // namespace setwright

#endif  // _WIN32
