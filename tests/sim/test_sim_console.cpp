// The simulator's console commands, run one after another on one device.
#include <gtest/gtest.h>

#include <string>

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
  SimConsole console(*device);
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
      {"cycle 200", "power off, on again in 200 ms\n"},
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
  EXPECT_FALSE(device->Powered());
  device->Advance(200);
  EXPECT_TRUE(device->Powered()) << "cycle brings the power back";
  EXPECT_TRUE(console.Execute("quit").quit);
}

}  // namespace
}  // namespace setwright::sim
