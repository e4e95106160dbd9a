// The page's worker thread: one engine tick about every 50 ms, with the pause the engine
// asks for after a tick. Stop() ends the loop at once, also in the middle of a pause.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace setwright {

class PollThread {
 public:
  using TickFn = std::function<void()>;
  using ExtraPauseFn = std::function<int()>;  // milliseconds to add after the tick just run

  // tickBeforeSleep: tick at once, then pause; otherwise pause before every tick.
  PollThread(TickFn tick, ExtraPauseFn extraPause, bool tickBeforeSleep, int periodMs = 50);
  ~PollThread();
  PollThread(const PollThread&) = delete;
  PollThread& operator=(const PollThread&) = delete;

  void Start();
  // Ends the loop and waits for the thread, unless called from the thread itself (a tick
  // that closes its own page): the thread then ends after that tick, and the next Start()
  // or the destructor collects it.
  void Stop();
  bool Running() const;

 private:
  void Loop();
  bool Pause(int ms);  // false when asked to stop
  void Join();

  TickFn tick_;
  ExtraPauseFn extraPause_;
  bool tickBeforeSleep_;
  int periodMs_;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  bool running_ = false;
  std::thread thread_;
};

}  // namespace setwright
