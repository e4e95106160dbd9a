// apply and station on the terminal: the bench of the provisioning layer, its progress on
// standard error (one line per port redrawn in place on a terminal, one line per event on a
// pipe or file) and one result line per unit on standard output.
#include <cstdio>
#include <iostream>
#include <map>
#include <memory>

#include "cli/cli_run.h"
#include "cli/cli_signals.h"
#include "provision/bench.h"
#include "provision/profile.h"
#include "provision/unit_result.h"
#include "serial/wire_trace.h"

#ifdef _WIN32
#include <io.h>
#define SETWRIGHT_ISATTY _isatty
#else
#include <unistd.h>
#define SETWRIGHT_ISATTY isatty
#endif

namespace setwright::cli {

namespace {

std::string Fixed(std::string text, size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

class Progress {
 public:
  Progress(std::ostream& out, std::ostream& err, bool terminal, std::string model)
      : out_(out), err_(err), terminal_(terminal), model_(std::move(model)) {}

  void Event(const provision::BenchEvent& event) {
    if (event.kind == provision::BenchEvent::Result) {
      Clear();
      out_ << provision::ResultLine(event.result) << '\n';
      out_.flush();
      return;
    }
    if (terminal_) return;  // the lines are redrawn instead
    const provision::PortStatus& s = event.status;
    std::string line = s.port + " " + model_ + ": " + provision::PhaseText(s);
    if (!s.note.empty() && s.phase != provision::Phase::Ended) line += " (" + s.note + ")";
    err_ << line << '\n';
    err_.flush();
  }

  void Draw(const std::vector<provision::PortStatus>& statuses) {
    if (!terminal_) return;
    size_t width = 0;
    for (const auto& s : statuses) width = std::max(width, s.port.size());
    Clear();
    for (const auto& s : statuses) {
      std::string line = Fixed(s.port, width) + "  " + model_ + "  " + provision::PhaseText(s);
      if (!s.note.empty() && s.phase != provision::Phase::Ended) line += " (" + s.note + ")";
      if (s.ok + s.failed > 0 && s.phase != provision::Phase::Ended)
        line += "  [" + std::to_string(s.ok) + " ok, " + std::to_string(s.failed) + " failed]";
      if (s.secondsLeft >= 0 && s.phase != provision::Phase::Ended)
        line += "  " + std::to_string(static_cast<int>(s.secondsLeft + 0.5)) + " s left";
      err_ << "\r\x1b[2K" << line << '\n';
    }
    err_.flush();
    drawn_ = statuses.size();
  }

 private:
  // Takes the drawn lines away, so that a result line can be printed in their place.
  void Clear() {
    if (!terminal_ || drawn_ == 0) return;
    err_ << "\x1b[" << drawn_ << "A\r\x1b[J";
    err_.flush();
    drawn_ = 0;
  }

  std::ostream& out_;
  std::ostream& err_;
  bool terminal_;
  std::string model_;
  size_t drawn_ = 0;
};

}  // namespace

int RunBench(const Options& options, std::ostream& out, std::ostream& err) {
  std::string error;
  auto profile = provision::LoadProfile(options.profile, error);
  if (!profile) {
    err << "setwright-cli: " << error << '\n';
    return kExitUsage;
  }
  const ModelTable* model = provision::CheckProfile(*profile, error);
  if (!model) {
    err << "setwright-cli: profile " << options.profile << ": " << error << '\n';
    return kExitUsage;
  }
  for (const std::string& port : options.ports) {
    if (port == provision::kAutoPort && model->family != Family::SerialToKeyboard) {
      err << "setwright-cli: --port auto needs a model that brings up its own USB port; "
          << model->name << " does not\n";
      return kExitUsage;
    }
  }
  std::unique_ptr<provision::ReportFile> report;
  if (!options.report.empty()) {
    report = std::make_unique<provision::ReportFile>(options.report);
    if (!report->Ok()) {
      err << "setwright-cli: " << report->Error() << '\n';
      return kExitUsage;
    }
  }
  std::unique_ptr<FileWireTrace> trace;
  if (!options.trace.empty()) {
    trace = std::make_unique<FileWireTrace>(options.trace);
    if (!trace->Ok()) {
      err << "setwright-cli: cannot open trace " << options.trace << ": " << trace->Error() << '\n';
      return kExitUsage;
    }
  }

  provision::BenchConfig config;
  config.profile = *profile;
  config.model = model;
  config.ports = options.ports;
  config.enter = options.enter;
  config.verify = options.verify;
  config.station = options.command == Command::Station;
  config.waitSeconds = options.waitSeconds;
  provision::SystemPorts ports(trace.get());
  provision::BenchDeps deps;
  deps.ports = &ports;
  deps.report = report.get();
  deps.trace = trace.get();

  const bool terminal = &err == &std::cerr && SETWRIGHT_ISATTY(2);
  Progress progress(out, err, terminal, model->name);
  provision::Bench bench(config, deps);
  bench.Start();
  // The first stop signal lets the units in progress finish; a second one ends the program
  // at once (cli_signals).
  bool stopAsked = false;
  int sinceDraw = 0;
  while (true) {
    const bool finished = bench.WaitFinished(100);
    for (const auto& event : bench.TakeEvents()) progress.Event(event);
    if (finished) break;
    if (!stopAsked && StopSignal() != 0) {
      stopAsked = true;
      bench.RequestStop();
    }
    if (++sinceDraw >= 2) {  // five times a second is enough for a person
      sinceDraw = 0;
      progress.Draw(bench.Statuses());
    }
  }
  progress.Draw(bench.Statuses());
  if (std::string problem = bench.ReportError(); !problem.empty())
    err << "setwright-cli: " << problem << '\n';

  if (config.station) {
    std::map<std::string, std::pair<int, int>> perPort;
    for (const auto& port : options.ports) perPort[port] = {0, 0};
    for (const auto& s : bench.Statuses()) perPort[s.port] = {s.ok, s.failed};
    out << "summary: " << bench.OkCount() << " ok, " << bench.FailedCount() << " failed\n";
    for (const auto& port : options.ports)
      out << "  " << port << ": " << perPort[port].first << " ok, " << perPort[port].second
          << " failed\n";
    out.flush();
  }
  if (!config.station && StopSignal() != 0) return 128 + StopSignal();
  if (bench.AllOk() && bench.ReportError().empty()) return kExitOk;
  return bench.OnlyPortsThatCannotOpenFailed() ? kExitCannotOpen : kExitDeviceError;
}

}  // namespace setwright::cli
