#include "sim/sim_console.h"

#include <charconv>
#include <sstream>
#include <utility>
#include <vector>

namespace setwright::sim {

namespace {

constexpr uint32_t kDefaultCycleOffMs = 1000;

std::vector<std::string> Words(std::string_view line) {
  std::vector<std::string> words;
  std::istringstream in{std::string(line)};
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

std::string Lines(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& line : lines) out += line + "\n";
  return out;
}

}  // namespace

std::string SimUsage() {
  std::string models;
  for (const auto& name : SimDevice::ModelNames()) models += " " + name;
  return "usage: setwright-sim --model NAME [--port N] [--count N] [--bind ADDR] [--off]\n"
         "                     [--quit-on-eof] [[--fault] FAULT...]\n"
         "       setwright-sim --model NAME --pty [--off] [--quit-on-eof] [[--fault] FAULT...]\n"
         "       setwright-sim --help | --version\n"
         "Serves one simulated device as a network serial port (the first line printed is\n"
         "its URL) or, with --pty, on a pseudo-terminal (the first line is the path of its\n"
         "slave, to be opened as a local port; it has no modem lines). --count N serves N\n"
         "devices on ports N, N+1, ... and prints one URL a line; console commands then name\n"
         "the device first: cycle 3, cycle all, show 2. Options may also be written\n"
         "--opt=VALUE. SIGINT, SIGTERM and SIGHUP end it cleanly.\n"
         "models:" +
         models + "\n" + SimConsole::Help();
}

bool ParseSimArgs(const std::vector<std::string>& rawArgs, SimArgs* out, std::string* error) {
  SimArgs parsed;
  auto fail = [&](std::string text) {
    if (error) *error = std::move(text);
    return false;
  };
  // "--opt=value" is "--opt value".
  std::vector<std::string> args;
  for (const std::string& arg : rawArgs) {
    const size_t eq = arg.find('=');
    if (arg.starts_with("--") && eq != std::string::npos) {
      args.push_back(arg.substr(0, eq));
      args.push_back(arg.substr(eq + 1));
    } else {
      args.push_back(arg);
    }
  }
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool takesValue = arg == "--model" || arg == "--port" || arg == "--bind" ||
                            arg == "--fault" || arg == "--count";
    if (takesValue && i + 1 == args.size()) return fail(arg + " needs a value");
    if (arg == "--help" || arg == "-h") {
      parsed.help = true;
    } else if (arg == "--version") {
      parsed.version = true;
    } else if (arg == "--pty") {
      parsed.pty = true;
    } else if (arg == "--model") {
      parsed.model = args[++i];
    } else if (arg == "--port") {
      const std::string& text = args[++i];
      unsigned port = 0;
      auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
      if (ec != std::errc() || end != text.data() + text.size() || port > 65535) {
        return fail("--port needs a number from 0 to 65535");
      }
      parsed.port = static_cast<uint16_t>(port);
    } else if (arg == "--count") {
      const std::string& text = args[++i];
      int count = 0;
      auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), count);
      if (ec != std::errc() || end != text.data() + text.size() || count < 1 || count > 256) {
        return fail("--count needs a number from 1 to 256");
      }
      parsed.count = count;
    } else if (arg == "--bind") {
      parsed.bindAddress = args[++i];
    } else if (arg == "--off") {
      parsed.startOff = true;
    } else if (arg == "--quit-on-eof") {
      parsed.quitOnEndOfInput = true;
    } else {
      const std::string& fault = arg == "--fault" ? args[++i] : arg;
      if (fault.starts_with("-")) return fail("unknown option " + fault);
      std::string reason;
      if (!ApplyFault(parsed.options, fault, true, &reason)) return fail(reason);
    }
  }
  if (parsed.help || parsed.version) {
    *out = std::move(parsed);
    return true;
  }
  if (parsed.model.empty()) return fail("--model is missing");
  bool known = false;
  for (const auto& name : SimDevice::ModelNames()) known = known || name == parsed.model;
  if (!known) return fail("no model " + parsed.model);
  if (parsed.pty && parsed.count > 1) return fail("--pty serves one device; --count is for ports");
  if (parsed.port != 0 && parsed.port + parsed.count - 1 > 65535)
    return fail("--port and --count go beyond port 65535");
  *out = std::move(parsed);
  return true;
}

std::string SimConsole::Help() {
  return "commands: on, off, cycle [MS], show, status, set KEY=VALUE, pair HOST, new,\n"
         "          fault [NAME[=VALUE] [off] | clear], help, quit\n"
         "faults:   product=MODEL wrong-banner refuse=KEY forget=KEY silent split=N[/GAP] slow=MS\n"
         "          double-ack cut-end=N id=on|off no-del no-paired busy\n";
}

SimConsole::Result SimConsole::Execute(std::string_view line) {
  const std::vector<std::string> words = Words(line);
  if (words.empty()) return {};
  const std::string& command = words[0];
  const size_t args = words.size() - 1;

  if (command == "quit" && args == 0) return {"", true};
  if (command == "help") return {Help()};
  if (command == "on" && args == 0) {
    device_.SetPower(true);
    return {"power on\n"};
  }
  if (command == "off" && args == 0) {
    device_.SetPower(false);
    return {"power off\n"};
  }
  if (command == "cycle" && args <= 1) {
    uint32_t offMs = kDefaultCycleOffMs;
    if (args == 1) {
      const std::string& text = words[1];
      auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), offMs);
      if (ec != std::errc() || end != text.data() + text.size()) {
        return {"cycle needs a time in ms\n"};
      }
    }
    device_.SetPower(false);
    pause_(offMs);
    device_.SetPower(true);
    return {"power off, on again after " + std::to_string(offMs) + " ms\n"};
  }
  if (command == "show" && args == 0) {
    std::vector<std::string> out;
    for (const auto& [key, value] : device_.Settings()) out.push_back(key + "=" + value);
    return {Lines(out)};
  }
  if (command == "status" && args == 0) {
    std::vector<std::string> out = {
        "model " + device_.Name(), std::string("power ") + (device_.Powered() ? "on" : "off"),
        std::string("program mode ") + (device_.InProgramMode() ? "yes" : "no")};
    for (const auto& host : device_.PairedHosts()) out.push_back("paired " + host);
    for (const auto& fault : DescribeFaults(device_.Options())) out.push_back("fault " + fault);
    return {Lines(out)};
  }
  if (command == "set" && args == 1) {
    const std::string& assignment = words[1];
    const size_t eq = assignment.find('=');
    if (eq == std::string::npos || eq == 0) return {"set needs KEY=VALUE\n"};
    const std::string key = assignment.substr(0, eq);
    bool known = false;
    for (const auto& setting : device_.Settings()) known = known || setting.first == key;
    if (!known) return {"no setting " + key + " on " + device_.Name() + "\n"};
    device_.SetSetting(key, assignment.substr(eq + 1));
    return {key + "=" + device_.Setting(key) + "\n"};
  }
  if (command == "new" && args == 0) {
    device_.ReplaceUnit();
    return {"new unit " + device_.Identification() + ", power off\n"};
  }
  if (command == "pair" && args == 1) {
    device_.AddPairedHost(words[1]);
    return {"paired " + words[1] + "\n"};
  }
  if (command == "fault" && args <= 2) {
    DeviceOptions options = device_.Options();
    if (args == 0) {
      const auto faults = DescribeFaults(options);
      return {faults.empty() ? "no faults\n" : Lines(faults)};
    }
    if (args == 1 && words[1] == "clear") {
      DeviceOptions cleared;
      cleared.entryWindowMs = options.entryWindowMs;
      cleared.restartMs = options.restartMs;
      device_.SetOptions(cleared);
      return {"no faults\n"};
    }
    if (args == 2 && words[2] != "off") return {"fault NAME off, or fault NAME[=VALUE]\n"};
    std::string error;
    if (!ApplyFault(options, words[1], args == 1, &error)) return {error + "\n"};
    device_.SetOptions(options);
    const auto faults = DescribeFaults(options);
    return {faults.empty() ? "no faults\n" : Lines(faults)};
  }
  return {"unknown command: " + std::string(line) + " (try help)\n"};
}

BenchConsole::BenchConsole(std::vector<SimDevice*> devices, std::function<void(uint32_t)> pause)
    : devices_(std::move(devices)), pause_(std::move(pause)) {
  for (SimDevice* device : devices_) consoles_.emplace_back(*device, pause_);
}

SimConsole::Result BenchConsole::Execute(std::string_view line) {
  if (consoles_.size() == 1) return consoles_.front().Execute(line);
  std::vector<std::string> words = Words(line);
  if (words.empty()) return {};
  if (words[0] == "help" || words[0] == "quit") return consoles_.front().Execute(line);
  const std::string usage = words[0] + " needs the device first: " + words[0] + " 1 to " +
                            std::to_string(consoles_.size()) + ", or " + words[0] + " all\n";
  if (words.size() < 2) return {usage};
  std::vector<size_t> chosen;
  if (words[1] == "all") {
    for (size_t i = 0; i < consoles_.size(); ++i) chosen.push_back(i);
  } else {
    size_t number = 0;
    auto [end, ec] = std::from_chars(words[1].data(), words[1].data() + words[1].size(), number);
    if (ec != std::errc() || end != words[1].data() + words[1].size() || number < 1 ||
        number > consoles_.size())
      return {usage};
    chosen.push_back(number - 1);
  }
  std::string rest = words[0];
  for (size_t i = 2; i < words.size(); ++i) rest += " " + words[i];

  if (words[0] == "cycle" && chosen.size() > 1 && words.size() <= 3) {
    // All at once, as when the bench's power strip is switched.
    uint32_t offMs = kDefaultCycleOffMs;
    if (words.size() == 3) {
      auto [end, ec] = std::from_chars(words[2].data(), words[2].data() + words[2].size(), offMs);
      if (ec != std::errc() || end != words[2].data() + words[2].size())
        return {"cycle needs a time in ms\n"};
    }
    for (size_t i : chosen) devices_[i]->SetPower(false);
    pause_(offMs);
    for (size_t i : chosen) devices_[i]->SetPower(true);
    return {"power off, on again after " + std::to_string(offMs) + " ms (" +
            std::to_string(chosen.size()) + " devices)\n"};
  }
  SimConsole::Result all;
  for (size_t i : chosen) {
    SimConsole::Result one = consoles_[i].Execute(rest);
    std::istringstream lines(one.output);
    for (std::string text; std::getline(lines, text);)
      all.output += "#" + std::to_string(i + 1) + " " + text + "\n";
  }
  return all;
}

}  // namespace setwright::sim
