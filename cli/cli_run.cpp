#include "cli/cli_run.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <memory>
#include <mutex>
#include <thread>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "cli/cli_signals.h"
#include "cli/terminal_ui.h"
#if SETWRIGHT_HAVE_SETTINGS_FILE
#include "config/network_ports.h"
#include "config/settings_file.h"
#endif
#include "provision/bench.h"
#include "provision/profile.h"
#include "serial/serial_port.h"
#include "serial/serial_port_info.h"
#include "serial/wire_trace.h"
#include "session/session.h"

namespace setwright::cli {

using provision::HasIdentification;
using provision::Joined;
using provision::JsonString;
using provision::SettingsOf;

namespace {

// Line breaks of a shown text, kept visible on one output line.
std::string OneLine(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r')
      out += "\\r";
    else if (c == '\n')
      out += "\\n";
    else
      out += c;
  }
  return out;
}

bool HasItem(const ModelTable& model, DumpItem item) {
  return model.HasEdit(item);
}

void PrintSettings(const ModelTable& model, Session& session, bool json, std::ostream& out) {
  FormState form = session.Form();
  auto settings = SettingsOf(model, form);
  if (json) {
    out << "{\"model\": " << JsonString(model.name)
        << ", \"product\": " << JsonString(form.productText) << ", \"identification\": "
        << (HasIdentification(model) ? JsonString(form.identificationText) : "null")
        << ", \"paired\": "
        << (HasItem(model, DumpItem::PairedSection) ? JsonString(form.pairedText) : "null")
        << ", \"settings\": {";
    for (size_t i = 0; i < settings.size(); ++i)
      out << (i ? ", " : "") << JsonString(settings[i].first) << ": "
          << JsonString(settings[i].second);
    out << "}}\n";
  } else {
    out << "product=" << OneLine(form.productText) << '\n';
    if (HasIdentification(model))
      out << "identification=" << OneLine(form.identificationText) << '\n';
    if (HasItem(model, DumpItem::PairedSection))
      out << "paired=" << OneLine(form.pairedText) << '\n';
    for (const auto& [key, value] : settings) out << key << '=' << value << '\n';
  }
  out.flush();
}

const std::string kOpenFailed = "Open COM failed! Close using COM APP!";

bool IsOpenFailedReport(const std::string& text) {
  return text.rfind(kOpenFailed, 0) == 0;  // the port's reason may follow on a second line
}

// Red reports after which the session keeps waiting for the device. A program-mode
// time-out is not one of them: the command was sent and the device did not answer.
bool IsWaitingReport(const std::string& text) {
  return IsOpenFailedReport(text) || text == "Waiting for device connected!";
}

// A port that waiting cannot bring: the user may not open it, its host name does not
// resolve, or a keyboard-to-serial device's port that is not there (these devices never
// bring up a port of their own; a serial-to-keyboard device does, so for it a missing
// port may still come).
bool WaitingCannotCure(const ModelTable& model, const OpenError& error) {
  switch (error.reason) {
    case OpenFailure::PermissionDenied:
    case OpenFailure::NameNotResolved:
      return true;
    case OpenFailure::NoSuchPort:
      return model.family == Family::KeyboardToSerial;
    default:
      return false;
  }
}

const char* ReasonName(OpenFailure reason) {
  switch (reason) {
    case OpenFailure::PermissionDenied:
      return "permission denied";
    case OpenFailure::NoSuchPort:
      return "no such port";
    case OpenFailure::Busy:
      return "busy";
    case OpenFailure::Refused:
      return "refused";
    case OpenFailure::Unreachable:
      return "unreachable";
    case OpenFailure::TimedOut:
      return "timed out";
    case OpenFailure::NameNotResolved:
      return "name not resolved";
    case OpenFailure::None:
    case OpenFailure::Other:
      break;
  }
  return "other";
}

bool IsTerminal(FILE* stream) {
#ifdef _WIN32
  return _isatty(_fileno(stream)) != 0;
#else
  return ::isatty(::fileno(stream)) != 0;
#endif
}

void PrintPortsJson(const std::vector<SerialPortInfo>& listing, std::ostream& out) {
  out << "[";
  for (size_t i = 0; i < listing.size(); ++i) {
    const SerialPortInfo& p = listing[i];
    auto orNull = [](const std::string& text) { return text.empty() ? "null" : JsonString(text); };
    out << (i ? ",\n " : "\n ") << "{\"port\": " << JsonString(p.portName)
        << ", \"description\": " << orNull(p.description)
        << ", \"hardware_id\": " << orNull(p.hardwareId) << ", \"usb_vid\": " << orNull(p.vendorId)
        << ", \"usb_pid\": " << orNull(p.productId)
        << ", \"serial_number\": " << orNull(p.serialNumber)
        << ", \"by_id\": " << orNull(p.stableName)
        << ", \"network\": " << (p.fixed ? "true" : "false") << "}";
  }
  out << (listing.empty() ? "]\n" : "\n]\n");
}

using SteadyClock = std::chrono::steady_clock;

}  // namespace

int Run(const Options& options, std::ostream& out, std::ostream& err) {
  if (options.command == Command::Apply || options.command == Command::Station)
    return RunBench(options, out, err);
  if (options.command == Command::Ports) {
#if SETWRIGHT_HAVE_SETTINGS_FILE
    // Only read: the command never creates or changes the settings file.
    SettingsFile settings;
    if (settings.Exists()) CSerialPortInfo::SetNetworkPorts(ReadNetworkPorts(settings));
#endif
    const std::vector<SerialPortInfo> listing = CSerialPortInfo::availablePortInfos();
    const std::vector<std::string> names = OrderedPortNames(listing);
    if (options.json) {
      std::vector<SerialPortInfo> ordered;
      for (const std::string& name : names) {
        auto it = std::find_if(listing.begin(), listing.end(),
                               [&](const SerialPortInfo& p) { return p.portName == name; });
        if (it != listing.end()) ordered.push_back(*it);
      }
      PrintPortsJson(ordered, out);
    } else {
      for (const std::string& name : names) out << name << '\n';
    }
    return kExitOk;
  }

  const ModelTable* model = FindModel(options.model);
  if (!model) {
    std::vector<std::string> names;
    for (const ModelTable* m : AllModels()) names.push_back(m->name);
    err << "unknown model " << options.model << "; models: " << Joined(names) << '\n';
    return kExitUsage;
  }
  if (options.command == Command::ClearPaired && !model->hasCleanPaired) {
    err << model->name << " has no paired devices to clear\n";
    return kExitUsage;
  }
  auto assignments = options.assignments;
  for (auto& [key, value] : assignments) {
    if (auto refusal = provision::RefusalBeforeEntry(*model, key, value)) {
      err << *refusal << '\n';
      return kExitUsage;
    }
  }

  std::unique_ptr<FileWireTrace> trace;
  if (!options.trace.empty()) {
    trace = std::make_unique<FileWireTrace>(options.trace);
    if (!trace->Ok()) {
      err << "cannot open trace " << options.trace << ": " << trace->Error() << '\n';
      return kExitUsage;
    }
  }
  const bool onTerminal = &err == &std::cerr && IsTerminal(stderr);
  TerminalUi ui(err, onTerminal, trace.get(), options.port);
  provision::ListingWithPort lister(CSerialPortInfo::SystemLister(), options.port);
  std::unique_ptr<ISerialPort> selectedPortObject = MakePort(trace.get());
  ISerialPort& selectedPort = *selectedPortObject;
  std::unique_ptr<ISerialPort> newPort;
  if (model->family == Family::SerialToKeyboard) newPort = MakePort(trace.get());
  Session session(*model, selectedPort, newPort.get(), lister, SystemClock());
  session.SetUi(&ui);
  session.SetManualTicks(true);
  session.SetPortName(options.port);
  session.SetLineSettings(9600, ParityNone, 8, StopTwo);
  session.Open();

  auto isIdle = [&] {
    SessionState s = session.State();
    return (s == SessionState::IdleSelectedPort || s == SessionState::IdleNewPort) &&
           !session.AwaitingReply();
  };

  enum class Phase { Entering, Operating, Done };
  Phase phase = Phase::Entering;
  int status = kExitNoDevice;
  bool operationStarted = false;
  const auto openedAt = SteadyClock::now();
  const auto deadline =
      openedAt + std::chrono::milliseconds(static_cast<long long>(options.waitSeconds * 1000));
  auto lastEnter = openedAt - std::chrono::hours(1);

  auto finish = [&](int code) {
    status = code;
    phase = Phase::Done;
  };
  // Printed on stdout with --json for the errors a script acts upon.
  std::string jsonError;
  auto jsonField = [](const char* name, const std::string& value) {
    return std::string(", \"") + name + "\": " + JsonString(value);
  };

  // A signal ends the command as closing the page does. The session is closed from here
  // too, so that a network port still opening on the run loop's thread gives up at once.
  // It looks ten times a second: soon enough for a person pressing Ctrl-C, and cheap for a
  // session that waits for hours.
  std::mutex watchMutex;
  std::condition_variable watchWake;
  bool loopDone = false;
  std::thread signalWatch([&] {
    std::unique_lock lock(watchMutex);
    while (!loopDone && StopSignal() == 0) watchWake.wait_for(lock, std::chrono::milliseconds(100));
    lock.unlock();
    if (StopSignal() != 0) session.Close();
  });

  while (phase != Phase::Done) {
    if (int signal = StopSignal()) {
      status = 128 + signal;
      break;
    }
    if (SteadyClock::now() >= deadline) {
      ui.SetStatus("");
      if (phase == Phase::Entering) {
        err << "no " << model->name << " answered on " << options.port << " within "
            << options.waitSeconds << " s\n";
        status = kExitNoDevice;
        jsonError = "{\"error\": \"no device\"" + jsonField("model", model->name) +
                    jsonField("port", options.port) + "}";
      } else {
        status = kExitDeviceError;
      }
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    session.Tick();
    if (int pause = session.TakeExtraPauseMs(); pause > 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(pause));

    while (auto event = ui.TakeEvent()) {
      if (event->box) {
        if (auto product = TerminalUi::ReportedProduct(event->text)) {
          if (options.json) {
            out << "{\"error\": \"another model\"" << jsonField("model", *product)
                << jsonField("expected", model->name) << jsonField("port", options.port) << "}\n";
          } else {
            out << *product << '\n';
          }
          finish(kExitOtherModel);
          break;
        }
        if (event->colour == Colour::Red) {
          finish(kExitDeviceError);
          break;
        }
        continue;
      }
      if (event->colour != Colour::Red) continue;
      if (IsOpenFailedReport(event->text)) {
        ISerialPort& failed =
            session.UsingNewPort() && newPort ? static_cast<ISerialPort&>(*newPort) : selectedPort;
        const OpenError why = failed.lastOpenError();
        if (WaitingCannotCure(*model, why)) {
          jsonError = "{\"error\": \"cannot open the port\"" + jsonField("port", options.port) +
                      jsonField("reason", ReasonName(why.reason)) + jsonField("text", why.text) +
                      "}";
          finish(kExitCannotOpen);
          break;
        }
      }
      if (phase == Phase::Entering && IsWaitingReport(event->text)) continue;
      if (event->text.rfind("Product is ", 0) == 0) continue;  // its box follows
      finish(kExitDeviceError);
      break;
    }
    if (phase == Phase::Done) break;

    auto now = SteadyClock::now();
    if (phase == Phase::Entering && onTerminal) {
      // What is awaited, with the time left, on one line kept below the reports.
      std::string awaited = "waiting for the device's power restart";
      if (auto last = ui.LastReport()) {
        if (IsOpenFailedReport(last->text)) {
          awaited = "waiting for the port";
        } else if (last->text == "Waiting for reading PROGRAM MODE!") {
          awaited = "waiting for the device's answer";
        }
      }
      const auto left = std::chrono::duration<double>(deadline - now).count();
      ui.SetStatus(awaited + " \u2026 " + std::to_string(static_cast<long>(std::ceil(left))) +
                   " s left");
    } else {
      ui.SetStatus("");
    }
    if (phase == Phase::Entering) {
      if (session.InProgramMode() && isIdle()) {
        phase = Phase::Operating;
      } else if (options.enter && isIdle() && !session.InProgramMode() &&
                 now - openedAt >= std::chrono::milliseconds(model->enterDebounceMs + 50) &&
                 now - lastEnter >= std::chrono::seconds(3)) {
        lastEnter = now;
        session.EnterProgMode();
      }
      if (phase != Phase::Operating) continue;
    }

    // In program mode with the device's settings in the form.
    switch (options.command) {
      case Command::Read:
        PrintSettings(*model, session, options.json, out);
        finish(kExitOk);
        break;
      case Command::Write:
        if (!operationStarted) {
          session.EditForm(
              [&](FormState& form) { provision::PutIntoForm(*model, assignments, form); });
          // The page's own checks, as when the user leaves each box.
          std::optional<std::string> refusal = provision::RefusalInForm(session);
          if (refusal) {
            err << "box [" << model->name << "]: " << *refusal << '\n';
            finish(kExitUsage);
            break;
          }
          session.SaveAndReset();
          operationStarted = session.State() == SessionState::Writing;
        }
        break;
      case Command::Default:
        if (!operationStarted) {
          session.SetToDefault();
          operationStarted = !isIdle();
        }
        break;
      case Command::ClearPaired:
        if (!operationStarted) {
          session.CleanPairedDevice();
          operationStarted = !isIdle();
        }
        break;
      case Command::Ports:
      case Command::Apply:
      case Command::Station:
        break;
    }
    if (phase == Phase::Done || !operationStarted || !isIdle()) continue;

    // The operation has ended; red reports ended the loop above, so this is success.
    if (options.command == Command::Default) PrintSettings(*model, session, options.json, out);
    finish(kExitOk);
  }

  {
    std::lock_guard lock(watchMutex);
    loopDone = true;
  }
  watchWake.notify_all();
  signalWatch.join();
  ui.SetStatus("");
  session.Close();
  if (options.json && !jsonError.empty()) out << jsonError << '\n';
  return status;
}

}  // namespace setwright::cli
