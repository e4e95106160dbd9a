#include "session/models/model_tables.h"

namespace setwright::models {

// The reference serial-to-keyboard model: identification line, optional delimiter and the
// paired-host section, and the only one with "Clean Paired Device".
const ModelTable& MR310SKB() {
  static const ModelTable table = [] {
    ModelTable m;
    m.name = "MR-310SKB";
    m.productIndex = 3;
    m.family = Family::SerialToKeyboard;
    m.settings = SerialToKeyboardSettings();
    m.dump = {
        {DumpItem::Identification, ""}, {DumpItem::Setting, "B"},   {DumpItem::Skip, ""},
        {DumpItem::Setting, "D"},       {DumpItem::Setting, "S"},   {DumpItem::Setting, "P"},
        {DumpItem::Setting, "RTS"},     {DumpItem::Setting, "XON"}, {DumpItem::Setting, "MODE"},
        {DumpItem::Delimiter, ""},      {DumpItem::Setting, "LF"},  {DumpItem::SkipIfDelimiter, ""},
        {DumpItem::Setting, "COM"},     {DumpItem::Prompt, ""},     {DumpItem::PairedSection, ""}};
    m.writeOrder = {"B", "D", "S", "P", "RTS", "XON", "MODE", "DEL", "LF", "COM", "CMD"};
    m.timeoutText = kTimeoutText;
    m.notInProgramText = kNotInProgramText;
    m.hasCleanPaired = true;
    DeviceSettings f;
    f.index = {{"B", 5},   {"D", 1},    {"S", 0},  {"P", 0},  {"RTS", 1},
               {"XON", 0}, {"MODE", 0}, {"LF", 0}, {"COM", 1}};
    f.delimiter = 0;
    f.prompt = "@";
    m.factoryDefaults = f;
    return m;
  }();
  return table;
}

}  // namespace setwright::models
