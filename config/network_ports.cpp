#include "config/network_ports.h"

#include <QRegularExpression>
#include <QString>

namespace setwright {

std::vector<std::string> ReadNetworkPorts(const SettingsFile& settings) {
  static const QRegularExpression form(
      QStringLiteral("^rfc2217://(\\[[0-9A-Fa-f:.]+\\]|[^\\s/:\\[\\]@]+):[0-9]{1,5}$"));
  std::vector<std::string> urls;
  for (const std::string& value : settings.ReadSectionValues(kNetworkPortsSection)) {
    const QString url = QString::fromLocal8Bit(value.c_str());
    if (!form.match(url).hasMatch()) continue;
    const int port = url.mid(url.lastIndexOf(QLatin1Char(':')) + 1).toInt();
    if (port >= 1 && port <= 65535) urls.push_back(value);
  }
  return urls;
}

}  // namespace setwright
