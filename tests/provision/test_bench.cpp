// The bench against simulated units, in-process: many ports at once, verification, reports,
// and the station recognising units.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>

#include "support_bench.h"

namespace setwright::testing {
namespace {

using provision::Phase;
using provision::UnitResult;
using provision::Verify;

std::vector<std::string> Lines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

const UnitResult* ResultOf(const std::vector<UnitResult>& results, const std::string& port) {
  for (const auto& r : results)
    if (r.port == port) return &r;
  return nullptr;
}

TEST(Bench, GoodSilentAndOtherModelEachGetTheirOwnOutcome) {
  QTemporaryDir dir;
  const std::string reportPath = dir.filePath("units.jsonl").toStdString();
  provision::ReportFile report(reportPath);
  ASSERT_TRUE(report.Ok());

  SimBench rig;
  sim::DeviceOptions silent;
  silent.silent = true;
  rig.Add("GOOD", "MR-310SKB").SetPower(true, rig.clock.now);
  rig.Add("SILENT", "MR-310SKB", silent).SetPower(true, rig.clock.now);
  rig.Add("OTHER", "TV-520KBS").SetPower(true, rig.clock.now);
  auto config = Config("MR-310SKB", {{"B", "19200"}, {"CMD", "#"}}, {"GOOD", "SILENT", "OTHER"});
  config.enter = true;
  config.verify = true;
  config.waitSeconds = 10;
  provision::Bench& bench = rig.Start(config, &report);

  ASSERT_TRUE(rig.TickUntil([&] { return bench.Finished(); }));
  EXPECT_FALSE(bench.AllOk());
  auto results = bench.Results();
  ASSERT_EQ(results.size(), 3u);
  const UnitResult* good = ResultOf(results, "GOOD");
  const UnitResult* quiet = ResultOf(results, "SILENT");
  const UnitResult* other = ResultOf(results, "OTHER");
  ASSERT_TRUE(good && quiet && other);
  EXPECT_TRUE(good->ok) << good->reason;
  EXPECT_EQ(good->verify, Verify::Ok);
  EXPECT_EQ(good->identification, "00:1A:7D:31:00:01");
  ASSERT_EQ(good->changed.size(), 2u);
  EXPECT_EQ(good->changed[0].key, "B");
  EXPECT_EQ(good->changed[0].oldValue, "9600");
  EXPECT_EQ(good->changed[0].newValue, "19200");
  EXPECT_EQ(rig.devices["GOOD"]->Setting("B"), "19200");
  EXPECT_EQ(rig.devices["GOOD"]->Setting("CMD"), "#");
  EXPECT_FALSE(quiet->ok);
  EXPECT_EQ(quiet->reason, "PROGRAM MODE timeout! Please restart device power!");
  EXPECT_FALSE(other->ok);
  EXPECT_EQ(other->reason, "another model answered: TV-520KBS");
  EXPECT_EQ(rig.devices["OTHER"]->Setting("B"), "9600");
  // The silent unit's wait did not hold up the good one.
  EXPECT_LT(good->seconds, 5.0);

  auto lines = Lines(reportPath);
  ASSERT_EQ(lines.size(), 3u);
  int ok = 0, failed = 0;
  for (const auto& line : lines) {
    ok += line.find("\"outcome\": \"ok\"") != std::string::npos;
    failed += line.find("\"outcome\": \"failed\"") != std::string::npos;
  }
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(failed, 2);
  const std::string& goodLine =
      lines[std::find_if(lines.begin(), lines.end(),
                         [](const std::string& l) { return l.find("\"GOOD\"") != l.npos; }) -
            lines.begin()];
  EXPECT_NE(goodLine.find("{\"key\": \"B\", \"old\": \"9600\", \"new\": \"19200\"}"),
            std::string::npos)
      << goodLine;
  EXPECT_NE(goodLine.find("\"verify\": \"ok\""), std::string::npos);
}

// A unit that acknowledges a setting and does not keep it is caught only by reading back; one
// that refuses the line fails while writing.
TEST(Bench, VerifyNamesTheKeyTheUnitDidNotStore) {
  struct Case {
    const char* model;
    const char* fault;
    provision::KeyValues profile;
    const char* reason;
    Verify verify;
  } cases[] = {
      {"MR-310SKB",
       "forget=B",
       {{"B", "19200"}, {"P", "E"}},
       "verify: B is 9600, the profile has 19200",
       Verify::Failed},
      {"MR-320KBS",
       "forget=T1",
       {{"T1", "120"}},
       "verify: T1 is 10, the profile has 120",
       Verify::Failed},
      {"MR-310SKB",
       "refuse=P",
       {{"B", "19200"}, {"P", "E"}},
       "Set command error!",
       Verify::NotAsked},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.model) + " " + c.fault);
    SimBench rig;
    sim::DeviceOptions options;
    std::string error;
    ASSERT_TRUE(sim::ApplyFault(options, c.fault, true, &error)) << error;
    sim::SimDevice& unit = rig.Add("SIM1", c.model, options);
    auto config = Config(c.model, c.profile, {"SIM1"});
    config.verify = true;
    provision::Bench& bench = rig.Start(config);
    rig.Ticks(3);
    unit.SetPower(true, rig.clock.now);  // switched on: the session enters by itself
    ASSERT_TRUE(rig.TickUntil([&] { return bench.Finished(); }));
    auto results = bench.Results();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_FALSE(results[0].ok);
    EXPECT_EQ(results[0].reason, c.reason);
    EXPECT_EQ(results[0].verify, c.verify);
    if (c.verify == Verify::Failed) {
      ASSERT_EQ(results[0].differences.size(), 1u);
      EXPECT_EQ(results[0].differences[0].key, c.profile[0].first);
    }
  }
}

// A profile value of a key the model only shows (ZWE-720W/KB writes only its prompt) cannot
// be put on a unit that holds another value.
TEST(Bench, ShownOnlyKeyThatDiffersFailsTheUnitAndWritesNothing) {
  SimBench rig;
  sim::SimDevice& unit = rig.Add("SIM1", "ZWE-720W/KB");
  unit.SetPower(true, rig.clock.now);
  auto config = Config("ZWE-720W/KB", {{"B", "19200"}, {"CMD", "XY"}}, {"SIM1"});
  config.enter = true;
  provision::Bench& bench = rig.Start(config);
  ASSERT_TRUE(rig.TickUntil([&] { return bench.Finished(); }));
  auto results = bench.Results();
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].reason, "B=19200 can not be written on ZWE-720W/KB (the unit holds 9600)");
  EXPECT_EQ(unit.Setting("CMD"), "@");
}

// Station: three units switched on one after another on one port, each provisioned once; the
// restart a unit makes after its save and a unit left switched on are not new units.
TEST(Station, ProvisionsUnitAfterUnitAndNoUnitTwice) {
  for (bool verify : {false, true}) {
    SCOPED_TRACE(verify ? "with verify" : "without verify");
    SimBench rig;
    sim::SimDevice& unit = rig.Add("SIM1", "MR-310SKB");
    auto config = Config("MR-310SKB", {{"B", "38400"}, {"MODE", "3"}}, {"SIM1"});
    config.station = true;
    config.verify = verify;
    provision::Bench& bench = rig.Start(config);
    rig.Ticks(5);

    std::vector<std::string> seen;
    for (int n = 1; n <= 3; ++n) {
      if (n > 1) unit.ReplaceUnit();
      rig.Ticks(3);
      unit.SetPower(true, rig.clock.now);
      ASSERT_TRUE(rig.TickUntil([&] { return bench.Results().size() == size_t(n); }));
      const UnitResult r = bench.Results().back();
      EXPECT_TRUE(r.ok) << r.reason;
      EXPECT_EQ(r.number, n);
      EXPECT_EQ(r.verify, verify ? Verify::Ok : Verify::NotAsked);
      EXPECT_EQ(unit.Setting("B"), "38400");
      seen.push_back(r.identification);
      // Left switched on, through its own restart and long after: still one result.
      rig.Ticks(600);
      EXPECT_EQ(bench.Results().size(), size_t(n));
      EXPECT_FALSE(unit.InProgramMode());
      EXPECT_EQ(bench.Statuses()[0].phase, Phase::WaitingPower);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"00:1A:7D:31:00:01", "00:1A:7D:31:00:02",
                                              "00:1A:7D:31:00:03"}));

    // The same unit switched off and on again is provisioned again (a second attempt).
    unit.PowerCycle(300, rig.clock.now);
    ASSERT_TRUE(rig.TickUntil([&] { return bench.Results().size() == 4u; }));
    EXPECT_EQ(bench.Results().back().identification, "00:1A:7D:31:00:03");

    bench.RequestStop();
    ASSERT_TRUE(rig.TickUntil([&] { return bench.Finished(); }, 5));
    EXPECT_EQ(bench.OkCount(), 4);
    EXPECT_EQ(bench.FailedCount(), 0);
    EXPECT_TRUE(bench.AllOk());
  }
}

// --port auto: a serial-to-keyboard unit is taken when it brings up its own USB port, and
// the same unit left plugged in is not taken again.
TEST(Station, AutoPortTakesEachUnitThatBringsUpItsPort) {
  SimBench rig;
  sim::SimDevice& unit = rig.Add("auto", "ZWE-710SKB");
  rig.machinePorts = {"/dev/ttyS0"};
  auto config = Config("ZWE-710SKB", {{"P", "O"}}, {"auto"});
  config.station = true;
  config.verify = true;
  provision::Bench& bench = rig.Start(config);
  rig.Ticks(5);
  EXPECT_EQ(bench.Statuses()[0].note, "");  // the empty selected port is no failure to show
  for (int n = 1; n <= 2; ++n) {
    if (n > 1) unit.ReplaceUnit();
    unit.SetPower(true, rig.clock.now);
    rig.lister->Set({"/dev/ttyS0", "/dev/ttyACM0"});  // the unit's port comes up
    ASSERT_TRUE(rig.TickUntil([&] { return bench.Results().size() == size_t(n); }));
    EXPECT_TRUE(bench.Results().back().ok) << bench.Results().back().reason;
    EXPECT_EQ(unit.Setting("P"), "O");
    rig.Ticks(300);
    EXPECT_EQ(bench.Results().size(), size_t(n));
    unit.SetPower(false, rig.clock.now);  // unplugged
    rig.lister->Set({"/dev/ttyS0"});
    rig.Ticks(5);
  }
  bench.RequestStop();
  ASSERT_TRUE(rig.TickUntil([&] { return bench.Finished(); }, 5));
  EXPECT_EQ(bench.OkCount(), 2);
}

// Asked to stop while a unit is being written, the station finishes that unit first, and the
// unit is left out of program mode.
TEST(Station, StopFinishesTheUnitInProgress) {
  SimBench rig;
  sim::SimDevice& unit = rig.Add("SIM1", "MR-320KBS");
  auto config = Config("MR-320KBS", {{"B", "19200"}, {"T1", "50"}}, {"SIM1"});
  config.station = true;
  provision::Bench& bench = rig.Start(config);
  rig.Ticks(3);
  unit.SetPower(true, rig.clock.now);
  ASSERT_TRUE(rig.TickUntil([&] { return bench.Statuses()[0].phase == Phase::Writing; }));
  bench.RequestStop();
  ASSERT_TRUE(rig.TickUntil([&] { return bench.Finished(); }));
  auto results = bench.Results();
  ASSERT_EQ(results.size(), 1u);
  EXPECT_TRUE(results[0].ok) << results[0].reason;
  EXPECT_EQ(unit.Setting("T1"), "50");
  rig.Ticks(20);
  EXPECT_FALSE(unit.InProgramMode());
}

// A second request ends at once: the unit in program mode gets ESC and counts as failed.
TEST(Station, SecondStopEndsAtOnceAndLeavesProgramMode) {
  SimBench rig;
  sim::DeviceOptions slow;
  slow.extraDelayMs = 1000;
  sim::SimDevice& unit = rig.Add("SIM1", "MR-310SKB", slow);
  auto config = Config("MR-310SKB", {{"B", "19200"}}, {"SIM1"});
  config.station = true;
  provision::Bench& bench = rig.Start(config);
  rig.Ticks(3);
  unit.SetPower(true, rig.clock.now);
  ASSERT_TRUE(rig.TickUntil([&] { return unit.InProgramMode(); }));
  bench.RequestStop();
  bench.RequestStop();
  rig.Ticks(1);
  EXPECT_TRUE(bench.Finished());
  ASSERT_EQ(bench.Results().size(), 1u);
  EXPECT_EQ(bench.Results()[0].reason, "interrupted");
  rig.Ticks(2);
  EXPECT_FALSE(unit.InProgramMode());
  EXPECT_EQ(unit.Setting("B"), "9600");
}

}  // namespace
}  // namespace setwright::testing
