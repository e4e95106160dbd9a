#include "sim/device_tables.h"

namespace setwright::sim {

namespace {

const std::vector<std::string> kWideBauds = {"300",   "600",   "1200",  "2400",   "4800",
                                             "9600",  "19200", "38400", "76800",  "153600",
                                             "14400", "28800", "57600", "115200", "230400"};
const std::vector<std::string> kTvBauds = {"2400",  "4800",  "9600",  "19200",
                                           "38400", "57600", "76800", "115200"};
const std::vector<std::string> kKnBauds = {"1200",  "2400",  "4800",  "9600",  "19200",
                                           "38400", "57600", "76800", "115200"};

KeyRule List(std::string key, std::vector<std::string> values, std::string factory) {
  return {std::move(key), KeyRule::List, std::move(values), 0, 0, std::move(factory)};
}

std::vector<KeyRule> SerialToKeyboardKeys() {
  return {List("B", kWideBauds, "9600"),
          List("D", {"7", "8"}, "8"),
          List("S", {"1", "2"}, "1"),
          List("P", {"N", "E", "O"}, "N"),
          List("RTS", {"D", "E"}, "E"),
          List("XON", {"D", "E"}, "D"),
          List("MODE", {"2", "3"}, "2"),
          {"DEL", KeyRule::Hex, {}, 0x00, 0x7F, ""},
          List("LF", {"1", "2"}, "1"),
          List("COM", {"U", "R"}, "R"),
          {"CMD", KeyRule::Prompt, {}, 1, 4, "@"}};
}

std::vector<DumpLine> SerialToKeyboardDump() {
  return {{DumpLine::Setting, "B"},
          {DumpLine::Filler, "[B] 300-230400"},
          {DumpLine::Setting, "D"},
          {DumpLine::Setting, "S"},
          {DumpLine::Setting, "P"},
          {DumpLine::Setting, "RTS"},
          {DumpLine::Setting, "XON"},
          {DumpLine::Setting, "MODE"},
          {DumpLine::Setting, "DEL"},
          {DumpLine::Setting, "LF"},
          {DumpLine::DelimiterFiller, "[DEL] 01-7F"},
          {DumpLine::Setting, "COM"},
          {DumpLine::Setting, "CMD"}};
}

std::vector<KeyRule> KeyboardToSerialKeys(const std::vector<std::string>& bauds, int t1Min,
                                          int t1Max) {
  return {List("B", bauds, "9600"),
          List("D", {"7", "8"}, "8"),
          List("P", {"N", "E", "O"}, "N"),
          List("S", {"1", "2"}, "1"),
          List("R", {"D", "E"}, "D"),
          List("XON", {"D", "E"}, "D"),
          List("MODE", {"1", "2", "3"}, "2"),
          List("LF", {"1", "2"}, "1"),
          {"T1", KeyRule::Interval, {}, t1Min, t1Max, "10"}};
}

std::vector<DumpLine> KeyboardToSerialSettings() {
  std::vector<DumpLine> lines;
  for (const char* key : {"D", "P", "S", "R", "XON", "MODE", "LF", "T1"}) {
    lines.push_back({DumpLine::Setting, key});
  }
  return lines;
}

std::vector<DeviceTable> BuildTables() {
  std::vector<DeviceTable> tables;

  std::vector<DumpLine> tv = {{DumpLine::Filler, "KBS FW 1.30"}, {DumpLine::Setting, "B"}};
  for (auto& line : KeyboardToSerialSettings()) tv.push_back(line);
  tables.push_back({"TV-520KBS", Family::KeyboardToSerial, "Keyboard to Serial Ver 1.30",
                    "(00:1A:7D:52:00:01)", tv, false, false,
                    KeyboardToSerialKeys(kTvBauds, 1, 99)});

  std::vector<DumpLine> mr320 = {{DumpLine::Identification, ""},
                                 {DumpLine::Filler, "KBS FW 2.10"},
                                 {DumpLine::Setting, "B"},
                                 {DumpLine::Filler, "[B] 300-230400"}};
  for (auto& line : KeyboardToSerialSettings()) mr320.push_back(line);
  tables.push_back({"MR-320KBS", Family::KeyboardToSerial, "Keyboard to Serial Ver 2.10",
                    "(00:1A:7D:32:00:01)", mr320, false, false,
                    KeyboardToSerialKeys(kWideBauds, 10, 300)});

  std::vector<DumpLine> kn = {{DumpLine::Filler, "PQ FW 1.05"}, {DumpLine::Setting, "B"}};
  for (auto& line : KeyboardToSerialSettings()) kn.push_back(line);
  tables.push_back({"KN-610K/PQ", Family::KeyboardToSerial, "Keyboard to Serial Ver 1.05",
                    "(00:1A:7D:61:00:01)", kn, false, false,
                    KeyboardToSerialKeys(kKnBauds, 1, 99)});

  std::vector<DumpLine> mr310 = SerialToKeyboardDump();
  mr310.insert(mr310.begin(), {DumpLine::Identification, ""});
  tables.push_back({"MR-310SKB", Family::SerialToKeyboard, "Serial to Keyboard Ver 3.02",
                    "(00:1A:7D:31:00:01)", mr310, true, true, SerialToKeyboardKeys()});

  tables.push_back({"ZWE-710SKB", Family::SerialToKeyboard, "Serial to Keyboard Ver 1.12",
                    "(00:1A:7D:71:00:01)", SerialToKeyboardDump(), false, false,
                    SerialToKeyboardKeys()});

  std::vector<KeyRule> zwe720Keys;
  for (auto& rule : SerialToKeyboardKeys()) {
    if (rule.key == "B" || rule.key == "D" || rule.key == "S" || rule.key == "P" ||
        rule.key == "CMD") {
      zwe720Keys.push_back(rule);
    }
  }
  tables.push_back({"ZWE-720W/KB",
                    Family::SerialToKeyboard,
                    "Wireless Serial to Keyboard Ver 1.40",
                    "(00:1A:7D:72:00:01)",
                    {{DumpLine::Identification, ""},
                     {DumpLine::Setting, "B"},
                     {DumpLine::Filler, "[B] 300-230400"},
                     {DumpLine::Setting, "D"},
                     {DumpLine::Setting, "S"},
                     {DumpLine::Setting, "P"},
                     {DumpLine::Setting, "CMD"}},
                    false,
                    false,
                    zwe720Keys});
  return tables;
}

}  // namespace

const KeyRule* DeviceTable::Rule(std::string_view key) const {
  for (const auto& rule : keys) {
    if (rule.key == key) return &rule;
  }
  return nullptr;
}

bool DeviceTable::HasIdentification() const {
  for (const auto& line : dump) {
    if (line.kind == DumpLine::Identification) return true;
  }
  return false;
}

const std::vector<DeviceTable>& AllDeviceTables() {
  static const std::vector<DeviceTable> tables = BuildTables();
  return tables;
}

}  // namespace setwright::sim
