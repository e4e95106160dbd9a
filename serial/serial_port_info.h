// The machine's serial ports: the listing, the port number, the ordered names shown in
// the selection dialog, and the watch the serial-to-keyboard pages keep over the listing.
//
// Port names come in two kinds. Windows names ports "COM3": three characters and a
// number, the port number. Other systems name ports by their device path
// ("/dev/ttyUSB0"), which has no port number; such names are ordered by the text before
// their trailing number and then by that number, and a new one is reported by its own
// name. Network ports named in the settings file ("rfc2217://HOST:PORT") are fixed
// entries: listed after the local ports, never reported as new or gone.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace setwright {

struct SerialPortInfo {
  std::string portName;  // the name the port is opened with, e.g. COM3 or /dev/ttyUSB0
  std::string description;
  std::string hardwareId;
  bool fixed = false;  // a network port from the settings file, not a device of the machine
  // Where the system tells them: USB vendor and product id (4 hex digits), the adapter's
  // serial number, and the name that stays the same whichever order the devices come up
  // in (on Linux the /dev/serial/by-id/ link to the port).
  std::string vendorId{};
  std::string productId{};
  std::string serialNumber{};
  std::string stableName{};
};

// Where listings come from; tests give their own to play ports appearing and vanishing.
// List() may be called from any thread.
class IPortLister {
 public:
  virtual ~IPortLister() = default;
  virtual std::vector<SerialPortInfo> List() = 0;
};

class CSerialPortInfo {
 public:
  // Local ports of the machine followed by the network ports named in the settings
  // file (see SetNetworkPorts), in that order. Empty when enumeration fails.
  // The local part comes from a listing kept in memory and refreshed as soon as the
  // system reports a serial device added or removed, so it costs microseconds per call
  // and a port that appears or vanishes is still seen by the next call.
  static std::vector<SerialPortInfo> availablePortInfos();
  // Fixed network port entries ("rfc2217://HOST:PORT") appended to every listing, in
  // the given order; duplicates are listed once. Replaces the previous entries.
  static void SetNetworkPorts(std::vector<std::string> urls);
  // The lister behind availablePortInfos(), for code that takes an IPortLister.
  static IPortLister& SystemLister();
};

// The port number: the decimal number that makes up the whole name after its first three
// characters ("COM3" -> 3, "COM10" -> 10). Names of any other form, such as
// "/dev/ttyUSB0", "COM3a" or "rfc2217://host:4000", have none.
std::optional<int> PortNumber(const std::string& portName);

// Port names in the order the selection dialog shows them, each listed port exactly once:
// names with a port number by that number, then other local names by their text before
// the trailing number and by that number, then the fixed entries in listing order.
// Equal keys keep their listing order.
std::vector<std::string> OrderedPortNames(const std::vector<SerialPortInfo>& listing);

// KnownPorts and DetectNewPort of a serial-to-keyboard page. Not thread-safe: one page
// thread uses it at a time.
class PortWatch {
 public:
  explicit PortWatch(IPortLister& lister) : lister_(lister) {}

  // Empties KnownPorts and fills it with every listed port, in listing order.
  void TakeSnapshot();
  // Compares the count of local ports with the known ones (fixed entries never count):
  //  > 0: one port appeared and was appended to KnownPorts; newPortName is the name to
  //       open. For a name with a port number the result is that number and newPortName
  //       is "COM%d"; for any other name the result is 1 and newPortName the name itself.
  //    0: nothing to report (a new port numbered 0 is recorded but not reported);
  //       newPortName is left alone.
  //   -1: at least one port went away; KnownPorts is rebuilt from the listing.
  int DetectNewPort(std::string& newPortName);

  // Local ports seen so far, in the order they were seen, then the fixed entries of the
  // last listing.
  const std::vector<std::string>& KnownPorts() const { return knownPorts_; }

 private:
  void Rebuild(const std::vector<SerialPortInfo>& listing);
  void Compose();

  IPortLister& lister_;
  std::vector<std::string> localPorts_;
  std::vector<std::string> fixedPorts_;
  std::vector<std::string> knownPorts_;  // localPorts_ followed by fixedPorts_
};

}  // namespace setwright
