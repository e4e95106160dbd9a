// The Telnet / COM-PORT-OPTION byte machinery, without any I/O.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "serial/rfc2217_protocol.h"

namespace setwright::rfc2217 {
namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}

// Renders every parser event as text so that a whole stream compares as one string.
class EventLog : public TelnetParser::Handler {
 public:
  void OnData(const char* data, size_t size) override { data_.append(data, size); }
  void OnOption(uint8_t verb, uint8_t option) override {
    Flush();
    log_ += "opt(" + std::to_string(verb) + "," + std::to_string(option) + ")";
  }
  void OnSubnegotiation(const std::string& payload, bool truncated) override {
    Flush();
    log_ += "sb(";
    for (unsigned char c : payload) log_ += std::to_string(c) + " ";
    log_ += truncated ? "cut)" : ")";
  }
  void OnCommand(uint8_t command) override {
    Flush();
    log_ += "cmd(" + std::to_string(command) + ")";
  }
  std::string Text() {
    Flush();
    return log_;
  }

 private:
  void Flush() {
    if (!data_.empty()) log_ += "data(" + data_ + ")";
    data_.clear();
  }
  std::string data_;
  std::string log_;
};

struct ParseCase {
  const char* name;
  std::string input;
  std::string expected;
};

TEST(TelnetParser, SplitsStreamsIdenticallyWhereverTheyAreCut) {
  std::string keptOfOverlong;
  for (size_t i = 0; i < kMaxSubnegotiation; ++i) keptOfOverlong += "97 ";
  const std::vector<ParseCase> cases = {
      {"plain data", "hello", "data(hello)"},
      {"doubled IAC is one data byte", "a" + Bytes({IAC, IAC}) + "b",
       std::string("data(a\xff") + "b)"},
      {"option between data", "x" + Bytes({IAC, DO, 44}) + "y", "data(x)opt(253,44)data(y)"},
      {"sub-negotiation with doubled IAC", Bytes({IAC, SB, 44, 107, IAC, IAC, IAC, SE}) + "z",
       "sb(44 107 255 )data(z)"},
      {"other commands", Bytes({IAC, NOP, IAC, SE}) + "q", "cmd(241)cmd(240)data(q)"},
      {"sub-negotiation broken off by a command", Bytes({IAC, SB, 44, 7, IAC, WILL, 3}) + "k",
       "opt(251,3)data(k)"},
      {"overlong sub-negotiation is cut",
       Bytes({IAC, SB}) + std::string(100, 'a') + Bytes({IAC, SE}),
       "sb(" + keptOfOverlong + "cut)"},
  };
  for (const ParseCase& c : cases) {
    for (size_t cut = 0; cut <= c.input.size(); ++cut) {
      TelnetParser parser;
      EventLog log;
      parser.Feed(c.input.data(), cut, log);
      parser.Feed(c.input.data() + cut, c.input.size() - cut, log);
      EXPECT_EQ(log.Text(), c.expected) << c.name << ", cut at " << cut;
    }
  }
}

TEST(TelnetParser, EndlessSubnegotiationHoldsBoundedMemory) {
  TelnetParser parser;
  EventLog log;
  const std::string start = Bytes({IAC, SB, 44});
  parser.Feed(start.data(), start.size(), log);
  const std::string chunk(4096, 'g');
  for (int i = 0; i < 256; ++i) {
    parser.Feed(chunk.data(), chunk.size(), log);
    ASSERT_LE(parser.HeldBytes(), kMaxSubnegotiation);
  }
  EXPECT_EQ(log.Text(), "");
}

TEST(TelnetParser, RandomAndTruncatedInputNeverGrowsOrBreaksTheClient) {
  // Random bytes drawn mostly from the Telnet command range, so that every state is reached,
  // fed in random pieces to the client, which also answers options.
  std::mt19937 random(2217);
  std::uniform_int_distribution<int> pick(0, 15);
  std::uniform_int_distribution<int> anyByte(0, 255);
  std::uniform_int_distribution<int> pieceSize(0, 64);
  const int interesting[] = {IAC, SB, SE, WILL, WONT, DO, DONT, kOptionComPort, 107, 0};
  for (int round = 0; round < 200; ++round) {
    Rfc2217Client client(PortSettings{});
    client.Start();
    std::string stream;
    for (int i = 0; i < 4000; ++i) {
      const int p = pick(random);
      stream.push_back(static_cast<char>(p < 10 ? interesting[p] : anyByte(random)));
    }
    size_t pos = 0;
    while (pos < stream.size()) {
      const size_t n = std::min(stream.size() - pos, static_cast<size_t>(pieceSize(random)));
      std::string data;
      client.Feed(stream.data() + pos, n, data);
      pos += n;
      EXPECT_LE(data.size(), n);
      client.TakeOutput();
      ASSERT_LE(client.HeldBytes(), kMaxSubnegotiation);
    }
    if (client.ModemLines()) {
      EXPECT_EQ(*client.ModemLines() & ~0xF0u, 0u);
    }
  }
}

TEST(TelnetOptions, AnswersOnlyWhatChangesState) {
  struct Step {
    uint8_t verb;
    uint8_t option;
    std::string answer;
  };
  TelnetOptions options;
  options.Support(kOptionBinary, true, true);
  EXPECT_EQ(options.Request(WILL, kOptionBinary), Bytes({IAC, WILL, 0}));
  EXPECT_EQ(options.Request(WILL, kOptionBinary), "") << "a request is never repeated";
  const std::vector<Step> steps = {
      {DO, kOptionBinary, ""},                     // answer to our request
      {DO, kOptionBinary, ""},                     // confirms the state: no answer
      {WILL, kOptionBinary, Bytes({IAC, DO, 0})},  // the peer's own request
      {WILL, kOptionEcho, Bytes({IAC, DONT, 1})},  // not supported
      {DO, kOptionEcho, Bytes({IAC, WONT, 1})},
      {WONT, kOptionEcho, ""},
      {DONT, kOptionBinary, Bytes({IAC, WONT, 0})},  // switched off by the peer
      {DONT, kOptionBinary, ""},
  };
  for (const Step& s : steps) {
    EXPECT_EQ(options.Receive(s.verb, s.option), s.answer) << int(s.verb) << " " << int(s.option);
  }
  EXPECT_TRUE(options.ThemEnabled(kOptionBinary));
  EXPECT_FALSE(options.UsEnabled(kOptionBinary));
  EXPECT_FALSE(options.Refused(kOptionBinary));
}

TEST(Rfc2217Client, ConfiguresThePortOnceTheServerAgrees) {
  PortSettings settings;
  settings.baudRate = 9600;
  settings.dataBits = 8;
  settings.parity = 0;
  settings.stopBits = 2;
  Rfc2217Client client(settings);
  EXPECT_EQ(client.Start(), Bytes({IAC, WILL, 0, IAC, DO, 0, IAC, WILL, kOptionComPort}));
  std::string data;
  const std::string agree = Bytes({IAC, DO, kOptionComPort});
  client.Feed(agree.data(), agree.size(), data);
  ASSERT_TRUE(client.Ready());
  const std::string expected =
      ComPortCommand(SET_BAUDRATE, Bytes({0, 0, 0x25, 0x80})) + ComPortCommand(SET_DATASIZE, 8) +
      ComPortCommand(SET_PARITY, 1) + ComPortCommand(SET_STOPSIZE, 2) +
      ComPortCommand(SET_CONTROL, kControlNoFlow) + ComPortCommand(SET_CONTROL, kControlRtsOff) +
      ComPortCommand(SET_MODEMSTATE_MASK, 0xFF) + ComPortCommand(NOTIFY_MODEMSTATE, std::string()) +
      ComPortCommand(PURGE_DATA, kPurgeBoth);
  EXPECT_EQ(client.TakeOutput(), expected);
  client.Feed(agree.data(), agree.size(), data);
  EXPECT_EQ(client.TakeOutput(), "") << "configured once";
  EXPECT_EQ(client.SetRts(true), ComPortCommand(SET_CONTROL, kControlRtsOn));
  // A baud rate whose bytes contain 0xFF goes out with the IAC doubled.
  EXPECT_EQ(client.SetBaudRate(0xFF), Bytes({IAC, SB, 44, 1, 0, 0, 0, IAC, IAC, IAC, SE}));
}

TEST(Rfc2217Client, ReportsRefusalAndModemStateAndPassesData) {
  {
    Rfc2217Client client(PortSettings{});
    client.Start();
    std::string data;
    const std::string refuse = Bytes({IAC, DONT, kOptionComPort});
    client.Feed(refuse.data(), refuse.size(), data);
    EXPECT_TRUE(client.Refused());
    EXPECT_FALSE(client.Ready());
  }
  Rfc2217Client client(PortSettings{});
  client.Start();
  EXPECT_FALSE(client.ModemLines().has_value()) << "unknown before the first notification";
  std::string data;
  const std::string stream = Bytes({IAC, DO,   kOptionComPort,
                                    'a', IAC,  IAC,
                                    IAC, SB,   44,
                                    107, 0x3B, IAC,
                                    SE,  'b',  IAC,
                                    SB,  44,   107,
                                    IAC, SE});
  client.Feed(stream.data(), stream.size(), data);
  EXPECT_EQ(data,
            "a\xff"
            "b");
  ASSERT_TRUE(client.ModemLines().has_value());
  EXPECT_EQ(*client.ModemLines(), 0x30u) << "change flags are dropped; a short notice is ignored";
}

TEST(WireCodes, ParityAndStopBitsRoundTrip) {
  for (int parity = 0; parity <= 4; ++parity)
    EXPECT_EQ(ParityFromWire(ParityToWire(parity)), parity);
  for (int stop = 0; stop <= 2; ++stop) EXPECT_EQ(StopBitsFromWire(StopBitsToWire(stop)), stop);
  EXPECT_EQ(StopBitsToWire(1), 3) << "one and a half stop bits";
  EXPECT_EQ(ParityFromWire(0), -1);
  EXPECT_EQ(StopBitsFromWire(4), -1);
}

}  // namespace
}  // namespace setwright::rfc2217
