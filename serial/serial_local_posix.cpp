// Opening a local port and reading its modem lines on Linux and macOS alike.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "serial/serial_port.h"
#include "serial/serial_transport.h"

namespace setwright::serial_detail {

bool PreparePlatformPort(intptr_t handle, bool softwareFlow) {
  const int fd = static_cast<int>(handle);
  // Qt's lock file and TIOCEXCL do not stop every other program (TIOCEXCL is ignored for
  // privileged ones); an flock is honoured by the usual serial tools.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return false;
  termios tio{};
  if (::tcgetattr(fd, &tio) != 0) return false;
  // The terminal defaults would eat XON/XOFF bytes, turn CR into LF and echo input.
  tio.c_iflag &=
      ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXANY);
  if (!softwareFlow) tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF);
  tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  tio.c_cflag |= CREAD | CLOCAL;
  return ::tcsetattr(fd, TCSANOW, &tio) == 0;
}

OpenError PlatformOpenFailure(const std::string& name, const OpenError& qtGuess) {
  // Asked again of the system itself: Qt reports a port held by another program, and one
  // whose lock file another program keeps, as a permission error.
  const int fd = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    OpenFailure reason = OpenFailure::Other;
    switch (error) {
      case EACCES:
      case EPERM:
        reason = OpenFailure::PermissionDenied;
        break;
      case ENOENT:
      case ENODEV:
      case ENXIO:
      case ENOTDIR:
        reason = OpenFailure::NoSuchPort;
        break;
      case EBUSY:
        reason = OpenFailure::Busy;
        break;
      default:
        break;
    }
    return {reason, std::strerror(error)};
  }
  ::close(fd);
  // The system lets us open it: what stopped Qt is another program's lock on the port.
  if (qtGuess.reason == OpenFailure::PermissionDenied) return PortLockedError();
  return qtGuess;
}

OpenError PortLockedError() {
  return {OpenFailure::Busy, std::strerror(EBUSY)};
}

std::optional<uint32_t> PlatformModemLines(intptr_t handle) {
  int bits = 0;
  // Fails on pseudo-terminals, which have no modem lines.
  if (::ioctl(static_cast<int>(handle), TIOCMGET, &bits) != 0) return std::nullopt;
  uint32_t lines = 0;
  if (bits & TIOCM_CTS) lines |= kModemCts;
  if (bits & TIOCM_DSR) lines |= kModemDsr;
  if (bits & TIOCM_RNG) lines |= kModemRing;
  if (bits & TIOCM_CAR) lines |= kModemDcd;
  return lines;
}

}  // namespace setwright::serial_detail
