// Command line of setwright-cli.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace setwright::cli {

enum ExitStatus {
  kExitOk = 0,
  kExitDeviceError = 1,  // the device or the link reported an error
  kExitUsage = 2,        // usage error or refused value
  kExitNoDevice = 3,     // no device within --wait
  kExitOtherModel = 4,   // another model answered
};

enum class Command { Ports, Read, Write, Default, ClearPaired };

struct Options {
  Command command = Command::Ports;
  std::string model;
  std::string port;
  bool enter = false;
  double waitSeconds = 60;
  bool json = false;
  std::vector<std::pair<std::string, std::string>> assignments;  // KEY=VALUE of write
};

// Parses argv (without the program name). On failure returns nothing and sets error.
std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string& error);

std::string UsageText();

}  // namespace setwright::cli
