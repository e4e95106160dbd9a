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
  kExitCannotOpen = 5,   // the port cannot be opened, and waiting would not change that
};

enum class Command { Ports, Read, Write, Default, ClearPaired, Apply, Station };

struct Options {
  bool help = false;     // --help: print UsageText() and end
  bool version = false;  // --version
  Command command = Command::Ports;
  std::string model;
  std::string port;
  bool enter = false;
  double waitSeconds = 60;
  bool json = false;
  std::vector<std::pair<std::string, std::string>> assignments;  // KEY=VALUE of write
  // apply and station
  std::string profile;             // --profile FILE
  std::vector<std::string> ports;  // every --port, in order
  bool verify = false;
  std::string report;  // --report FILE (JSON Lines, appended)
  std::string trace;   // --trace FILE (every command)
};

// Parses argv (without the program name): options may come before or after the command
// word, as "--opt value" or "--opt=value". On failure returns nothing and sets error to a
// message that names the bad argument.
std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string& error);

// The whole usage text of --help, with the exit statuses.
std::string UsageText();
// The line that follows an error message.
std::string HelpHint();

}  // namespace setwright::cli
