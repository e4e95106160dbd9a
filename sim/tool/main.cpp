// setwright-sim: serves simulated devices as network serial ports and takes commands on its
// console. The first lines on stdout are the ports' URLs, one a device, so scripts can read
// them and connect.
#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "sim/pty_server.h"
#include "sim/rfc2217_server.h"
#include "sim/sim_console.h"
#include "sim/sim_device.h"

using setwright::sim::BenchConsole;
using setwright::sim::ParseSimArgs;
using setwright::sim::PtyServer;
using setwright::sim::Rfc2217Server;
using setwright::sim::SimArgs;
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
  std::vector<std::unique_ptr<SimDevice>> devices;
  std::vector<std::unique_ptr<Rfc2217Server>> servers;
  std::vector<SimDevice*> bench;
  for (int i = 0; i < parsed.count; ++i) {
    devices.push_back(SimDevice::Create(parsed.model, parsed.options));
    devices.back()->SetUnitNumber(i + 1, parsed.count);
    bench.push_back(devices.back().get());
  }
  PtyServer pty(*devices.front());
  std::vector<std::string> where;
  if (parsed.pty) {
    std::string reason;
    if (!pty.Start(&reason)) {
      std::fprintf(stderr, "setwright-sim: cannot create a pseudo-terminal: %s\n", reason.c_str());
      return 1;
    }
    where.push_back(pty.SlavePath());
  } else {
    for (int i = 0; i < parsed.count; ++i) {
      const uint16_t port = parsed.port == 0 ? 0 : static_cast<uint16_t>(parsed.port + i);
      servers.push_back(std::make_unique<Rfc2217Server>(*devices[i], parsed.bindAddress, port));
      if (!servers.back()->Start()) {
        std::fprintf(stderr, "setwright-sim: cannot serve on %s port %u\n",
                     parsed.bindAddress.c_str(), static_cast<unsigned>(port));
        return 1;
      }
      where.push_back(servers.back()->Url());
    }
  }
  for (auto& device : devices)
    if (!parsed.startOff) device->SetPower(true);
  for (const std::string& line : where) std::printf("%s\n", line.c_str());
  std::fflush(stdout);

  QTimer signalWatch;
  QObject::connect(&signalWatch, &QTimer::timeout, &app, [] {
    if (stopSignal.load() != 0) QCoreApplication::quit();
  });
  signalWatch.start(20);

  // The console reads on a thread of its own; the main thread only waits for the end.
  const bool quitOnEnd = parsed.quitOnEndOfInput;
  std::thread console([&bench, quitOnEnd] {
    BenchConsole commands(
        bench, [](uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); });
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
  for (auto& server : servers) server->Stop();
  pty.Stop();
  if (int signal = stopSignal.load()) status = 128 + signal;
  // Without --quit-on-eof the console may still wait for input; nothing is left to do there.
  console.detach();
  std::fflush(stdout);
  std::_Exit(status);
}
