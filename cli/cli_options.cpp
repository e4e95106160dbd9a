#include "cli/cli_options.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>
#include <cctype>
#include <cstdlib>
#include <map>

namespace setwright::cli {

std::string UsageText() {
  return "Usage:\n"
         "  setwright-cli ports        [--json]\n"
         "  setwright-cli read         --model NAME --port PORT [--enter] [--wait SECONDS] "
         "[--json]\n"
         "  setwright-cli write        --model NAME --port PORT [--enter] [--wait SECONDS] "
         "[--json] KEY=VALUE...\n"
         "  setwright-cli default      --model NAME --port PORT [--enter] [--wait SECONDS] "
         "[--json]\n"
         "  setwright-cli clear-paired --model NAME --port PORT [--enter] [--wait SECONDS] "
         "[--json]\n"
         "  setwright-cli apply        --profile FILE --port PORT [--port PORT...] [--enter]\n"
         "                             [--verify] [--wait SECONDS] [--report FILE]\n"
         "  setwright-cli station      --profile FILE --port PORT|auto [--port PORT...]\n"
         "                             [--verify] [--wait SECONDS] [--report FILE]\n"
         "  setwright-cli --help | --version\n"
         "\n"
         "Reads, writes and resets the settings of a converter device on a serial port\n"
         "(a local port such as /dev/ttyUSB0, or rfc2217://HOST:PORT).\n"
         "\n"
         "Options:\n"
         "  --model NAME     TV-520KBS, MR-320KBS, KN-610K/PQ, MR-310SKB, ZWE-710SKB or "
         "ZWE-720W/KB\n"
         "  --port PORT      the port the device is on (see 'setwright-cli ports')\n"
         "  --enter          send the program-mode command at once instead of waiting for\n"
         "                   the device's power restart\n"
         "  --wait SECONDS   how long to wait for the device (default 60)\n"
         "  --json           print the result, or the error of exit status 3, 4 and 5, as JSON\n"
         "  --trace FILE     append every byte on the port, both ways, to FILE (every command\n"
         "                   but ports)\n"
         "  --profile FILE   apply, station: the settings to give every unit, as 'read --json'\n"
         "                   prints them\n"
         "  --port PORT      apply, station: may be given for every port to work on at once;\n"
         "                   station --port auto takes a unit on the USB port it brings up\n"
         "  --verify         apply, station: read every unit back after its restart\n"
         "  --report FILE    apply, station: append one JSON object per unit to FILE\n"
         "  -h, --help       show this text\n"
         "  --version        show the program's version\n"
         "Options may also be written --opt=VALUE and may come before or after the command.\n"
         "\n"
         "Exit status:\n"
         "  0  success\n"
         "  1  the device or the link reported an error (apply, station: a unit failed)\n"
         "  2  usage error or refused value\n"
         "  3  no device answered within --wait\n"
         "  4  another model answered (its name is printed)\n"
         "  5  cannot open the port (permission denied, no such port, unknown host name)\n";
}

std::string HelpHint() {
  return "Try 'setwright-cli --help' for more information.";
}

namespace {

std::string Text(const QString& s) {
  return s.toLocal8Bit().toStdString();
}

}  // namespace

std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string& error) {
  static const std::map<std::string, Command> kCommands = {
      {"ports", Command::Ports},
      {"read", Command::Read},
      {"write", Command::Write},
      {"default", Command::Default},
      {"clear-paired", Command::ClearPaired},
      {"apply", Command::Apply},
      {"station", Command::Station},
  };
  QCommandLineParser parser;
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  const QCommandLineOption help(QStringList{"h", "help"});
  const QCommandLineOption version(QStringLiteral("version"));
  const QCommandLineOption model(QStringLiteral("model"), QString(), QStringLiteral("NAME"));
  const QCommandLineOption port(QStringLiteral("port"), QString(), QStringLiteral("PORT"));
  const QCommandLineOption wait(QStringLiteral("wait"), QString(), QStringLiteral("SECONDS"));
  const QCommandLineOption enter(QStringLiteral("enter"));
  const QCommandLineOption json(QStringLiteral("json"));
  const QCommandLineOption trace(QStringLiteral("trace"), QString(), QStringLiteral("FILE"));
  const QCommandLineOption profile(QStringLiteral("profile"), QString(), QStringLiteral("FILE"));
  const QCommandLineOption report(QStringLiteral("report"), QString(), QStringLiteral("FILE"));
  const QCommandLineOption verify(QStringLiteral("verify"));
  parser.addOptions(
      {help, version, model, port, wait, enter, json, trace, profile, report, verify});

  QStringList argv{QStringLiteral("setwright-cli")};
  for (const std::string& arg : args) argv << QString::fromLocal8Bit(arg.c_str());
  if (!parser.parse(argv)) {
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty()) {
      const QString& name = unknown.first();
      error = "unknown option '" + std::string(name.size() == 1 ? "-" : "--") + Text(name) + "'";
    } else {
      error = Text(parser.errorText());  // "Missing value after '--model'."
      if (!error.empty()) error[0] = static_cast<char>(std::tolower(error[0]));
      if (!error.empty() && error.back() == '.') error.pop_back();
    }
    return std::nullopt;
  }

  Options options;
  if (parser.isSet(help)) {
    options.help = true;
    return options;
  }
  if (parser.isSet(version)) {
    options.version = true;
    return options;
  }
  const QStringList positional = parser.positionalArguments();
  if (positional.isEmpty()) {
    error = "no command given";
    return std::nullopt;
  }
  auto command = kCommands.find(Text(positional.first()));
  if (command == kCommands.end()) {
    error = "unknown command '" + Text(positional.first()) + "'";
    return std::nullopt;
  }
  options.command = command->second;
  // An option given twice: the last one counts, as in most tools.
  if (parser.isSet(model)) options.model = Text(parser.values(model).last());
  if (parser.isSet(port)) options.port = Text(parser.values(port).last());
  options.enter = parser.isSet(enter);
  options.json = parser.isSet(json);
  for (const QString& value : parser.values(port)) options.ports.push_back(Text(value));
  if (parser.isSet(trace)) options.trace = Text(parser.values(trace).last());
  if (parser.isSet(profile)) options.profile = Text(parser.values(profile).last());
  if (parser.isSet(report)) options.report = Text(parser.values(report).last());
  options.verify = parser.isSet(verify);
  if (parser.isSet(wait)) {
    const std::string text = Text(parser.values(wait).last());
    char* end = nullptr;
    const double seconds = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(seconds > 0) || seconds > 86400) {
      error = "--wait " + text + ": needs a number of seconds above 0";
      return std::nullopt;
    }
    options.waitSeconds = seconds;
  }
  for (qsizetype i = 1; i < positional.size(); ++i) {
    const std::string arg = Text(positional[i]);
    const size_t eq = arg.find('=');
    if (options.command == Command::Write && eq != std::string::npos && eq > 0) {
      options.assignments.emplace_back(arg.substr(0, eq), arg.substr(eq + 1));
    } else {
      error = "unexpected argument '" + arg + "'";
      return std::nullopt;
    }
  }
  const bool bench = options.command == Command::Apply || options.command == Command::Station;
  if (!bench) {
    for (const auto* only : {&profile, &report, &verify}) {
      if (parser.isSet(*only)) {
        error = "--" + Text(only->names().first()) + " is for apply and station";
        return std::nullopt;
      }
    }
  }
  if (bench) {
    if (parser.isSet(model) || parser.isSet(json)) {
      error = Text(positional.first()) + " takes the model from its --profile and has no --json";
      return std::nullopt;
    }
    if (options.command == Command::Station && parser.isSet(enter)) {
      error = "station waits for each unit to be switched on; --enter is for apply";
      return std::nullopt;
    }
    if (options.profile.empty()) {
      error = "--profile is required";
      return std::nullopt;
    }
    if (options.ports.empty()) {
      error = "--port is required";
      return std::nullopt;
    }
    for (size_t i = 0; i < options.ports.size(); ++i)
      for (size_t j = 0; j < i; ++j)
        if (options.ports[i] == options.ports[j]) {
          error = "port " + options.ports[i] + " is named twice";
          return std::nullopt;
        }
    return options;
  }
  if (options.ports.size() > 1) {
    error = Text(positional.first()) + " takes one --port; apply takes many";
    return std::nullopt;
  }
  if (options.command == Command::Ports) {
    if (parser.isSet(trace)) {
      error = "ports takes no --trace";
      return std::nullopt;
    }
    if (parser.isSet(model) || parser.isSet(port) || parser.isSet(enter) || parser.isSet(wait)) {
      error = "ports takes no --model, --port, --enter or --wait";
      return std::nullopt;
    }
    return options;
  }
  if (options.model.empty()) {
    error = "--model is required";
    return std::nullopt;
  }
  if (options.port.empty()) {
    error = "--port is required";
    return std::nullopt;
  }
  if (options.command == Command::Write && options.assignments.empty()) {
    error = "write needs at least one KEY=VALUE";
    return std::nullopt;
  }
  return options;
}

}  // namespace setwright::cli
