// The machine's serial ports: the listing, the port number, the ordered names shown in
// the selection dialog, and the watch the serial-to-keyboard pages keep over the listing.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace setwright {

struct SerialPortInfo {
  std::string portName;     // the name the port is opened with, e.g. COM3 or /dev/ttyUSB0
  std::string description;
  std::string hardwareId;
};

// Where listings come from; tests give their own to play ports appearing and vanishing.
class IPortLister {
 public:
  virtual ~IPortLister() = default;
  virtual std::vector<SerialPortInfo> List() = 0;
};

class CSerialPortInfo {
 public:
  // Local ports of the machine followed by the network ports named in the settings
  // file (see SetNetworkPorts), in that order. Empty when enumeration fails.
  static std::vector<SerialPortInfo> availablePortInfos();
  // Static network port entries ("rfc2217://HOST:PORT") appended to every listing.
  static void SetNetworkPorts(std::vector<std::string> urls);
  // The lister behind availablePortInfos(), for code that takes an IPortLister.
  static IPortLister& SystemLister();
};

// The number after the first three characters of the name ("%*3s%d"): COM3 -> 3.
std::optional<int> PortNumber(const std::string& portName);

// Port names in the order the selection dialog shows them (each port exactly once).
std::vector<std::string> OrderedPortNames(const std::vector<SerialPortInfo>& listing);

// KnownPorts and DetectNewPort of a serial-to-keyboard page.
class PortWatch {
 public:
  explicit PortWatch(IPortLister& lister) : lister_(lister) {}

  // Empties KnownPorts and fills it with every listed port, in listing order.
  void TakeSnapshot();
  // > 0: a port appeared, newPortName is the name to open ("COM%d" for names with a port
  //      number, the port's own name otherwise); 0: nothing to report; -1: a port went away.
  int DetectNewPort(std::string& newPortName);

  const std::vector<std::string>& KnownPorts() const { return knownPorts_; }

 private:
  IPortLister& lister_;
  std::vector<std::string> knownPorts_;
};

}  // namespace setwright
