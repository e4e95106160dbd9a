// Port numbers, the ordered listing and the watch over a scripted listing.
#include <gtest/gtest.h>

#include "serial/serial_port_info.h"

namespace setwright {
namespace {

using Names = std::vector<std::string>;

std::vector<SerialPortInfo> Listing(const Names& local, const Names& fixed = {}) {
  std::vector<SerialPortInfo> listing;
  for (const std::string& name : local) listing.push_back({name, "", "", false});
  for (const std::string& name : fixed) listing.push_back({name, "", "", true});
  return listing;
}

TEST(PortNumber, ReadsTheNumberAfterThreeCharacters) {
  const struct {
    std::string name;
    std::optional<int> number;
  } cases[] = {
      {"COM3", 3},
      {"COM10", 10},
      {"COM300", 300},
      {"COM0", 0},
      {"ABC007", 7},
      {"COM", std::nullopt},
      {"COM3a", std::nullopt},
      {"COM-3", std::nullopt},
      {" CO3", std::nullopt},
      {"/dev/ttyUSB0", std::nullopt},
      {"rfc2217://host:4000", std::nullopt},
      {"COM99999999999", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(PortNumber(c.name), c.number) << c.name;
}

TEST(OrderedPortNames, OrdersEveryPortOnce) {
  const struct {
    const char* what;
    Names local, fixed, expected;
  } cases[] = {
      {"numeric order", {"COM10", "COM2", "COM9"}, {}, {"COM2", "COM9", "COM10"}},
      {"COM3 before COM300", {"COM300", "COM3"}, {}, {"COM3", "COM300"}},
      {"equal numbers keep listing order", {"COM5", "XYZ5", "COM1"}, {}, {"COM1", "COM5", "XYZ5"}},
      {"device paths by stem then number",
       {"/dev/ttyUSB10", "/dev/ttyUSB2", "/dev/ttyACM0", "/dev/ttyS", "/dev/ttyUSB02"},
       {},
       {"/dev/ttyACM0", "/dev/ttyS", "/dev/ttyUSB2", "/dev/ttyUSB02", "/dev/ttyUSB10"}},
      {"numbered names first", {"/dev/ttyS0", "COM4"}, {}, {"COM4", "/dev/ttyS0"}},
      {"network ports last in listing order",
       {"COM2", "COM1"},
       {"rfc2217://b:2", "rfc2217://a:1"},
       {"COM1", "COM2", "rfc2217://b:2", "rfc2217://a:1"}},
      {"duplicates are kept", {"COM1", "COM1"}, {}, {"COM1", "COM1"}},
      {"empty listing", {}, {}, {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(OrderedPortNames(Listing(c.local, c.fixed)), c.expected) << c.what;
  }
}

class ScriptedLister : public IPortLister {
 public:
  std::vector<SerialPortInfo> List() override { return listing; }
  std::vector<SerialPortInfo> listing;
};

// One step of a page's watch: the listing at the time of the call and what the call gives.
struct Step {
  Names local;
  Names fixed;
  int result;
  std::string newPortName;  // what the call leaves in the name ("-" when untouched)
  Names known;
};

void RunSteps(const char* what, const Names& snapshot, const Names& snapshotFixed,
              const std::vector<Step>& steps) {
  ScriptedLister lister;
  PortWatch watch(lister);
  lister.listing = Listing(snapshot, snapshotFixed);
  watch.TakeSnapshot();
  for (size_t i = 0; i < steps.size(); ++i) {
    const Step& step = steps[i];
    lister.listing = Listing(step.local, step.fixed);
    std::string name = "-";
    EXPECT_EQ(watch.DetectNewPort(name), step.result) << what << ", call " << i + 1;
    EXPECT_EQ(name, step.newPortName) << what << ", call " << i + 1;
    EXPECT_EQ(watch.KnownPorts(), step.known) << what << ", call " << i + 1;
  }
}

TEST(PortWatch, DetectNewPortFollowsTheListing) {
  RunSteps("COM7 arrives, goes, comes back", {"COM1", "COM3"}, {},
           {
               {{"COM1", "COM3", "COM7"}, {}, 7, "COM7", {"COM1", "COM3", "COM7"}},
               {{"COM1", "COM3", "COM7"}, {}, 0, "-", {"COM1", "COM3", "COM7"}},
               {{"COM1", "COM3"}, {}, -1, "-", {"COM1", "COM3"}},
               {{"COM1", "COM3"}, {}, 0, "-", {"COM1", "COM3"}},
               {{"COM1", "COM7", "COM3"}, {}, 7, "COM7", {"COM1", "COM3", "COM7"}},
           });
  RunSteps("two arrivals reported by two calls in listing order", {"COM1"}, {},
           {
               {{"COM9", "COM1", "COM4"}, {}, 9, "COM9", {"COM1", "COM9"}},
               {{"COM9", "COM1", "COM4"}, {}, 4, "COM4", {"COM1", "COM9", "COM4"}},
               {{"COM9", "COM1", "COM4"}, {}, 0, "-", {"COM1", "COM9", "COM4"}},
           });
  RunSteps("a port replaced by another goes unnoticed", {"COM1", "COM7"}, {},
           {
               {{"COM1", "COM8"}, {}, 0, "-", {"COM1", "COM7"}},
               {{"COM1", "COM8"}, {}, 0, "-", {"COM1", "COM7"}},
           });
  RunSteps("empty listing, nothing known", {}, {}, {{{}, {}, 0, "-", {}}});
  RunSteps("enumeration failure empties the known ports", {"COM1"}, {},
           {{{}, {}, -1, "-", {}}, {{}, {}, 0, "-", {}}});
  RunSteps("names are compared with their case", {"COM1"}, {},
           {{{"com1", "COM1"}, {}, 1, "COM1", {"COM1", "com1"}}});
  RunSteps("port number 0 is recorded, not reported", {}, {}, {{{"COM0"}, {}, 0, "-", {"COM0"}}});
}

TEST(PortWatch, DevicePathsAreReportedByName) {
  RunSteps(
      "device path arrives and goes", {"/dev/ttyS0"}, {},
      {
          {{"/dev/ttyS0", "/dev/ttyUSB0"}, {}, 1, "/dev/ttyUSB0", {"/dev/ttyS0", "/dev/ttyUSB0"}},
          {{"/dev/ttyS0", "/dev/ttyUSB0"}, {}, 0, "-", {"/dev/ttyS0", "/dev/ttyUSB0"}},
          {{"/dev/ttyS0"}, {}, -1, "-", {"/dev/ttyS0"}},
      });
}

TEST(PortWatch, NetworkPortsAreNeverNewNorGone) {
  const Names net = {"rfc2217://127.0.0.1:4000"};
  RunSteps("network port alone keeps the known ports non-empty", {}, net,
           {
               {{}, net, 0, "-", net},
               {{"COM4"}, net, 4, "COM4", {"COM4", net[0]}},
               {{}, net, -1, "-", net},
           });
  RunSteps("network ports added or dropped later are not reported", {"COM1"}, {},
           {
               {{"COM1"}, net, 0, "-", {"COM1", net[0]}},
               {{"COM1"}, {}, 0, "-", {"COM1"}},
           });
}

}  // namespace
}  // namespace setwright
