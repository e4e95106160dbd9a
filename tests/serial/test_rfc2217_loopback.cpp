// Network ports: our client against our simulator's server, and against peers that
// misbehave.
#include <gtest/gtest.h>

#include <QTcpServer>

#include "serial/rfc2217_protocol.h"
#include "serial/serial_port.h"
#include "sim/rfc2217_server.h"
#include "support_devices.h"
#include "support_listener.h"

namespace setwright {
namespace {

using namespace setwright::testing;
namespace wire = setwright::rfc2217;

void OpenPort(CSerialPort& port, const std::string& url) {
  port.setReadIntervalTimeout(50);
  port.init(url, 9600, ParityNone, 8, StopTwo, FlowNone, 4096);
  port.open();
}

uint32_t ModemStatus(CSerialPort& port) {
  uint32_t word = 0;
  port.getModemStatus(word);
  return word;
}

class NetworkPort : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Start());
    OpenPort(port_, server_.Url());
    ASSERT_TRUE(port_.isOpen());
  }

  EchoDevice device_;
  sim::Rfc2217Server server_{device_};
  CSerialPort port_;
};

TEST_F(NetworkPort, CarriesEveryByteValueBothWays) {
  RecordingListener listener(port_);
  port_.connectReadEvent(&listener);
  std::string bytes;
  for (int round = 0; round < 2; ++round) {
    for (int b = 0; b < 256; ++b) bytes.push_back(static_cast<char>(b));
  }
  bytes += std::string(3, '\xff');
  EXPECT_EQ(port_.writeData(bytes.data(), static_cast<int>(bytes.size())),
            static_cast<int>(bytes.size()));
  ASSERT_TRUE(listener.WaitForBytes(bytes.size()));
  EXPECT_EQ(listener.Received(), bytes) << "echoed by the device";
  EXPECT_EQ(device_.received(), bytes);
}

TEST_F(NetworkPort, EveryModemLineChangeIsSeen) {
  device_.SetFollowRts(false);
  for (uint32_t lines : {0x10u, 0x30u, 0x70u, 0xF0u, 0x80u, 0x00u, 0x20u, 0x40u, 0x00u}) {
    device_.SetLines(lines);
    EXPECT_TRUE(Eventually([&] { return ModemStatus(port_) == lines; }))
        << std::hex << lines << " seen as " << ModemStatus(port_);
  }
}

TEST_F(NetworkPort, DeviceSeesLineSettingsRtsAndBaudRate) {
  EXPECT_TRUE(Eventually([&] { return device_.settings().baudRate == 9600; }));
  const sim::LineSettings settings = device_.settings();
  EXPECT_EQ(settings.dataBits, 8);
  EXPECT_EQ(settings.parity, ParityNone);
  EXPECT_EQ(settings.stopBits, StopTwo);
  EXPECT_FALSE(device_.rts()) << "RTS is low after opening";

  port_.setRts(true);
  EXPECT_TRUE(Eventually([&] { return device_.rts(); }));
  EXPECT_TRUE(Eventually([&] { return ModemStatus(port_) == (kModemCts | kModemDsr); }));
  port_.setBaudRate(19200);
  EXPECT_TRUE(Eventually([&] { return device_.settings().baudRate == 19200; }));

  port_.close();
  EXPECT_TRUE(Eventually([&] { return !device_.rts(); })) << "RTS falls with the connection";
}

TEST_F(NetworkPort, DeviceRepliesOnItsOwnTime) {
  RecordingListener listener(port_);
  port_.connectReadEvent(&listener);
  port_.writeData("PING", 4);
  ASSERT_TRUE(listener.WaitForBytes(4));
  EXPECT_EQ(listener.Received(), "PONG");
}

TEST_F(NetworkPort, LostConnectionReadsAsClosedAndReopens) {
  server_.Stop();
  EXPECT_TRUE(Eventually([&] { return !port_.isOpen(); }));
  char byte;
  EXPECT_EQ(port_.readData(&byte, 1), -1);
  EXPECT_EQ(port_.writeData("x", 1), -1);
  uint32_t word = 0;
  port_.getModemStatus(word);
  EXPECT_EQ(word, 0u);

  ASSERT_TRUE(server_.Start());
  OpenPort(port_, server_.Url());
  EXPECT_TRUE(port_.isOpen());
}

TEST_F(NetworkPort, SecondClientIsTurnedAway) {
  CSerialPort other;
  OpenPort(other, server_.Url());
  EXPECT_FALSE(other.isOpen());
  port_.close();
  // The server takes the next client once it has seen the first one go, which a slow
  // machine may take a moment to do.
  EXPECT_TRUE(Eventually([&] {
    OpenPort(other, server_.Url());
    return other.isOpen();
  }));
}

TEST(NetworkPortAddress, Ipv6ServerIsReachedThroughItsUrl) {
  EchoDevice device;
  sim::Rfc2217Server server(device, "::1");
  if (!server.Start()) GTEST_SKIP() << "no IPv6 loopback here";
  EXPECT_EQ(server.Url(), "rfc2217://[::1]:" + std::to_string(server.Port()));
  CSerialPort port;
  OpenPort(port, server.Url());
  EXPECT_TRUE(port.isOpen());
}

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}

QByteArray Q(const std::string& s) {
  return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

TEST(NetworkPortOpening, FailsCleanlyWithinItsTimeOut) {
  QTcpServer closed;  // a port that was free a moment ago: nothing listens there
  ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
  const std::string nobody = "rfc2217://127.0.0.1:" + std::to_string(closed.serverPort());
  closed.close();
  ScriptedPeer silent("", "");
  ScriptedPeer refusing(Q(Bytes({wire::IAC, wire::DONT, wire::kOptionComPort})), "");
  ScriptedPeer dropping("hello", "", true);
  struct Case {
    const char* name;
    std::string url;
  };
  const std::vector<Case> cases = {
      {"nothing listening", nobody},
      {"a peer that never negotiates", silent.Url()},
      {"a peer that refuses the option", refusing.Url()},
      {"a peer that hangs up", dropping.Url()},
      {"no port number", "rfc2217://127.0.0.1"},
      {"port number out of range", "rfc2217://127.0.0.1:70000"},
      {"no host", "rfc2217://:2217"},
  };
  for (const Case& c : cases) {
    CSerialPort port;
    const auto started = Clock::now();
    OpenPort(port, c.url);
    EXPECT_FALSE(port.isOpen()) << c.name;
    EXPECT_LT(Clock::now() - started, milliseconds(8000)) << c.name;
    char byte;
    EXPECT_EQ(port.readData(&byte, 1), -1) << c.name;
  }
}

TEST(NetworkPortOpening, HostilePeersNeitherHangNorFloodTheStore) {
  const std::string agree = Bytes({wire::IAC, wire::DO, wire::kOptionComPort});
  std::string garbage;
  for (int i = 0; i < 8192; ++i) garbage.push_back(static_cast<char>((i * 7919) % 256));
  std::string endlessSub = Bytes({wire::IAC, wire::SB, wire::kOptionComPort});
  struct Case {
    const char* name;
    std::string greeting;
    std::string stream;
  };
  const std::vector<Case> cases = {
      {"endless sub-negotiation", agree + endlessSub, std::string(8192, 'x')},
      {"garbage", agree, garbage},
      {"endless option requests", agree,
       [] {
         std::string s;
         for (int i = 0; i < 2000; ++i) s += Bytes({wire::IAC, wire::WILL, 200});
         return s;
       }()},
  };
  for (const Case& c : cases) {
    ScriptedPeer peer(Q(c.greeting), Q(c.stream));
    CSerialPort port;
    RecordingListener listener(port, 0);  // leaves everything in the store
    port.connectReadEvent(&listener);
    OpenPort(port, peer.Url());
    ASSERT_TRUE(port.isOpen()) << c.name;
    // Let a few megabytes go by; the store never holds more than its size.
    const qint64 start = peer.BytesSent();
    Eventually([&] { return peer.BytesSent() - start > 4 * 1024 * 1024 || !port.isOpen(); },
               milliseconds(3000));
    for (const Report& r : listener.Reports()) EXPECT_LE(r.count, 4096u) << c.name;
    uint32_t word = 0;
    port.getModemStatus(word);
    EXPECT_EQ(word & ~0xF0u, 0u) << c.name;
    port.close();
    EXPECT_FALSE(port.isOpen()) << c.name;
  }
}

}  // namespace
}  // namespace setwright
