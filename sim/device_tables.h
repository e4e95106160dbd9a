// The six models as data: what each one dumps, in which order, and which values it accepts.
//
// The accepted values are those the settings pages offer. Factory settings of the MR-310SKB are
// the documented ones; the others have none documented and use the same serial settings
// (9600 8N1), flow control off on the keyboard-to-serial units, output mode 2 (ASCII) and a
// polling interval of 10 ms. The lines the program skips carry a short note a unit might
// print, never a key of its own.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "sim/sim_device.h"

namespace setwright::sim {

struct KeyRule {
  enum Kind { List, Hex, Prompt, Interval };
  std::string key;
  Kind kind = List;
  std::vector<std::string> values;  // List: the accepted texts
  int min = 0;                      // Interval: accepted range, inclusive
  int max = 0;
  std::string factory;  // the value after "DEFAULT"; empty Hex means none
};

struct DumpLine {
  enum Kind {
    Setting,          // "KEY=value" of the key in text
    Filler,           // text the program skips; always present
    DelimiterFiller,  // text the program skips; present only with the "DEL=" line
    Identification,   // the model's identification line, text as sent
  };
  Kind kind;
  std::string text;
};

struct DeviceTable {
  std::string name;
  Family family;
  std::string productRest;     // the product line after the model name
  std::string identification;  // sent where the model has one, or when a fault forces one
  std::vector<DumpLine> dump;  // after the product line
  bool emptyLineAfterSettings;
  bool keepsPairedHosts;
  std::vector<KeyRule> keys;

  const KeyRule* Rule(std::string_view key) const;
  bool HasIdentification() const;
};

const std::vector<DeviceTable>& AllDeviceTables();

}  // namespace setwright::sim
