// The six model descriptions and the value lists several of them share.
#pragma once

#include <string>
#include <vector>

#include "session/model_spec.h"

namespace setwright::models {

const ModelSpec& TV520KBS();
const ModelSpec& MR320KBS();
const ModelSpec& KN610KPQ();
const ModelSpec& MR310SKB();
const ModelSpec& ZWE710SKB();
const ModelSpec& ZWE720WKB();

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

inline constexpr const char* kTimeoutText =
    "PROGRAM MODE timeout! \r\nPlease restart device power!";
inline constexpr const char* kNotInProgramText =
    "Not in PROGRAM MODE yet! \r\nPlease restart device power!";

}  // namespace setwright::models
