// What a port object needs from the thing behind it: a local port or a network port.
// Transports live on the serial I/O thread; every method is called there, and they call
// their ReceiveSink there too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "serial/rfc2217_protocol.h"
#include "serial/serial_port.h"

namespace setwright::serial_detail {

class ReceiveSink {
 public:
  virtual ~ReceiveSink() = default;
  // Room left in the receive store; a transport never hands over more than this.
  virtual size_t FreeSpace() = 0;
  virtual void Receive(const char* data, size_t size) = 0;
  // A network port finished (ok) or gave up (!ok, why tells the reason) opening.
  virtual void OpenFinished(bool ok, const OpenError& why) = 0;
  // The device or the connection went away; the port is to read as closed.
  virtual void ConnectionLost() = 0;
};

class Transport {
 public:
  virtual ~Transport() = default;
  // Local ports return true/false at once. Network ports return true when the connection
  // attempt started and report the outcome through ReceiveSink::OpenFinished.
  virtual bool Open() = 0;
  // Why Open() returned false.
  virtual OpenError OpenFailureReason() const { return {OpenFailure::Other, "cannot be opened"}; }
  virtual bool OpensAsynchronously() const { return false; }
  virtual int Write(const char* data, int size) = 0;
  virtual void SetRts(bool on) = 0;
  virtual void SetBaudRate(int baudRate) = 0;
  // The modem lines in our bit layout, or nothing when the system cannot tell.
  virtual std::optional<uint32_t> ModemLines() = 0;
  // The same, asked from any thread without waking the I/O thread: a local port asks the
  // system on its own descriptor, a network port gives the last state its server reported.
  // The port object calls it with its lock held, so the transport is not destroyed meanwhile.
  virtual std::optional<uint32_t> ModemLinesFromAnyThread() = 0;
  // Moves waiting bytes into the sink, as far as it has room.
  virtual void Pull() = 0;
  // Stops collecting, drops pending input and releases the port.
  virtual void Close() = 0;
};

std::unique_ptr<Transport> MakeLocalTransport(const std::string& name,
                                              const rfc2217::PortSettings& settings,
                                              size_t storeSize, ReceiveSink& sink);
std::unique_ptr<Transport> MakeNetworkTransport(const std::string& url,
                                                const rfc2217::PortSettings& settings,
                                                size_t storeSize, int connectTimeoutMs,
                                                ReceiveSink& sink);
bool IsNetworkPortName(const std::string& name);

// Local port steps that need the system's own calls (serial_local_<system>.cpp).
// Called right after Qt opened the port: takes an exclusive lock on the device and makes
// the line fully raw (no XON/XOFF unless asked for, no character translation).
bool PreparePlatformPort(intptr_t handle, bool softwareFlow);
std::optional<uint32_t> PlatformModemLines(intptr_t handle);
// Why a local port cannot be opened, asked of the system after Qt's opening failed (Qt
// calls a busy port "permission denied"). qtGuess is what Qt's error code says.
OpenError PlatformOpenFailure(const std::string& name, const OpenError& qtGuess);
// The reason for a port the platform step refused: another program holds its lock.
OpenError PortLockedError();

}  // namespace setwright::serial_detail
