// The six model descriptions and the value lists several of them share.
#pragma once

#include <string>
#include <vector>

#include "session/model_table.h"

namespace setwright::models {

const ModelTable& TV520KBS();
const ModelTable& MR320KBS();
const ModelTable& KN610KPQ();
const ModelTable& MR310SKB();
const ModelTable& ZWE710SKB();
const ModelTable& ZWE720WKB();

// The baud list as the devices store it: 14400, 28800 and 57600 follow 153600.
const std::vector<std::string>& StoredOrderBaudRates();

// Lists and read errors common to the models that have the setting.
ComboSetting Baud(std::vector<std::string> values);
ComboSetting DataBits();
ComboSetting StopBits();
ComboSetting Parity();
ComboSetting RtsFlow(const std::string& key);  // "RTS" or "R"
ComboSetting XonFlow();
ComboSetting Mode(std::vector<std::string> values);
ComboSetting LineFeedMask();
ComboSetting OutputChannel();

// The nine lists of MR-310SKB and ZWE-710SKB, in the order they are filled.
std::vector<ComboSetting> SerialToKeyboardSettings();

inline constexpr const char* kTimeoutText =
    "PROGRAM MODE timeout! \r\nPlease restart device power!";
inline constexpr const char* kNotInProgramText =
    "Not in PROGRAM MODE yet! \r\nPlease restart device power!";

}  // namespace setwright::models
