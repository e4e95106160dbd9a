// A bench of simulated units behind one console: commands name the unit, and every unit is
// told apart by its identification.
#include <gtest/gtest.h>

#include "sim/sim_console.h"
#include "sim/sim_device.h"

namespace setwright::sim {
namespace {

struct ConsoleBench {
  explicit ConsoleBench(int count) {
    for (int i = 0; i < count; ++i) {
      units.push_back(SimDevice::Create("MR-310SKB"));
      units.back()->SetUnitNumber(i + 1, count);
      pointers.push_back(units.back().get());
    }
    console = std::make_unique<BenchConsole>(pointers, [this](uint32_t ms) { paused += ms; });
  }
  std::string Run(const std::string& line) { return console->Execute(line).output; }

  std::vector<std::unique_ptr<SimDevice>> units;
  std::vector<SimDevice*> pointers;
  std::unique_ptr<BenchConsole> console;
  uint32_t paused = 0;
};

TEST(BenchConsole, CommandsNameOneUnitOrAll) {
  ConsoleBench bench(3);
  EXPECT_EQ(bench.Run("on 2"), "#2 power on\n");
  EXPECT_FALSE(bench.units[0]->Powered());
  EXPECT_TRUE(bench.units[1]->Powered());
  EXPECT_EQ(bench.Run("cycle all 200"), "power off, on again after 200 ms (3 devices)\n");
  EXPECT_EQ(bench.paused, 200u);  // all at once, not one after another
  for (auto& unit : bench.units) EXPECT_TRUE(unit->Powered());
  EXPECT_EQ(bench.Run("cycle 3"), "#3 power off, on again after 1000 ms\n");
  EXPECT_EQ(bench.Run("set 1 B=19200"), "#1 B=19200\n");
  EXPECT_EQ(bench.units[0]->Setting("B"), "19200");
  EXPECT_EQ(bench.units[1]->Setting("B"), "9600");
  EXPECT_EQ(bench.Run("off all"), "#1 power off\n#2 power off\n#3 power off\n");

  for (const char* wrong : {"on", "on 0", "on 4", "on x"})
    EXPECT_EQ(bench.Run(wrong), "on needs the device first: on 1 to 3, or on all\n") << wrong;
  EXPECT_EQ(bench.Run("show"), "show needs the device first: show 1 to 3, or show all\n");
}

TEST(BenchConsole, EveryUnitHasItsOwnIdentificationAndANewUnitTheNextOne) {
  ConsoleBench bench(17);
  EXPECT_EQ(bench.units[0]->Identification(), "(00:1A:7D:31:00:01)");
  EXPECT_EQ(bench.units[16]->Identification(), "(00:1A:7D:31:00:11)");
  bench.Run("set 2 B=19200");
  bench.Run("on 2");
  EXPECT_EQ(bench.Run("new 2"), "#2 new unit (00:1A:7D:31:00:13), power off\n");
  EXPECT_FALSE(bench.units[1]->Powered());
  EXPECT_EQ(bench.units[1]->Setting("B"), "9600");  // a fresh unit holds its factory settings
}

TEST(BenchConsole, OneUnitKeepsThePlainConsole) {
  ConsoleBench bench(1);
  EXPECT_EQ(bench.Run("on"), "power on\n");
  EXPECT_EQ(bench.Run("new"), "new unit (00:1A:7D:31:00:02), power off\n");
}

}  // namespace
}  // namespace setwright::sim
