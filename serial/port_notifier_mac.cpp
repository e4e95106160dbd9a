// Device notifications on macOS are not used yet: the listing is taken afresh once a
// second, so a port that comes or goes is seen within a second.
#include "serial/port_listing.h"

namespace setwright {

std::unique_ptr<IPortChangeNotifier> CreateDeviceNotifier(const std::string&) {
  return std::make_unique<TimedRefreshNotifier>(1000);
}

}  // namespace setwright
