// What the three keyboard-to-serial models share: their lists besides the baud rate, the
// key order of the write and the time-out texts.
#pragma once

#include "session/models/model_tables.h"

namespace setwright::models {

inline ModelTable KeyboardToSerialBase(std::vector<std::string> baudRates) {
  ModelTable m;
  m.family = Family::KeyboardToSerial;
  m.settings = {
      Baud(std::move(baudRates)), DataBits(),    StopBits(), Parity(), RtsFlow("R"), XonFlow(),
      Mode({"1", "2", "3"}),      LineFeedMask()};
  m.writeOrder = {"B", "D", "P", "S", "R", "XON", "MODE", "LF", "T1"};
  m.timeoutText = kTimeoutText;
  m.notInProgramText = kNotInProgramText;
  return m;
}

// The dump lines from B on, as the models without a line between B and D send them.
inline std::vector<DumpLine> KeyboardToSerialSettingLines() {
  return {{DumpItem::Setting, "B"},    {DumpItem::Setting, "D"},  {DumpItem::Setting, "P"},
          {DumpItem::Setting, "S"},    {DumpItem::Setting, "R"},  {DumpItem::Setting, "XON"},
          {DumpItem::Setting, "MODE"}, {DumpItem::Setting, "LF"}, {DumpItem::Interval, ""}};
}

}  // namespace setwright::models
