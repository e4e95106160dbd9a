// The network serial ports the settings file names, shared by the program and setwright-cli.
#pragma once

#include <string>
#include <vector>

#include "config/settings_file.h"

namespace setwright {

inline constexpr const char* kNetworkPortsSection = "NETWORK-PORTS";

// Every value of the section "NETWORK-PORTS" of the form rfc2217://HOST:PORT (the host a
// name, an IPv4 address or an IPv6 address in brackets; the port 1 to 65535), in the file's
// order. Other values are skipped.
std::vector<std::string> ReadNetworkPorts(const SettingsFile& settings);

}  // namespace setwright
