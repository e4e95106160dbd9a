#include "cli/cli_options.h"

#include <cstdlib>
#include <map>

namespace setwright::cli {

std::string UsageText() {
  return "usage:\n"
         "  setwright-cli ports\n"
         "  setwright-cli read         --model NAME --port PORT [--enter] [--wait SECONDS] "
         "[--json]\n"
         "  setwright-cli write        --model NAME --port PORT [--enter] [--wait SECONDS] "
         "KEY=VALUE...\n"
         "  setwright-cli default      --model NAME --port PORT [--enter] [--wait SECONDS] "
         "[--json]\n"
         "  setwright-cli clear-paired --model NAME --port PORT [--enter] [--wait SECONDS]\n";
}

std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string& error) {
  static const std::map<std::string, Command> kCommands = {
      {"ports", Command::Ports},
      {"read", Command::Read},
      {"write", Command::Write},
      {"default", Command::Default},
      {"clear-paired", Command::ClearPaired},
  };
  if (args.empty()) {
    error = "no command given";
    return std::nullopt;
  }
  auto command = kCommands.find(args[0]);
  if (command == kCommands.end()) {
    error = "unknown command '" + args[0] + "'";
    return std::nullopt;
  }
  Options options;
  options.command = command->second;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) {
        error = arg + " needs a value";
        return false;
      }
      out = args[++i];
      return true;
    };
    if (arg == "--model") {
      if (!value(options.model)) return std::nullopt;
    } else if (arg == "--port") {
      if (!value(options.port)) return std::nullopt;
    } else if (arg == "--wait") {
      std::string text;
      if (!value(text)) return std::nullopt;
      char* end = nullptr;
      double seconds = std::strtod(text.c_str(), &end);
      if (text.empty() || *end != '\0' || !(seconds > 0) || seconds > 86400) {
        error = "--wait needs a number of seconds above 0";
        return std::nullopt;
      }
      options.waitSeconds = seconds;
    } else if (arg == "--enter") {
      options.enter = true;
    } else if (arg == "--json" &&
               (options.command == Command::Read || options.command == Command::Default)) {
      options.json = true;
    } else if (options.command == Command::Write && arg.rfind("--", 0) != 0 &&
               arg.find('=') != std::string::npos && arg.find('=') > 0) {
      size_t eq = arg.find('=');
      options.assignments.emplace_back(arg.substr(0, eq), arg.substr(eq + 1));
    } else {
      error = "unexpected argument '" + arg + "'";
      return std::nullopt;
    }
  }
  if (options.command == Command::Ports) return options;
  if (options.model.empty() || options.port.empty()) {
    error = "--model and --port are required";
    return std::nullopt;
  }
  if (options.command == Command::Write && options.assignments.empty()) {
    error = "write needs at least one KEY=VALUE";
    return std::nullopt;
  }
  return options;
}

}  // namespace setwright::cli
