#include <chrono>
#include <thread>

#include "session/session_ui.h"

namespace setwright {
namespace {

class SteadyClock : public IClock {
 public:
  uint32_t NowMs() override {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<uint32_t>(ms.count());  // wraps like the system's tick count
  }
  void SleepMs(int ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};

}  // namespace

IClock& SystemClock() {
  static SteadyClock clock;
  return clock;
}

}  // namespace setwright
