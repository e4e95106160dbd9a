#include "session/poll_thread.h"

#include <chrono>

namespace setwright {

PollThread::PollThread(TickFn tick, ExtraPauseFn extraPause, bool tickBeforeSleep, int periodMs)
    : tick_(std::move(tick)),
      extraPause_(std::move(extraPause)),
      tickBeforeSleep_(tickBeforeSleep),
      periodMs_(periodMs) {}

PollThread::~PollThread() {
  Stop();
  if (thread_.joinable()) thread_.detach();  // only when destroyed by its own thread
}

void PollThread::Start() {
  Stop();
  Join();
  std::lock_guard<std::mutex> lock(mutex_);
  stop_ = false;
  running_ = true;
  thread_ = std::thread(&PollThread::Loop, this);
}

void PollThread::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) Join();
}

void PollThread::Join() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

bool PollThread::Running() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return running_;
}

bool PollThread::Pause(int ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stop_; });
  return !stop_;
}

void PollThread::Loop() {
  if (tickBeforeSleep_) {
    do {
      tick_();
    } while (Pause(periodMs_ + extraPause_()));
  } else {
    while (Pause(periodMs_)) {
      tick_();
      int extra = extraPause_();
      if (extra > 0 && !Pause(extra)) break;
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  running_ = false;
}

}  // namespace setwright
