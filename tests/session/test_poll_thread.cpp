// The poll thread on its own, a product switch whose front end closes the page from
// within the poll thread's own tick (as a console front end does), and a port that takes
// its time to open.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

#include "session/poll_thread.h"
#include "support_session.h"

namespace setwright::testing {
namespace {

template <typename Done>
bool WaitFor(Done done) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

TEST(PollThread, TickOrderAndStopDuringAPause) {
  struct Case {
    bool tickBeforeSleep;
    int ticksBeforeStop;
  } cases[] = {{true, 1}, {false, 0}};
  for (const auto& c : cases) {
    std::atomic<int> ticks{0};
    // A pause far longer than any test: Stop() must cut it short.
    PollThread thread([&] { ++ticks; }, [] { return 0; }, c.tickBeforeSleep, 600000);
    thread.Start();
    if (c.ticksBeforeStop > 0) {
      ASSERT_TRUE(WaitFor([&] { return ticks.load() == c.ticksBeforeStop; }));
    }
    thread.Stop();
    EXPECT_FALSE(thread.Running());
    EXPECT_EQ(ticks.load(), c.ticksBeforeStop);
  }
}

TEST(PollThread, ProductSwitchClosedFromTheTick) {
  FakeClock clock;
  FakePort selected("COM3");
  FakePort newPort("COM7");
  FakeLister lister;
  lister.Set({"COM3"});
  RecordingUi ui;
  Session session(*FindModel("ZWE-710SKB"), selected, &newPort, lister, clock);
  session.SetUi(&ui);
  session.SetPortName("COM3");
  ui.closeOnRequest = &session;
  session.Open();
  ASSERT_TRUE(WaitFor([&] { return selected.isOpen(); }));
  clock.now += 100;
  session.EnterProgMode();
  selected.Receive("\r\n*** PROGRAM MODE ***\r\nMR-310SKB V1\r\n");
  // The page closes last, after the ports: wait for that rather than for the port.
  std::vector<std::string> calls;
  ASSERT_TRUE(WaitFor([&] {
    for (std::string& call : ui.Take()) calls.push_back(std::move(call));
    return !calls.empty() && calls.back() == "close page";
  }));
  EXPECT_FALSE(selected.isOpen());
  EXPECT_EQ(selected.TakeWritten(), "\r\n@PROG\r\n\x1b");
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls.back(), "close page");
  EXPECT_EQ(calls[calls.size() - 2], "request close");

  session.Open();  // OK pressed again in the selection dialog
  ASSERT_TRUE(WaitFor([&] { return selected.isOpen(); }));
  session.Close();
  EXPECT_EQ(selected.TakeWritten(), "");
  EXPECT_EQ(ui.Take().back(), "close page");
}

// A port whose opening waits until the test lets it go, as a network port waits for its
// server.
class SlowOpeningPort : public FakePort {
 public:
  using FakePort::FakePort;
  bool open() override {
    entered = true;
    std::unique_lock<std::mutex> lock(mu_);
    released_.wait(lock, [&] { return free_; });
    return FakePort::open();
  }
  void Release() {
    {
      std::lock_guard<std::mutex> lock(mu_);
      free_ = true;
    }
    released_.notify_all();
  }
  std::atomic<bool> entered{false};

 private:
  std::mutex mu_;
  std::condition_variable released_;
  bool free_ = false;
};

TEST(SlowPortOpening, HoldsUpNoOtherThreadAndAPageClosedMeanwhileKeepsItClosed) {
  for (bool closeWhileOpening : {false, true}) {
    FakeClock clock;
    SlowOpeningPort selected("COM3");
    FakeLister lister;
    lister.Set({"COM3"});
    RecordingUi ui;
    Session session(*FindModel("MR-320KBS"), selected, nullptr, lister, clock);
    session.SetUi(&ui);
    session.SetPortName("COM3");
    session.SetManualTicks(true);
    session.Open();
    clock.now += 1000;
    std::thread ticker([&] { session.Tick(); });
    ASSERT_TRUE(WaitFor([&] { return selected.entered.load(); }));

    // The user interface goes on meanwhile; a button is ignored as while a reply is awaited.
    auto ui_thread = std::async(std::launch::async, [&] {
      session.EditForm([](FormState& form) { form.intervalText = "20"; });
      session.EnterProgMode();
      if (closeWhileOpening) session.Close();
      return session.Form().intervalText;
    });
    bool answered = ui_thread.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    selected.Release();
    ticker.join();
    ASSERT_TRUE(answered) << "the user interface waited for the port";
    EXPECT_EQ(ui_thread.get(), "20");
    EXPECT_EQ(selected.OpenCount(), 1);
    EXPECT_EQ(selected.TakeWritten(), "");
    EXPECT_EQ(selected.isOpen(), !closeWhileOpening);
    if (!closeWhileOpening) session.Close();
  }
}

}  // namespace
}  // namespace setwright::testing
