#include "session/models/model_tables.h"

namespace setwright::models {

// MR-310SKB's settings without the identification line and the paired-host section; its
// time-out texts have no blank before the line break and it ticks before sleeping.
const ModelTable& ZWE710SKB() {
  static const ModelTable table = [] {
    ModelTable m;
    m.name = "ZWE-710SKB";
    m.productIndex = 4;
    m.family = Family::SerialToKeyboard;
    m.settings = SerialToKeyboardSettings();
    m.dump = {{DumpItem::Setting, "B"},        {DumpItem::Skip, ""},
              {DumpItem::Setting, "D"},        {DumpItem::Setting, "S"},
              {DumpItem::Setting, "P"},        {DumpItem::Setting, "RTS"},
              {DumpItem::Setting, "XON"},      {DumpItem::Setting, "MODE"},
              {DumpItem::Delimiter, ""},       {DumpItem::Setting, "LF"},
              {DumpItem::SkipIfDelimiter, ""}, {DumpItem::Setting, "COM"},
              {DumpItem::Prompt, ""}};
    m.writeOrder = {"B", "D", "S", "P", "RTS", "XON", "MODE", "DEL", "LF", "COM", "CMD"};
    m.timeoutText = "PROGRAM MODE timeout!\r\nPlease restart device power!";
    m.notInProgramText = "Not in PROGRAM MODE yet!\r\nPlease restart device power!";
    m.ctsOffInProgramModeRed = true;  // on the new port only
    m.tickBeforeSleep = true;
    return m;
  }();
  return table;
}

}  // namespace setwright::models
