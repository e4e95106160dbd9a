// The bench as setwright-cli runs it: real port objects over the network transport, each
// port's session on its own PollThread, against simulated units served in-process.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "provision/bench.h"
#include "sim/rfc2217_server.h"
#include "sim/sim_device.h"

namespace setwright::testing {
namespace {

struct ServedUnit {
  explicit ServedUnit(const std::string& model, sim::DeviceOptions options = {})
      : device(sim::SimDevice::Create(model, options)), server(*device) {
    EXPECT_TRUE(server.Start());
    device->SetPower(true);
  }
  ~ServedUnit() { server.Stop(); }
  std::unique_ptr<sim::SimDevice> device;
  sim::Rfc2217Server server;
};

TEST(BenchThreads, EveryPortOnItsOwnThreadOneSlowUnitHoldsUpNoOther) {
  static int argc = 1;
  static char name[] = "provision-tests";
  static char* argv[] = {name, nullptr};
  if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);

  sim::DeviceOptions slow;
  slow.extraDelayMs = 400;  // every reply late, well within the session's time-outs
  std::vector<std::unique_ptr<ServedUnit>> units;
  for (int i = 0; i < 4; ++i) units.push_back(std::make_unique<ServedUnit>("MR-310SKB"));
  units.push_back(std::make_unique<ServedUnit>("MR-310SKB", slow));

  provision::Profile profile{"MR-310SKB", {{"B", "57600"}, {"XON", "E"}}};
  std::string error;
  provision::BenchConfig config;
  config.model = provision::CheckProfile(profile, error);
  ASSERT_NE(config.model, nullptr) << error;
  config.profile = profile;
  for (auto& unit : units) config.ports.push_back(unit->server.Url());
  config.enter = true;
  config.verify = true;
  config.waitSeconds = 60;
  provision::SystemPorts ports(nullptr);
  provision::BenchDeps deps;
  deps.ports = &ports;
  provision::Bench bench(config, deps);
  bench.Start();

  // The four quick units are done while the slow one is still at work.
  bool quickDone = false;
  for (int i = 0; i < 600 && !quickDone; ++i) {
    bench.WaitFinished(100);
    auto statuses = bench.Statuses();
    quickDone = std::all_of(statuses.begin(), statuses.end() - 1,
                            [](const auto& s) { return s.phase == provision::Phase::Ended; });
    if (quickDone) {
      EXPECT_NE(statuses.back().phase, provision::Phase::Ended);
    }
  }
  EXPECT_TRUE(quickDone);
  ASSERT_TRUE(bench.WaitFinished(60000));
  EXPECT_TRUE(bench.AllOk());
  for (const auto& r : bench.Results()) EXPECT_TRUE(r.ok) << r.port << ": " << r.reason;
  for (auto& unit : units) {
    EXPECT_EQ(unit->device->Setting("B"), "57600");
    EXPECT_EQ(unit->device->Setting("XON"), "E");
  }
  EXPECT_FALSE(bench.TakeEvents().empty());
}

}  // namespace
}  // namespace setwright::testing
