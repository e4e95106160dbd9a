// Windows steps of opening a local port and reading its modem lines.
#include <windows.h>

#include "serial/serial_transport.h"

namespace setwright::serial_detail {

// Windows opens communication devices exclusively and Qt already sets a raw DCB with the
// requested flow control, so nothing is left to do here.
bool PreparePlatformPort(intptr_t, bool) {
  return true;
}

// Windows refuses a port that another program has open with "access denied".
OpenError PlatformOpenFailure(const std::string&, const OpenError& qtGuess) {
  if (qtGuess.reason == OpenFailure::PermissionDenied) return {OpenFailure::Busy, qtGuess.text};
  return qtGuess;
}

OpenError PortLockedError() {
  return {OpenFailure::Busy, "Device or resource busy"};
}

std::optional<uint32_t> PlatformModemLines(intptr_t handle) {
  DWORD status = 0;
  if (!::GetCommModemStatus(reinterpret_cast<HANDLE>(handle), &status)) return std::nullopt;
  // MS_CTS_ON, MS_DSR_ON, MS_RING_ON and MS_RLSD_ON are the bits of our status word.
  return static_cast<uint32_t>(status) & 0xF0u;
}

}  // namespace setwright::serial_detail
