// Runs one setwright-cli command: the page session of a model on a port, driven from
// the terminal instead of a window.
#pragma once

#include <ostream>

#include "cli/cli_options.h"

namespace setwright::cli {

// out receives the settings read (text or JSON); err the session's reports.
int Run(const Options& options, std::ostream& out, std::ostream& err);

// apply and station: many ports at once (bench_run.cpp). out receives one result line per
// unit and the station's summary, err the progress. The first stop signal lets the units in
// progress finish.
int RunBench(const Options& options, std::ostream& out, std::ostream& err);

}  // namespace setwright::cli
