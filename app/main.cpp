#include <QApplication>
#include <cstdio>
#include <cstring>
#include <thread>

#include "app/setwright_app.h"
#include "pages/pages.h"
#include "serial/serial_port_info.h"

namespace {

const char kUsage[] =
    "Usage: setwright [--help | --version]\n"
    "\n"
    "Configures the six converter devices over a serial port: pick the model and the port,\n"
    "press OK, and the settings page of that model reads and writes the device's settings.\n"
    "The program keeps its choice in SETWRIGHT.ini in the directory it is started from\n"
    "(the desktop entry starts it in ~/.local/share/setwright/). It takes nothing else\n"
    "from its command line; setwright-cli does the same from scripts.\n";

}  // namespace

int main(int argc, char** argv) {
  // Answered before any window system is asked for, so that they work without a display.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::puts("setwright " SETWRIGHT_VERSION);
      return 0;
    }
  }
  // The machine's ports are listed while the connection to the window system is made: the
  // listing takes about as long, and the selection dialog needs it before it is shown. The
  // listing is kept in memory, so the dialog takes it from there.
  std::thread listing([] { setwright::CSerialPortInfo::availablePortInfos(); });
  QApplication application(argc, argv);
  setwright::CSetwrightApp app;
  const int status = app.Run(
      [](setwright::ISelectionDialog& dialog) { return setwright::CreateProductPages(dialog); });
  listing.join();
  return status;
}
