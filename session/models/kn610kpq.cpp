#include "session/models/keyboard_to_serial.h"

namespace setwright::models {

// Nine baud rates from 1200, intervals of 1 to 99 ms; the listener is registered before
// the poll thread starts, and the thread ticks at once.
const ModelTable& KN610KPQ() {
  static const ModelTable table = [] {
    ModelTable m = KeyboardToSerialBase(
        {"1200", "2400", "4800", "9600", "19200", "38400", "57600", "76800", "115200"});
    m.name = "KN-610K/PQ";
    m.productIndex = 2;
    m.dump = {{DumpItem::Skip, ""}};
    auto rest = KeyboardToSerialSettingLines();
    m.dump.insert(m.dump.end(), rest.begin(), rest.end());
    m.intervalMin = 1;
    m.intervalMax = 99;
    m.intervalMaxChars = 2;
    m.intervalMinChars = 1;
    m.intervalError = "Interval time must be 1-99ms!";
    m.tickBeforeSleep = true;
    m.startPollThreadLast = true;
    return m;
  }();
  return table;
}

}  // namespace setwright::models
