// Each fault switch makes the device misbehave in the one way it names, and its text form.
#include <gtest/gtest.h>

#include <string>

#include "support_sim.h"

namespace setwright::sim::testing {
namespace {

struct FaultCase {
  const char* name;
  const char* model;
  const char* fault;
  const char* command;  // sent in program mode; null: the entry itself is looked at
  const char* expected;
};

// The reply to the command with the fault on.
const FaultCase kFaults[] = {
    {"ProductOfAnotherModel", "MR-310SKB", "product=ZWE-710SKB", nullptr,
     "\r\n*** PROGRAM MODE ***\r\nZWE-710SKB Serial to Keyboard Ver 3.02\r\n"},
    {"WrongBannerSerialToKeyboard", "ZWE-720W/KB", "wrong-banner", nullptr,
     "\r\n*** PROGRAM MODE***\r\n"},
    {"WrongBannerKeyboardToSerial", "TV-520KBS", "wrong-banner", nullptr,
     "\r\n* * * PROGRAM MODE* * *\r\n"},
    {"RefusedKey", "MR-310SKB", "refuse=B", "B=9600", "ERR\r\n"},
    {"RefusedKeyLeavesOthers", "MR-310SKB", "refuse=B", "D=7", "OK\r\n"},
    {"RefusedKeyFamily", "KN-610K/PQ", "refuse=T1", "T1=20", "ERR\r\n"},
    {"SilentEntry", "MR-320KBS", "silent", nullptr, ""},
    {"DoubleAckFamily", "MR-320KBS", "double-ack", "P=E", "\r\n\r\n"},
    {"DoubleAckDefault", "TV-520KBS", "double-ack", "DEFAULT", "\r\n\r\n"},
    {"DoubleAckSerialToKeyboard", "ZWE-710SKB", "double-ack", "P=E", "OK\r\nOK\r\n"},
    {"EndBannerCutFamily", "KN-610K/PQ", "cut-end=13", "END", "\r\n* * * PROGRAM\r\n"},
    {"EndBannerCutSerialToKeyboard", "MR-310SKB", "cut-end=7", "END", "*** PRO\r\n"},
    {"IdentificationWhereNone", "ZWE-710SKB", "id=on", nullptr,
     "Serial to Keyboard Ver 1.12\r\n(00:1A:7D:71:00:01)\r\nB=9600\r\n"},
    {"IdentificationMissing", "ZWE-720W/KB", "id=off", nullptr,
     "Serial to Keyboard Ver 1.40\r\nB=9600\r\n"},
    {"SecondLineMissing", "MR-320KBS", "id=off", nullptr,
     "Keyboard to Serial Ver 2.10\r\nKBS FW 2.10\r\nB=9600\r\n"},
    {"NoDelimiterLine", "MR-310SKB", "no-del", nullptr,
     "MODE=2\r\nLF=1\r\nCOM=R\r\nCMD=@\r\n\r\n ?\r\n"},
    {"NoDelimiterRefusesDelimiter", "ZWE-710SKB", "no-del", "DEL=0D", "ERR\r\n"},
    {"NoPairedSection", "MR-310SKB", "no-paired", nullptr, "COM=R\r\nCMD=@\r\n\r\n"},
    {"BusyUnit", "MR-310SKB", "busy", "@PROG", " ?\r\n"},
};

class Fault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(Fault, ChangesTheReply) {
  const FaultCase& c = GetParam();
  DeviceOptions options;
  std::string error;
  ASSERT_TRUE(ApplyFault(options, c.fault, true, &error)) << error;
  Bench bench(c.model, options);
  bench.PowerOnAndOpen(0);
  const std::string entry =
      bench.device->family() == Family::SerialToKeyboard ? "\r\n@PROG\r\n" : "\r\n";
  bench.Write(entry, 100);
  bench.RunTo(1000);
  std::string received = bench.Take();
  if (c.command) {
    bench.Write(std::string(c.command) + "\r\n", 1000);
    bench.RunTo(1500);
    EXPECT_EQ(bench.Take(), c.expected);
  } else if (*c.expected == '\0') {
    EXPECT_EQ(received, "");
  } else {
    EXPECT_NE(received.find(c.expected), std::string::npos) << received;
  }
}

INSTANTIATE_TEST_SUITE_P(Switches, Fault, ::testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FaultTiming, SplitReplyComesInPiecesThatAddUpToTheWholeReply) {
  Bench whole("MR-310SKB");
  whole.PowerOnAndOpen(0);
  whole.Write("\r\n@PROG\r\n", 100);
  whole.RunTo(1000);
  const std::string dump = whole.Take();

  DeviceOptions options;
  ASSERT_TRUE(ApplyFault(options, "split=3/80", true, nullptr));
  Bench split("MR-310SKB", options);
  split.PowerOnAndOpen(0);
  split.Write("\r\n@PROG\r\n", 100);
  split.RunTo(1000);
  ASSERT_EQ(split.reports.size(), 3u) << "80 ms gaps exceed the 50 ms quiet interval";
  EXPECT_EQ(split.Take(), dump);

  // Gaps shorter than the quiet interval are one report for the port.
  options.splitGapMs = 20;
  Bench close("MR-310SKB", options);
  close.PowerOnAndOpen(0);
  close.Write("\r\n@PROG\r\n", 100);
  close.RunTo(1000);
  EXPECT_EQ(close.reports.size(), 1u);
}

TEST(FaultTiming, SlowReplyKeepsItsOrderAndArrivesLate) {
  DeviceOptions options;
  ASSERT_TRUE(ApplyFault(options, "slow=700", true, nullptr));
  Bench bench("MR-320KBS", options);
  bench.PowerOnAndOpen(0);
  bench.Write("\r\n", 100);
  bench.RunTo(800);
  EXPECT_EQ(bench.Take(), "");
  bench.RunTo(900);
  EXPECT_TRUE(bench.Take().starts_with("\r\n* * * PROGRAM MODE * * *\r\n"));
}

TEST(FaultSwitches, CanBeChangedWhileTheDeviceRuns) {
  Bench bench("ZWE-710SKB");
  bench.PowerOnAndOpen(0);
  bench.Enter(100);
  DeviceOptions options = bench.device->Options();
  ASSERT_TRUE(ApplyFault(options, "silent", true, nullptr));
  bench.device->SetOptions(options);
  bench.Write("D=7\r\n", 1000);
  bench.RunTo(1500);
  EXPECT_EQ(bench.Take(), "");
  ASSERT_TRUE(ApplyFault(options, "silent", false, nullptr));
  bench.device->SetOptions(options);
  bench.Write("D=8\r\n", 2000);
  bench.RunTo(2500);
  EXPECT_EQ(bench.Take(), "OK\r\n");
}

struct TextCase {
  const char* text;
  bool on;
  bool valid;
  const char* described;  // all switches that differ from the defaults afterwards
};

TEST(FaultText, ParsesSwitchesAndDescribesThem) {
  const TextCase cases[] = {
      {"split=4", true, true, "split=4/30"},
      {"split=4/5", true, true, "split=4/5"},
      {"split=1", true, false, ""},
      {"split=x", true, false, ""},
      {"slow=250", true, true, "slow=250"},
      {"slow=-1", true, false, ""},
      {"refuse=", true, false, ""},
      {"refuse=CMD", true, true, "refuse=CMD"},
      {"id=maybe", true, false, ""},
      {"cut-end=0", true, true, "cut-end=0"},
      {"melt", true, false, ""},
      {"no-paired", true, true, "no-paired"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    DeviceOptions options;
    std::string error;
    EXPECT_EQ(ApplyFault(options, c.text, c.on, &error), c.valid);
    EXPECT_EQ(error.empty(), c.valid);
    std::string described;
    for (const auto& word : DescribeFaults(options)) described += word;
    EXPECT_EQ(described, c.described);
  }

  DeviceOptions options;
  for (const char* word : {"wrong-banner", "silent", "split=2/9", "double-ack", "id=off"}) {
    ASSERT_TRUE(ApplyFault(options, word, true, nullptr));
  }
  for (const char* word : {"wrong-banner", "silent", "split", "double-ack", "id"}) {
    ASSERT_TRUE(ApplyFault(options, word, false, nullptr));
  }
  EXPECT_TRUE(DescribeFaults(options).empty());
}

}  // namespace
}  // namespace setwright::sim::testing
