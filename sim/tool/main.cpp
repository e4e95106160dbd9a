// setwright-sim: serves one simulated device as a network serial port and takes commands on
// its console. The first line on stdout is the port's URL, so scripts can read it and connect.
#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "sim/pty_server.h"
#include "sim/rfc2217_server.h"
#include "sim/sim_console.h"
#include "sim/sim_device.h"

using setwright::sim::ParseSimArgs;
using setwright::sim::PtyServer;
using setwright::sim::Rfc2217Server;
using setwright::sim::SimArgs;
using setwright::sim::SimConsole;
using setwright::sim::SimDevice;
using setwright::sim::SimUsage;

namespace {

std::atomic<int> stopSignal{0};

extern "C" void OnStopSignal(int signal) {
  stopSignal.store(signal);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);

  std::vector<std::string> args(argv + 1, argv + argc);
  SimArgs parsed;
  std::string error;
  if (!ParseSimArgs(args, &parsed, &error)) {
    std::fprintf(stderr, "setwright-sim: %s\nTry 'setwright-sim --help' for more information.\n",
                 error.c_str());
    return 2;
  }
  if (parsed.help) {
    std::fputs(SimUsage().c_str(), stdout);
    return 0;
  }
  if (parsed.version) {
    std::puts("setwright-sim " SETWRIGHT_VERSION);
    return 0;
  }

  // A signal ends the server as "quit" does, from before its address is printed.
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);
#ifdef SIGHUP
  std::signal(SIGHUP, OnStopSignal);
#endif
  auto device = SimDevice::Create(parsed.model, parsed.options);
  Rfc2217Server server(*device, parsed.bindAddress, parsed.port);
  PtyServer pty(*device);
  std::string where;
  if (parsed.pty) {
    std::string reason;
    if (!pty.Start(&reason)) {
      std::fprintf(stderr, "setwright-sim: cannot create a pseudo-terminal: %s\n", reason.c_str());
      return 1;
    }
    where = pty.SlavePath();
  } else {
    if (!server.Start()) {
      std::fprintf(stderr, "setwright-sim: cannot serve on %s port %u\n",
                   parsed.bindAddress.c_str(), static_cast<unsigned>(parsed.port));
      return 1;
    }
    where = server.Url();
  }
  if (!parsed.startOff) device->SetPower(true);
  std::printf("%s\n", where.c_str());
  std::fflush(stdout);

  QTimer signalWatch;
  QObject::connect(&signalWatch, &QTimer::timeout, &app, [] {
    if (stopSignal.load() != 0) QCoreApplication::quit();
  });
  signalWatch.start(20);

  // The console reads on a thread of its own; the main thread only waits for the end.
  const bool quitOnEnd = parsed.quitOnEndOfInput;
  std::thread console([&device, quitOnEnd] {
    SimConsole commands(
        *device, [](uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); });
    std::string line;
    bool quit = false;
    while (!quit && std::getline(std::cin, line)) {
      const auto result = commands.Execute(line);
      std::fputs(result.output.c_str(), stdout);
      std::fflush(stdout);
      quit = result.quit;
    }
    if (quit || quitOnEnd) QMetaObject::invokeMethod(qApp, &QCoreApplication::quit);
  });
  int status = app.exec();
  server.Stop();
  pty.Stop();
  if (int signal = stopSignal.load()) status = 128 + signal;
  // Without --quit-on-eof the console may still wait for input; nothing is left to do there.
  console.detach();
  std::fflush(stdout);
  std::_Exit(status);
}
