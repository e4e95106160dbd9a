// The simulator's console commands, run one after another on one device.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/sim_console.h"
#include "sim/sim_device.h"

namespace setwright::sim {
namespace {

struct Step {
  const char* command;
  const char* output;  // exact; null: only that something was said
};

TEST(SimConsole, CommandsActOnTheDevice) {
  auto device = SimDevice::Create("MR-310SKB");
  std::vector<uint32_t> pauses;
  SimConsole console(*device, [&](uint32_t ms) {
    EXPECT_FALSE(device->Powered()) << "off while it pauses";
    pauses.push_back(ms);
  });
  const Step steps[] = {
      {"", ""},
      {"on", "power on\n"},
      {"show", "B=9600\nD=8\nS=1\nP=N\nRTS=E\nXON=D\nMODE=2\nDEL=\nLF=1\nCOM=R\nCMD=@\n"},
      {"set B=300 ", "B=300\n"},
      {"set T1=5", "no setting T1 on MR-310SKB\n"},
      {"set B", "set needs KEY=VALUE\n"},
      {"pair 00:11:22:33:44:55", "paired 00:11:22:33:44:55\n"},
      {"fault", "no faults\n"},
      {"fault split=3", "split=3/30\n"},
      {"  fault   silent ", "silent\nsplit=3/30\n"},
      {"fault split off", "silent\n"},
      {"fault split maybe", "fault NAME off, or fault NAME[=VALUE]\n"},
      {"fault melt", "unknown fault melt\n"},
      {"status",
       "model MR-310SKB\npower on\nprogram mode no\npaired 00:11:22:33:44:55\nfault silent\n"},
      {"fault clear", "no faults\n"},
      {"off", "power off\n"},
      {"cycle x", "cycle needs a time in ms\n"},
      {"cycle 200", "power off, on again after 200 ms\n"},
      {"cycle", "power off, on again after 1000 ms\n"},
      {"help", nullptr},
      {"reboot", "unknown command: reboot (try help)\n"},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.command);
    const auto result = console.Execute(step.command);
    if (step.output) {
      EXPECT_EQ(result.output, step.output);
    } else {
      EXPECT_FALSE(result.output.empty());
    }
    EXPECT_FALSE(result.quit);
  }
  EXPECT_EQ(device->Setting("B"), "300");
  EXPECT_EQ(pauses, (std::vector<uint32_t>{200, 1000}));
  EXPECT_TRUE(device->Powered()) << "cycle brings the power back";
  EXPECT_TRUE(console.Execute("quit").quit);
}

TEST(SimArgs, ParsesTheCommandLine) {
  struct Case {
    std::vector<std::string> args;
    bool valid;
    const char* faults;  // the faults switched on, joined by blanks
  };
  const Case cases[] = {
      {{"--model", "KN-610K/PQ"}, true, ""},
      {{"--model", "KN-610K/PQ", "--port", "7000", "--off", "silent", "--fault", "slow=90"},
       true,
       "silent slow=90 "},
      {{}, false, ""},
      {{"--model", "KN-610K"}, false, ""},
      {{"--model"}, false, ""},
      {{"--model", "MR-310SKB", "--port", "70000"}, false, ""},
      {{"--model", "MR-310SKB", "--verbose"}, false, ""},
      {{"--model", "MR-310SKB", "split=1"}, false, ""},
      {{"--help"}, true, ""},
  };
  for (const auto& c : cases) {
    SimArgs args;
    std::string error;
    SCOPED_TRACE(c.args.empty() ? "(none)" : c.args.back());
    ASSERT_EQ(ParseSimArgs(c.args, &args, &error), c.valid) << error;
    std::string faults;
    for (const auto& fault : DescribeFaults(args.options)) faults += fault + " ";
    EXPECT_EQ(faults, c.faults);
  }

  SimArgs args;
  ASSERT_TRUE(ParseSimArgs(
      {"--model", "MR-310SKB", "--port", "7000", "--bind", "0.0.0.0", "--off", "--quit-on-eof"},
      &args, nullptr));
  EXPECT_EQ(args.model, "MR-310SKB");
  EXPECT_EQ(args.port, 7000);
  EXPECT_EQ(args.bindAddress, "0.0.0.0");
  EXPECT_TRUE(args.startOff);
  EXPECT_TRUE(args.quitOnEndOfInput);
}

}  // namespace
}  // namespace setwright::sim
