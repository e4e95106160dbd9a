// The wire trace: its line format, and the trace of a read as a support engineer gets it.
#include <gtest/gtest.h>

#include <QLoggingCategory>
#include <QString>
#include <mutex>

#include "serial/wire_trace.h"
#include "session/session.h"
#include "support_bench.h"

namespace setwright::testing {
namespace {

class LinesTrace : public WireTrace {
 public:
  std::vector<std::string> lines;

 protected:
  void WriteLine(const std::string& line) override { lines.push_back(line); }
};

// The trace line without its time stamp.
std::string Body(const std::string& line) {
  return line.substr(line.find(' ') + 1);
}

TEST(WireTrace, BytesAsHexAndText) {
  struct Case {
    std::string bytes, text;
  } cases[] = {
      {"\r\n@PROG\r\n", "0d 0a 40 50 52 4f 47 0d 0a  |..@PROG..|"},
      {std::string("\x1b", 1), "1b  |.|"},
      {std::string("\x00\x7f\x80\xff ~", 6), "00 7f 80 ff 20 7e  |.... ~|"},
      {"", "  ||"},
  };
  for (const Case& c : cases) EXPECT_EQ(HexAndText(c.bytes.data(), c.bytes.size()), c.text);
}

TEST(WireTrace, LongRunsTakeOneLinePerSixteenBytesAndTheSameTime) {
  LinesTrace trace;
  const std::string bytes(40, 'A');
  trace.Bytes("COM3", '<', bytes.data(), bytes.size());
  ASSERT_EQ(trace.lines.size(), 3u);
  const std::string stamp = trace.lines[0].substr(0, trace.lines[0].find(' '));
  EXPECT_EQ(stamp[0], '+');
  EXPECT_EQ(stamp.size() - stamp.find('.'), 7u);  // microseconds
  for (const auto& line : trace.lines) EXPECT_EQ(line.rfind(stamp + " COM3 < 41 41", 0), 0u);
  EXPECT_EQ(Body(trace.lines[2]), "COM3 < 41 41 41 41 41 41 41 41  |AAAAAAAA|");
  trace.Event("COM3", "report red PROGRAM MODE timeout! \\r\\nPlease restart device power!");
  EXPECT_EQ(Body(trace.lines[3]),
            "COM3 report red PROGRAM MODE timeout! \\r\\nPlease restart device power!");
}

TEST(WireTrace, ReadHoldsTheProgramModeCommandThenTheDumpInOrder) {
  LinesTrace trace;
  TestClock clock;
  auto device = sim::SimDevice::Create("MR-310SKB");
  auto owned = std::make_unique<sim::SimPort>(*device, "SIM1", clock.now);
  sim::SimPort* wire = owned.get();
  TracedPort port(std::move(owned), trace);
  AbsentPort newPort;
  FixedLister lister({"SIM1"});
  Session session(*FindModel("MR-310SKB"), port, &newPort, lister, clock);
  session.SetManualTicks(true);
  session.SetPortName("SIM1");
  device->SetPower(true, clock.now);
  session.Open();
  auto tick = [&] {
    clock.now += 50;
    wire->Advance(clock.now);
    session.Tick();
  };
  for (int i = 0; i < 3; ++i) tick();
  clock.now += 200;
  session.EnterProgMode();
  for (int i = 0; i < 20 && !session.InProgramMode(); ++i) tick();
  ASSERT_TRUE(session.InProgramMode());
  session.Close();

  std::vector<std::string> bodies;
  for (const auto& line : trace.lines) bodies.push_back(Body(line));
  auto find = [&](const std::string& text) {
    return std::find(bodies.begin(), bodies.end(), text) - bodies.begin();
  };
  const auto opened = find("SIM1 open 9600 8N2 ok");
  const auto modem = find("SIM1 modem CTS=1 DSR=1 RI=0 DCD=0");
  const auto command = find("SIM1 > 0d 0a 40 50 52 4f 47 0d 0a  |..@PROG..|");
  const auto escape = find("SIM1 > 1b  |.|");
  const auto closed = find("SIM1 close");
  ASSERT_LT(command, static_cast<long>(bodies.size()));
  EXPECT_LT(opened, modem);
  EXPECT_LT(modem, command);
  EXPECT_LT(command, escape);
  EXPECT_LT(escape, closed);
  EXPECT_EQ(closed, static_cast<long>(bodies.size()) - 1);

  // The dump, put together again from the text column of the received lines.
  std::string received;
  for (long i = command; i < escape; ++i) {
    if (bodies[i].rfind("SIM1 < ", 0) != 0) continue;
    const std::string& b = bodies[i];
    received += b.substr(b.find("|") + 1, b.size() - b.find("|") - 2);
  }
  const size_t banner = received.find("*** PROGRAM MODE ***");
  const size_t product = received.find("MR-310SKB Serial to Keyboard");
  const size_t baud = received.find("B=9600");
  const size_t prompt = received.find("CMD=@");
  ASSERT_NE(banner, std::string::npos) << received;
  EXPECT_LT(banner, product);
  EXPECT_LT(product, baud);
  EXPECT_LT(baud, prompt);
  EXPECT_NE(prompt, std::string::npos);
}

std::vector<std::string> wireMessages;

void KeepWireMessages(QtMsgType, const QMessageLogContext& context, const QString& message) {
  if (context.category && std::string(context.category) == "setwright.wire")
    wireMessages.push_back(message.toStdString());
}

// The desktop program's trace is off unless Qt's logging rules switch its category on.
TEST(WireTrace, DesktopTraceGoesThroughItsLoggingCategoryOnlyWhenSwitchedOn) {
  EXPECT_EQ(QtLogWireTrace::IfEnabled(), nullptr);
  QLoggingCategory::setFilterRules("setwright.wire.debug=true");
  QtMessageHandler previous = qInstallMessageHandler(KeepWireMessages);
  QtLogWireTrace* trace = QtLogWireTrace::IfEnabled();
  ASSERT_NE(trace, nullptr);
  trace->Bytes("COM3", '>', "\r\n@PROG\r\n", 9);
  qInstallMessageHandler(previous);
  QLoggingCategory::setFilterRules("setwright.wire.debug=false");
  EXPECT_EQ(QtLogWireTrace::IfEnabled(), nullptr);
  ASSERT_EQ(wireMessages.size(), 1u);
  EXPECT_EQ(Body(wireMessages[0]), "COM3 > 0d 0a 40 50 52 4f 47 0d 0a  |..@PROG..|");
}

}  // namespace
}  // namespace setwright::testing
