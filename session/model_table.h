// What one device model is, as data: its value lists, the layout of its settings dump,
// the keys it writes, its interval range, its factory settings and the few message and
// timing variants in which the models differ. The engine reads these; it has no
// per-model code.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace setwright {

enum class Family { SerialToKeyboard, KeyboardToSerial };

enum class Colour { Blue = 0, Red = 1, Green = 2 };

// "blue", "red" or "green": the colour's name where reports are written as text.
inline const char* ColourName(Colour colour) {
  switch (colour) {
    case Colour::Red:
      return "red";
    case Colour::Green:
      return "green";
    case Colour::Blue:
      break;
  }
  return "blue";
}

// A setting shown in a drop-down list.
struct ComboSetting {
  std::string key;                  // key of the dump and write lines: "B", "RTS", "R", ...
  int controlId = 0;                // 2019, 2020, ...
  std::vector<std::string> values;  // list entries, index 0 first
  std::string readError;            // "Get Baudrate error!", ...
};

// The lines of a dump after the product line.
enum class DumpItem {
  Identification,      // "(" text ")": the identification text (serial-to-keyboard)
  IdentificationLine,  // a whole line shown as identification (keyboard-to-serial)
  Skip,                // a line that must be there and is not looked at
  Setting,             // KEY=value of a ComboSetting (DumpLine::key)
  Delimiter,           // optional "DEL=" line
  SkipIfDelimiter,     // a line present only when the "DEL=" line was
  Prompt,              // "CMD=" value of 1 to 4 characters
  Interval,            // "T1=" decimal value within the model's range
  PairedSection,       // optional paired-device section
};

struct DumpLine {
  DumpItem item;
  std::string key;  // for Setting only
};

// The device's settings as read back (or as after "DEFAULT").
struct DeviceSettings {
  std::map<std::string, int> index;  // combo key -> selected index
  int delimiter = 0;                 // 0 = none
  std::string prompt;                // up to 4 characters
  int interval = 0;                  // T1 in milliseconds
  std::string product;               // product line
  std::string identification;        // "MAC Adress" text
  std::string paired;                // paired-device text
};

struct ModelTable {
  std::string name;  // "MR-310SKB": message-box caption, pause rule, product check
  int productIndex = 0;
  Family family = Family::SerialToKeyboard;

  std::vector<ComboSetting> settings;  // in the order the lists are filled
  std::vector<DumpLine> dump;          // lines after the product line
  std::vector<std::string>
      writeOrder;  // keys "Save and Reset" looks at, in order ("DEL", "CMD", "T1" included)

  // Interval box (keyboard-to-serial family).
  int intervalMin = 0;
  int intervalMax = 0;
  int intervalMaxChars = 0;   // characters the box takes
  int intervalMinChars = 0;   // shorter texts are refused on focus loss
  std::string intervalError;  // "Interval time must be 10-300ms!"

  // Message variants.
  std::string timeoutText;       // "PROGRAM MODE timeout! \r\nPlease restart device power!"
  std::string notInProgramText;  // "Not in PROGRAM MODE yet! \r\nPlease restart device power!"

  // Behaviour variants.
  bool ctsOffInProgramModeRed = false;  // "Waiting for device connected!" red for one tick
  bool setDefaultErrorInBox = false;    // message box closed by timer 6 after 2500 ms
  bool hasCleanPaired = false;          // "Clean Paired Device" button
  bool tickBeforeSleep = false;         // PollThread ticks first, then sleeps
  bool startPollThreadLast = false;     // listener registered before PollThread starts
  uint32_t enterDebounceMs = 100;       // "Enter Prog Mode" ignore window

  std::optional<DeviceSettings> factoryDefaults;  // what "DEFAULT" leaves on the device

  const ComboSetting* FindSetting(const std::string& key) const {
    for (const auto& s : settings)
      if (s.key == key) return &s;
    return nullptr;
  }
  bool HasEdit(DumpItem item) const {
    for (const auto& d : dump)
      if (d.item == item) return true;
    return false;
  }
};

// The six models in the order of the selection dialog's product list.
const std::vector<const ModelTable*>& AllModels();
const ModelTable* FindModel(const std::string& name);  // exact, case-sensitive

}  // namespace setwright
