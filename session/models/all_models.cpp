#include "session/models/model_tables.h"

namespace setwright {
namespace models {

const std::vector<std::string>& StoredOrderBaudRates() {
  static const std::vector<std::string> rates = {"300",   "600",   "1200",  "2400",   "4800",
                                                 "9600",  "19200", "38400", "76800",  "153600",
                                                 "14400", "28800", "57600", "115200", "230400"};
  return rates;
}

ComboSetting Baud(std::vector<std::string> values) {
  return {"B", 2019, std::move(values), "Get Baudrate error!"};
}
ComboSetting DataBits() {
  return {"D", 2020, {"7", "8"}, "Get Data bits error!"};
}
ComboSetting StopBits() {
  return {"S", 2003, {"1", "2"}, "Get Stop bits error!"};
}
ComboSetting Parity() {
  return {"P", 2009, {"N", "E", "O"}, "Get Parity bits error!"};
}
ComboSetting RtsFlow(const std::string& key) {
  return {key, 2010, {"D", "E"}, "Get RTS error!"};
}
ComboSetting XonFlow() {
  return {"XON", 2011, {"D", "E"}, "Get XON error!"};
}
ComboSetting Mode(std::vector<std::string> values) {
  return {"MODE", 2012, std::move(values), "Get Mode error!"};
}
ComboSetting LineFeedMask() {
  return {"LF", 2013, {"1", "2"}, "Get LF error!"};
}
ComboSetting OutputChannel() {
  return {"COM", 2015, {"U", "R"}, "Get COM error!"};
}

std::vector<ComboSetting> SerialToKeyboardSettings() {
  return {Baud(StoredOrderBaudRates()),
          DataBits(),
          StopBits(),
          Parity(),
          RtsFlow("RTS"),
          XonFlow(),
          Mode({"2", "3"}),
          LineFeedMask(),
          OutputChannel()};
}

}  // namespace models

const std::vector<const ModelTable*>& AllModels() {
  static const std::vector<const ModelTable*> all = {&models::TV520KBS(),  &models::MR320KBS(),
                                                     &models::KN610KPQ(),  &models::MR310SKB(),
                                                     &models::ZWE710SKB(), &models::ZWE720WKB()};
  return all;
}

const ModelTable* FindModel(const std::string& name) {
  for (const ModelTable* m : AllModels())
    if (m->name == name) return m;
  return nullptr;
}

}  // namespace setwright
