#include "session/models/model_tables.h"

namespace setwright::models {

// The line settings are shown only; the command prompt is the one setting written.
const ModelTable& ZWE720WKB() {
  static const ModelTable table = [] {
    ModelTable m;
    m.name = "ZWE-720W/KB";
    m.productIndex = 5;
    m.family = Family::SerialToKeyboard;
    m.settings = {Baud(StoredOrderBaudRates()), DataBits(), StopBits(), Parity()};
    m.dump = {{DumpItem::Identification, ""}, {DumpItem::Setting, "B"}, {DumpItem::Skip, ""},
              {DumpItem::Setting, "D"},       {DumpItem::Setting, "S"}, {DumpItem::Setting, "P"},
              {DumpItem::Prompt, ""}};
    m.writeOrder = {"CMD"};
    m.timeoutText = kTimeoutText;
    m.notInProgramText = kNotInProgramText;
    m.tickBeforeSleep = true;
    m.enterDebounceMs = 200;
    return m;
  }();
  return table;
}

}  // namespace setwright::models
