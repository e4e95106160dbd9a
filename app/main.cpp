#include <QApplication>
#include <thread>

#include "app/setwright_app.h"
#include "pages/pages.h"
#include "serial/serial_port_info.h"

int main(int argc, char** argv) {
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
