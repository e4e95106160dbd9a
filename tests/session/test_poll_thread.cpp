// The poll thread on its own, and a product switch whose front end closes the page from
// within the poll thread's own tick (as a console front end does).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
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
  ASSERT_TRUE(WaitFor([&] { return !selected.isOpen(); }));
  EXPECT_EQ(selected.TakeWritten(), "\r\n@PROG\r\n\x1b");
  std::vector<std::string> calls = ui.Take();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls.back(), "close page");
  EXPECT_EQ(calls[calls.size() - 2], "request close");

  session.Open();  // OK pressed again in the selection dialog
  ASSERT_TRUE(WaitFor([&] { return selected.isOpen(); }));
  session.Close();
  EXPECT_EQ(selected.TakeWritten(), "");
  EXPECT_EQ(ui.Take().back(), "close page");
}

}  // namespace
}  // namespace setwright::testing
