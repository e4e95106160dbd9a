#include "session/models/keyboard_to_serial.h"

namespace setwright::models {

// Eight baud rates, intervals of 1 to 99 ms; the poll thread starts last and sleeps first.
const ModelTable& TV520KBS() {
  static const ModelTable table = [] {
    ModelTable m = KeyboardToSerialBase(
        {"2400", "4800", "9600", "19200", "38400", "57600", "76800", "115200"});
    m.name = "TV-520KBS";
    m.productIndex = 0;
    m.dump = {{DumpItem::Skip, ""}};
    auto rest = KeyboardToSerialSettingLines();
    m.dump.insert(m.dump.end(), rest.begin(), rest.end());
    m.intervalMin = 1;
    m.intervalMax = 99;
    m.intervalMaxChars = 2;
    m.intervalMinChars = 1;
    m.intervalError = "Interval time must be 1-99ms!";
    m.startPollThreadLast = true;
    return m;
  }();
  return table;
}

}  // namespace setwright::models
