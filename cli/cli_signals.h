// SIGINT, SIGTERM and SIGHUP end a command the way closing a page does: the run loop sees
// the signal, leaves program mode and closes the ports, and the program exits with
// 128 + the signal's number. A second signal ends the program at once.
#pragma once

namespace setwright::cli {

void InstallStopSignals();
// The signal that asked the command to end, or 0.
int StopSignal();
// For tests of the run loop: as if the signal had arrived.
void RequestStop(int signal);

}  // namespace setwright::cli
