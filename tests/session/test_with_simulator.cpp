// Each model's page engine against the simulated device of that model, on the in-process
// port with the test's clock: power restart, read-back, one change, "Save and Reset", and
// the device holding the new value after its restart. Then the same with a device that
// sends its replies in pieces.
#include <gtest/gtest.h>

#include <functional>

#include "sim/sim_device.h"
#include "sim/sim_port.h"
#include "support_session.h"

namespace setwright::testing {
namespace {

struct SimRig {
  SimRig(const std::string& modelName, sim::DeviceOptions options)
      : model(*FindModel(modelName)),
        device(sim::SimDevice::Create(modelName, options)),
        port(*device, "SIM1", clock.now) {
    lister.Set({"SIM1"});
    bool serialToKeyboard = model.family == Family::SerialToKeyboard;
    session =
        std::make_unique<Session>(model, port, serialToKeyboard ? &unused : nullptr, lister, clock);
    session->SetUi(&ui);
    session->SetManualTicks(true);
    session->SetPortName("SIM1");
  }

  // Runs ticks until `done` holds or the tick budget is spent.
  bool TickUntil(const std::function<bool()>& done, int budget = 200) {
    for (int i = 0; i < budget; ++i) {
      if (done()) return true;
      clock.now += 50;
      port.Advance(clock.now);
      session->Tick();
      clock.now += static_cast<uint32_t>(session->TakeExtraPauseMs());
    }
    return done();
  }

  FakeClock clock;
  const ModelTable& model;
  std::unique_ptr<sim::SimDevice> device;
  sim::SimPort port;
  FakePort unused{"COM9"};
  FakeLister lister;
  RecordingUi ui;
  std::unique_ptr<Session> session;
};

struct Case {
  std::string model;
  std::function<void(FormState&)> edit;
  std::string key, value;
};

const Case kCases[] = {
    {"MR-310SKB", [](FormState& f) { f.selected["B"] = 6; }, "B", "19200"},
    {"ZWE-710SKB", [](FormState& f) { f.selected["MODE"] = 1; }, "MODE", "3"},
    {"ZWE-720W/KB", [](FormState& f) { f.promptText = "XY"; }, "CMD", "XY"},
    {"MR-320KBS", [](FormState& f) { f.selected["B"] = 6; }, "B", "19200"},
    {"TV-520KBS", [](FormState& f) { f.intervalText = "25"; }, "T1", "25"},
    {"KN-610K/PQ", [](FormState& f) { f.selected["P"] = 1; }, "P", "E"},
};

// The text the page shows for a key.
std::string Shown(const ModelTable& model, FormState form, const std::string& key) {
  if (key == "CMD") return form.promptText;
  if (key == "T1") return form.intervalText;
  int index = form.selected[key];
  return index < 0 ? "" : model.FindSetting(key)->values[index];
}

void RunRoad(const Case& c, const sim::DeviceOptions& options) {
  SimRig rig(c.model, options);
  rig.device->SetPower(true, rig.clock.now);
  rig.session->Open();
  ASSERT_TRUE(
      rig.TickUntil([&] { return rig.ui.LastReport() != "blue Waiting for device connected!"; }));
  EXPECT_EQ(rig.ui.LastReport(), "blue Waiting for device power restart!");

  rig.device->PowerCycle(300, rig.clock.now);
  ASSERT_TRUE(rig.TickUntil([&] { return rig.session->InProgramMode(); })) << rig.ui.LastReport();
  EXPECT_EQ(rig.ui.LastReport(), "green Enter PROGRAM MODE success!");
  EXPECT_NE(rig.device->Setting(c.key), c.value);

  rig.session->EditForm(c.edit);
  rig.clock.now += 100;
  rig.session->SaveAndReset();
  ASSERT_TRUE(rig.TickUntil([&] { return !rig.session->AwaitingReply(); }));
  EXPECT_EQ(rig.ui.LastReport(), "green Save PROGRAM MODE and reset success!");
  EXPECT_EQ(rig.device->Setting(c.key), c.value);

  // The device restarts with its new settings and is read again after the next power-up.
  rig.TickUntil([&] { return rig.device->Powered(); });
  rig.clock.now += 100;
  rig.session->EnterProgMode();
  ASSERT_TRUE(rig.TickUntil([&] { return rig.session->InProgramMode(); })) << rig.ui.LastReport();
  EXPECT_EQ(Shown(rig.model, rig.session->Form(), c.key), c.value);
  rig.session->Close();
}

TEST(WithSimulator, PowerRestartReadChangeSave) {
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.model);
    RunRoad(c, {});
  }
}

TEST(WithSimulator, RepliesInPieces) {
  sim::DeviceOptions options;
  options.splitPieces = 3;
  options.splitGapMs = 80;  // longer than the read interval: three read events per reply
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.model);
    RunRoad(c, options);
  }
}

}  // namespace
}  // namespace setwright::testing
