// setwright-cli: reads, writes and resets converter devices from scripts, one port per
// command, or many ports at once with apply and station. It runs the same sessions as the
// program's pages, writes no settings file and takes no single-instance guard.
#include <QCoreApplication>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/cli_run.h"
#include "cli/cli_signals.h"

int main(int argc, char** argv) {
  using namespace setwright::cli;
  // The serial layer runs its ports on Qt threads, which need an application object.
  QCoreApplication app(argc, argv);
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  auto options = ParseOptions(args, error);
  if (!options) {
    std::cerr << "setwright-cli: " << error << '\n' << HelpHint() << '\n';
    return kExitUsage;
  }
  if (options->help) {
    std::cout << UsageText();
    return kExitOk;
  }
  if (options->version) {
    std::cout << "setwright-cli " SETWRIGHT_VERSION "\n";
    return kExitOk;
  }
  InstallStopSignals();
  return Run(*options, std::cout, std::cerr);
}
