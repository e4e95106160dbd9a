#include "session/models/keyboard_to_serial.h"

namespace setwright::models {

// Sends a second identification line and an ignored line between B and D; reports a refused
// "DEFAULT" in a self-closing box and a power-off in program mode in red first.
const ModelTable& MR320KBS() {
  static const ModelTable table = [] {
    ModelTable m = KeyboardToSerialBase(StoredOrderBaudRates());
    m.name = "MR-320KBS";
    m.productIndex = 1;
    m.dump = {{DumpItem::IdentificationLine, ""},
              {DumpItem::Skip, ""},
              {DumpItem::Setting, "B"},
              {DumpItem::Skip, ""}};
    auto rest = KeyboardToSerialSettingLines();
    m.dump.insert(m.dump.end(), rest.begin() + 1, rest.end());
    m.intervalMin = 10;
    m.intervalMax = 300;
    m.intervalMaxChars = 3;
    m.intervalMinChars = 2;
    m.intervalError = "Interval time must be 10-300ms!";
    m.ctsOffInProgramModeRed = true;
    m.setDefaultErrorInBox = true;
    m.tickBeforeSleep = true;
    return m;
  }();
  return table;
}

}  // namespace setwright::models
