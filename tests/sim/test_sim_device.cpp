// The six simulated models: entry, dump layouts, setting lines, END, DEFAULT, ESC and power.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "support_sim.h"

namespace setwright::sim::testing {
namespace {

struct DumpCase {
  const char* model;
  const char* dump;
};

// Factory settings, as each model dumps them on entry.
const DumpCase kDumps[] = {
    {"MR-310SKB",
     "\r\n*** PROGRAM MODE ***\r\nMR-310SKB Serial to Keyboard Ver 3.02\r\n(00:1A:7D:31:00:01)\r\n"
     "B=9600\r\n[B] 300-230400\r\nD=8\r\nS=1\r\nP=N\r\nRTS=E\r\nXON=D\r\nMODE=2\r\nDEL=\r\nLF=1\r\n"
     "[DEL] 01-7F\r\nCOM=R\r\nCMD=@\r\n\r\n ?\r\n"},
    {"ZWE-710SKB",
     "\r\n*** PROGRAM MODE ***\r\nZWE-710SKB Serial to Keyboard Ver 1.12\r\n"
     "B=9600\r\n[B] 300-230400\r\nD=8\r\nS=1\r\nP=N\r\nRTS=E\r\nXON=D\r\nMODE=2\r\nDEL=\r\nLF=1\r\n"
     "[DEL] 01-7F\r\nCOM=R\r\nCMD=@\r\n"},
    {"ZWE-720W/KB",
     "\r\n*** PROGRAM MODE ***\r\nZWE-720W/KB Wireless Serial to Keyboard Ver 1.40\r\n"
     "(00:1A:7D:72:00:01)\r\nB=9600\r\n[B] 300-230400\r\nD=8\r\nS=1\r\nP=N\r\nCMD=@\r\n"},
    {"MR-320KBS",
     "\r\n* * * PROGRAM MODE * * *\r\nMR-320KBS Keyboard to Serial Ver 2.10\r\n"
     "(00:1A:7D:32:00:01)\r\nKBS FW 2.10\r\nB=9600\r\n[B] 300-230400\r\n"
     "D=8\r\nP=N\r\nS=1\r\nR=D\r\nXON=D\r\nMODE=2\r\nLF=1\r\nT1=10\r\n"},
    {"TV-520KBS",
     "\r\n* * * PROGRAM MODE * * *\r\nTV-520KBS Keyboard to Serial Ver 1.30\r\nKBS FW 1.30\r\n"
     "B=9600\r\nD=8\r\nP=N\r\nS=1\r\nR=D\r\nXON=D\r\nMODE=2\r\nLF=1\r\nT1=10\r\n"},
    {"KN-610K/PQ",
     "\r\n* * * PROGRAM MODE * * *\r\nKN-610K/PQ Keyboard to Serial Ver 1.05\r\nPQ FW 1.05\r\n"
     "B=9600\r\nD=8\r\nP=N\r\nS=1\r\nR=D\r\nXON=D\r\nMODE=2\r\nLF=1\r\nT1=10\r\n"},
};

class DumpLayout : public ::testing::TestWithParam<DumpCase> {};

TEST_P(DumpLayout, EntryAnswersWithTheModelsDumpInOneReport) {
  Bench bench(GetParam().model);
  bench.PowerOnAndOpen(0);
  const bool serialToKeyboard = bench.device->family() == Family::SerialToKeyboard;
  bench.Write(serialToKeyboard ? "\r\n@PROG\r\n" : "\r\n", 100);
  bench.RunTo(1000);
  ASSERT_EQ(bench.reports.size(), 1u);
  EXPECT_EQ(bench.Take(), GetParam().dump);
  EXPECT_TRUE(bench.device->InProgramMode());

  // In program mode an empty line repeats the dump, and so does the whole command.
  bench.Write("\r\n", 2000);
  bench.RunTo(3000);
  EXPECT_EQ(bench.Take(), GetParam().dump);
  if (serialToKeyboard) {
    bench.Write("\r\n@PROG\r\n", 4000);
    bench.RunTo(5000);
    EXPECT_EQ(bench.Take(), GetParam().dump);
  }
}

INSTANTIATE_TEST_SUITE_P(AllModels, DumpLayout, ::testing::ValuesIn(kDumps));

TEST(PairedHosts, SectionListsUpToTwoHostsAndDefaultForgetsThem) {
  Bench bench("MR-310SKB");
  bench.PowerOnAndOpen(0);
  bench.device->AddPairedHost("00:11:22:33:44:55");
  bench.Enter(100);
  bench.Write("\r\n", 1000);
  bench.RunTo(1500);
  EXPECT_TRUE(bench.Take().ends_with("CMD=@\r\n\r\n1:00:11:22:33:44:55\r\n2: ?\r\n"));

  bench.device->AddPairedHost("66:77:88:99:AA:BB");
  bench.Write("\r\n", 2000);
  bench.RunTo(2500);
  EXPECT_TRUE(bench.Take().ends_with("\r\n1:00:11:22:33:44:55\r\n2:66:77:88:99:AA:BB\r\n"));

  bench.Write("DEFAULT\r\n", 3000);
  bench.RunTo(3500);
  EXPECT_EQ(bench.Take(), "\r\n*** DEFAULT ***\r\n");
  EXPECT_TRUE(bench.device->PairedHosts().empty());
}

struct EntryCase {
  const char* name;
  const char* model;
  const char* bytes;
  uint32_t afterPowerOnMs;
  bool enters;
};

const EntryCase kEntries[] = {
    {"EmptyLineEarlyEnters", "MR-320KBS", "\r\n", 100, true},
    {"EmptyLineLateIsIgnored", "TV-520KBS", "\r\n", 2000, false},
    {"CarriageReturnAloneIsNoLine", "KN-610K/PQ", "\r", 100, false},
    {"ProgramCommandAnyTime", "MR-310SKB", "\r\n@PROG\r\n", 60000, true},
    {"ProgramCommandOtherSpelling", "ZWE-710SKB", "\r\n@prog\r\n", 100, false},
    {"EmptyLineIsNoProgramCommand", "ZWE-720W/KB", "\r\n", 100, false},
    {"ProgramCommandWithoutLeadIn", "ZWE-720W/KB", "@PROG\r\n", 100, true},
};

class Entry : public ::testing::TestWithParam<EntryCase> {};

TEST_P(Entry, EntersOnlyWhenTheModelTakesTheCommand) {
  const EntryCase& c = GetParam();
  Bench bench(c.model);
  bench.PowerOnAndOpen(1000);
  bench.Write(c.bytes, 1000 + c.afterPowerOnMs);
  bench.RunTo(1000 + c.afterPowerOnMs + 1000);
  EXPECT_EQ(bench.device->InProgramMode(), c.enters);
  EXPECT_EQ(!bench.Take().empty(), c.enters);
}

INSTANTIATE_TEST_SUITE_P(Rules, Entry, ::testing::ValuesIn(kEntries),
                         [](const auto& info) { return std::string(info.param.name); });

struct LineCase {
  const char* name;
  const char* model;
  const char* line;  // without its CR LF
  bool accepted;
  const char* key;  // stored value after END; null when nothing changes
  const char* stored;
};

const LineCase kLines[] = {
    {"Baud", "MR-310SKB", "B=19200", true, "B", "19200"},
    {"BaudNotListed", "MR-310SKB", "B=19201", false, nullptr, nullptr},
    {"BaudLeadingZero", "ZWE-710SKB", "B=09600", false, nullptr, nullptr},
    {"BaudTrailingBlank", "ZWE-710SKB", "B=9600 ", false, nullptr, nullptr},
    {"DelimiterLowerCase", "MR-310SKB", "DEL=1b", true, "DEL", "1B"},
    {"DelimiterNone", "MR-310SKB", "DEL=00", true, "DEL", ""},
    {"DelimiterAbove7F", "ZWE-710SKB", "DEL=80", false, nullptr, nullptr},
    {"DelimiterOneDigit", "ZWE-710SKB", "DEL=A", false, nullptr, nullptr},
    {"DelimiterLineFeedWithMask", "MR-310SKB", "LF=2", true, "LF", "2"},
    {"Prompt", "ZWE-720W/KB", "CMD=AB", true, "CMD", "AB"},
    {"PromptFiveCharacters", "ZWE-720W/KB", "CMD=ABCDE", false, nullptr, nullptr},
    {"PromptEmpty", "MR-310SKB", "CMD=", false, nullptr, nullptr},
    {"KeyOfAnotherModel", "ZWE-720W/KB", "RTS=E", false, nullptr, nullptr},
    {"OutputChannel", "ZWE-710SKB", "COM=U", true, "COM", "U"},
    {"UnknownLine", "MR-310SKB", "HELLO", false, nullptr, nullptr},
    {"FamilyRts", "MR-320KBS", "R=E", true, "R", "E"},
    {"FamilyRtsSerialSpelling", "MR-320KBS", "RTS=E", false, nullptr, nullptr},
    {"ModeOneOnFamily", "TV-520KBS", "MODE=1", true, "MODE", "1"},
    {"ModeOneOnSerialToKeyboard", "MR-310SKB", "MODE=1", false, nullptr, nullptr},
    {"BaudOnlyWideListHas", "TV-520KBS", "B=300", false, nullptr, nullptr},
    {"BaudOnlyKnHasLow", "KN-610K/PQ", "B=1200", true, "B", "1200"},
    {"IntervalLowest", "MR-320KBS", "T1=10", true, "T1", "10"},
    {"IntervalBelow", "MR-320KBS", "T1=9", false, nullptr, nullptr},
    {"IntervalHighest", "MR-320KBS", "T1=300", true, "T1", "300"},
    {"IntervalAboveShortRange", "KN-610K/PQ", "T1=100", false, nullptr, nullptr},
    {"IntervalOne", "TV-520KBS", "T1=1", true, "T1", "1"},
    {"IntervalZero", "TV-520KBS", "T1=0", false, nullptr, nullptr},
    {"IntervalLeadingZero", "KN-610K/PQ", "T1=05", true, "T1", "5"},
    {"IntervalNotANumber", "KN-610K/PQ", "T1=5x", false, nullptr, nullptr},
};

class SettingLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(SettingLine, IsAnsweredAndStoredByEnd) {
  const LineCase& c = GetParam();
  Bench bench(c.model);
  bench.PowerOnAndOpen(0);
  bench.Enter(100);
  const auto before = bench.device->Settings();
  const bool serialToKeyboard = bench.device->family() == Family::SerialToKeyboard;

  bench.Write(std::string(c.line) + "\r\n", 1000);
  bench.RunTo(1500);
  const char* ack = serialToKeyboard ? "OK\r\n" : "\r\n";
  EXPECT_EQ(bench.Take(), c.accepted ? ack : "ERR\r\n");
  EXPECT_EQ(bench.device->Settings(), before) << "stored before END";

  bench.Write("END\r\n", 2000);
  bench.RunTo(2100);
  auto expected = before;
  for (auto& [key, value] : expected) {
    if (c.key && key == c.key) value = c.stored;
  }
  EXPECT_EQ(bench.device->Settings(), expected);
}

INSTANTIATE_TEST_SUITE_P(Values, SettingLine, ::testing::ValuesIn(kLines),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SettingLine, LineFeedDelimiterAndMaskTwoAreNeverHeldTogether) {
  Bench bench("MR-310SKB");
  bench.PowerOnAndOpen(0);
  bench.Enter(100);
  bench.Write("DEL=0A\r\n", 1000);
  bench.Write("LF=2\r\n", 1100);
  bench.Write("LF=1\r\nDEL=0D\r\nLF=2\r\n", 1200);
  bench.RunTo(1500);
  EXPECT_EQ(bench.Take(), "OK\r\nERR\r\nOK\r\nOK\r\nOK\r\n");
}

struct EndCase {
  const char* model;
  const char* banner;
};

class EndOfProgramMode : public ::testing::TestWithParam<EndCase> {};

TEST_P(EndOfProgramMode, AnswersStoresAndRestarts) {
  Bench bench(GetParam().model);
  bench.PowerOnAndOpen(0);
  bench.Enter(100);
  bench.Write("END\r\n", 1000);
  bench.RunTo(1015);
  EXPECT_EQ(bench.Take(), "");  // still within the quiet interval
  bench.RunTo(1100);
  EXPECT_EQ(bench.Take(), GetParam().banner);
  EXPECT_FALSE(bench.device->InProgramMode());

  uint32_t status = 0xFFFF;
  bench.port->getModemStatus(status);
  EXPECT_EQ(status & kModemCts, 0u) << "restarting";
  bench.RunTo(1700);
  bench.port->getModemStatus(status);
  EXPECT_EQ(status & kModemCts, kModemCts) << "back up";

  // After the restart the unit answers only its entry again.
  bench.Write("B=9600\r\n", 1800);
  bench.RunTo(2000);
  EXPECT_EQ(bench.Take(), "");
}

INSTANTIATE_TEST_SUITE_P(Families, EndOfProgramMode,
                         ::testing::Values(EndCase{"MR-310SKB", "*** PROGRAM END ***\r\n"},
                                           EndCase{"ZWE-720W/KB", "*** PROGRAM END ***\r\n"},
                                           EndCase{"TV-520KBS",
                                                   "\r\n* * * PROGRAM MODE END * * *\r\n"}));

TEST(Default, StoresTheFactorySettingsAtOnce) {
  for (const char* model : {"MR-310SKB", "KN-610K/PQ"}) {
    SCOPED_TRACE(model);
    Bench bench(model);
    const auto factory = bench.device->Settings();
    bench.device->SetSetting("B", "19200");
    bench.device->SetSetting("D", "7");
    bench.PowerOnAndOpen(0);
    bench.Enter(100);
    bench.Write("DEFAULT\r\n", 1000);
    bench.RunTo(1500);
    EXPECT_EQ(bench.Take(), bench.device->family() == Family::SerialToKeyboard
                                ? "\r\n*** DEFAULT ***\r\n"
                                : "\r\n");
    EXPECT_EQ(bench.device->Settings(), factory);
    EXPECT_TRUE(bench.device->InProgramMode());
  }
}

TEST(Escape, LeavesProgramModeWithoutStoring) {
  for (const char* model : {"ZWE-710SKB", "MR-320KBS"}) {
    SCOPED_TRACE(model);
    Bench bench(model);
    bench.PowerOnAndOpen(0);
    bench.Enter(100);
    bench.Write("D=7\r\n", 1000);
    bench.Write("\x1b", 1100);
    bench.RunTo(1500);
    bench.Take();
    EXPECT_FALSE(bench.device->InProgramMode());
    EXPECT_EQ(bench.device->Setting("D"), "8");
    bench.Write("D=7\r\nEND\r\n", 2000);
    bench.RunTo(3000);
    EXPECT_EQ(bench.Take(), "");
    EXPECT_EQ(bench.device->Setting("D"), "8");
  }
}

TEST(Power, ModemLinesFollowPowerAndPowerOffLosesRepliesAndChanges) {
  Bench bench("MR-320KBS");
  bench.PowerOnAndOpen(0);
  uint32_t status = 0;
  bench.port->getModemStatus(status);
  EXPECT_EQ(status, kModemCts | kModemDsr);

  bench.Enter(100);
  bench.Write("D=7\r\n", 1000);  // acknowledged, not stored
  bench.Write("\r\n", 1100);     // the dump is on its way when the power goes
  bench.RunTo(1105);
  bench.device->SetPower(false, 1105);
  bench.RunTo(2000);
  bench.port->getModemStatus(status);
  EXPECT_EQ(status, 0u);
  EXPECT_EQ(bench.Take(), "\r\n");
  EXPECT_EQ(bench.device->Setting("D"), "8");

  bench.device->PowerCycle(300, 2000);
  bench.RunTo(2299);
  EXPECT_FALSE(bench.device->Powered());
  bench.RunTo(2300);
  EXPECT_TRUE(bench.device->Powered());
  bench.Write("\r\n", 2400);  // within the window of this power-up
  bench.RunTo(3000);
  EXPECT_TRUE(bench.device->InProgramMode());
}

TEST(Power, SwitchWithoutATimeCountsFromTheNextTimeGiven) {
  Bench bench("TV-520KBS");
  bench.PowerOnAndOpen(0);
  bench.device->SetPower(false);
  bench.device->SetPower(true);  // the device last heard of time 0
  bench.Write("\r\n", 60000);
  bench.RunTo(61000);
  EXPECT_TRUE(bench.device->InProgramMode());
}

TEST(LineSpeed, DeviceHearsNothingAtAnotherSpeed) {
  Bench bench("MR-310SKB");
  bench.PowerOnAndOpen(0);
  bench.port->setBaudRate(19200);
  bench.Write("\r\n@PROG\r\n", 100);
  bench.RunTo(1000);
  EXPECT_EQ(bench.Take(), "");
  bench.port->setBaudRate(9600);
  bench.Write("\r\n@PROG\r\n", 1100);
  bench.RunTo(2000);
  EXPECT_FALSE(bench.Take().empty());
}

TEST(LongLine, IsRefusedWhole) {
  Bench bench("ZWE-710SKB");
  bench.PowerOnAndOpen(0);
  bench.Enter(100);
  bench.Write("CMD=" + std::string(300, 'A') + "\r\n", 1000);
  bench.RunTo(1500);
  EXPECT_EQ(bench.Take(), "ERR\r\n");
  EXPECT_EQ(bench.device->Setting("CMD"), "@");
}

// The simulator serves a device from a network thread while its console switches power and
// faults; run under ThreadSanitizer this must stay quiet.
TEST(Threads, LinkConsoleAndTimeMayCallAtOnce) {
  class CountingLink : public IDeviceLink {
   public:
    void Send(const std::string& bytes) override {
      std::lock_guard lock(mu);
      received += bytes.size();
    }
    void SetModemLines(uint32_t) override {
      std::lock_guard lock(mu);
      ++lineChanges;
    }
    std::mutex mu;
    size_t received = 0;
    int lineChanges = 0;
  } link;
  auto device = SimDevice::Create("MR-320KBS");
  device->Attach(&link);
  device->SetPower(true, 0);
  std::atomic<uint32_t> now{0};
  std::thread wire([&] {
    for (int i = 0; i < 2000; ++i) {
      const uint32_t t = now.fetch_add(7) + 7;
      device->OnHostBytes(i % 3 ? "P=E\r\n" : "\r\n", t);
      device->Advance(t + 20);
    }
  });
  std::thread console([&] {
    for (int i = 0; i < 500; ++i) {
      device->SetPower(false);
      device->SetPower(true);
      DeviceOptions options = device->Options();
      options.doubleAck = i % 2;
      device->SetOptions(options);
      device->Settings();
    }
  });
  wire.join();
  console.join();
  device->Attach(nullptr);
  std::lock_guard lock(link.mu);
  EXPECT_GT(link.lineChanges, 0);
}

}  // namespace
}  // namespace setwright::sim::testing
