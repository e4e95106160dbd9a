// Port numbers, the ordered listing, the watch over the listing, and the system lister
// with the network ports of the settings file.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <mutex>
#include <string_view>

#include "serial/port_listing.h"
#include "serial/serial_port_info.h"

namespace setwright {

namespace {

std::mutex networkPortsMutex;
std::vector<std::string> networkPorts;

// The local listing served from memory, followed by the network ports.
class SystemListerWithNetworkPorts : public IPortLister {
 public:
  SystemListerWithNetworkPorts() : cached_(plain_, CreateDeviceNotifier()) {}

  std::vector<SerialPortInfo> List() override {
    std::vector<SerialPortInfo> listing = cached_.List();
    std::lock_guard lock(networkPortsMutex);
    for (const std::string& url : networkPorts) {
      listing.push_back({url, "Network serial port (RFC 2217)", "", true});
    }
    return listing;
  }

 private:
  SystemPortLister plain_;
  CachedPortLister cached_;
};

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// A name without a port number, split into the text before its trailing number and the
// number's digits (without leading zeros, so that digit strings compare by length first).
struct TextKey {
  std::string_view stem;
  std::string_view digits;
  bool hasNumber = false;

  explicit TextKey(std::string_view name) {
    size_t end = name.size();
    while (end > 0 && IsDigit(name[end - 1])) --end;
    stem = name.substr(0, end);
    digits = name.substr(end);
    hasNumber = !digits.empty();
    while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
  }

  bool operator<(const TextKey& other) const {
    if (stem != other.stem) return stem < other.stem;
    if (hasNumber != other.hasNumber) return !hasNumber;  // "ttyS" before "ttyS0"
    if (digits.size() != other.digits.size()) return digits.size() < other.digits.size();
    return digits < other.digits;
  }
};

}  // namespace

std::optional<int> PortNumber(const std::string& portName) {
  if (portName.size() < 4) return std::nullopt;
  for (int i = 0; i < 3; ++i) {
    if (std::isspace(static_cast<unsigned char>(portName[i])) || portName[i] == '\0') {
      return std::nullopt;
    }
  }
  const char* first = portName.data() + 3;
  const char* last = portName.data() + portName.size();
  if (!std::all_of(first, last, IsDigit)) return std::nullopt;
  int value = 0;
  auto [end, error] = std::from_chars(first, last, value);
  if (error != std::errc() || end != last) return std::nullopt;  // too large for an int
  return value;
}

std::vector<std::string> OrderedPortNames(const std::vector<SerialPortInfo>& listing) {
  enum Group { kNumbered, kOtherLocal, kFixed };
  struct Entry {
    Group group;
    int number;
    TextKey text;
    const std::string* name;
  };
  std::vector<Entry> entries;
  entries.reserve(listing.size());
  for (const SerialPortInfo& info : listing) {
    std::optional<int> number = PortNumber(info.portName);
    Group group = info.fixed ? kFixed : number ? kNumbered : kOtherLocal;
    entries.push_back({group, number.value_or(0), TextKey(info.portName), &info.portName});
  }
  std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    if (a.group != b.group) return a.group < b.group;
    switch (a.group) {
      case kNumbered:
        return a.number < b.number;
      case kOtherLocal:
        return a.text < b.text;
      case kFixed:
        return false;
    }
    return false;
  });
  std::vector<std::string> names;
  names.reserve(entries.size());
  for (const Entry& entry : entries) names.push_back(*entry.name);
  return names;
}

void PortWatch::TakeSnapshot() {
  Rebuild(lister_.List());
}

int PortWatch::DetectNewPort(std::string& newPortName) {
  const std::vector<SerialPortInfo> listing = lister_.List();
  std::vector<std::string> fixed;
  size_t localCount = 0;
  for (const SerialPortInfo& info : listing) {
    if (info.fixed) {
      fixed.push_back(info.portName);
    } else {
      ++localCount;
    }
  }
  if (fixed != fixedPorts_) {
    fixedPorts_ = std::move(fixed);
    Compose();
  }

  // Only the counts are compared: a port replaced by another between two calls goes
  // unnoticed, as the pages expect.
  if (localCount < localPorts_.size()) {
    Rebuild(listing);
    return -1;
  }
  if (localCount == localPorts_.size()) return 0;

  for (const SerialPortInfo& info : listing) {
    if (info.fixed) continue;
    if (std::find(localPorts_.begin(), localPorts_.end(), info.portName) != localPorts_.end()) {
      continue;
    }
    localPorts_.push_back(info.portName);
    Compose();
    if (std::optional<int> number = PortNumber(info.portName)) {
      if (*number > 0) newPortName = "COM" + std::to_string(*number);
      return *number;
    }
    newPortName = info.portName;
    return 1;
  }
  return 0;
}

void PortWatch::Rebuild(const std::vector<SerialPortInfo>& listing) {
  localPorts_.clear();
  fixedPorts_.clear();
  for (const SerialPortInfo& info : listing) {
    (info.fixed ? fixedPorts_ : localPorts_).push_back(info.portName);
  }
  Compose();
}

void PortWatch::Compose() {
  knownPorts_ = localPorts_;
  knownPorts_.insert(knownPorts_.end(), fixedPorts_.begin(), fixedPorts_.end());
}

std::vector<SerialPortInfo> CSerialPortInfo::availablePortInfos() {
  return SystemLister().List();
}

void CSerialPortInfo::SetNetworkPorts(std::vector<std::string> urls) {
  std::vector<std::string> unique;
  for (std::string& url : urls) {
    if (std::find(unique.begin(), unique.end(), url) == unique.end()) {
      unique.push_back(std::move(url));
    }
  }
  std::lock_guard lock(networkPortsMutex);
  networkPorts = std::move(unique);
}

IPortLister& CSerialPortInfo::SystemLister() {
  static SystemListerWithNetworkPorts lister;
  return lister;
}

}  // namespace setwright
