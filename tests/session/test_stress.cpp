// The engine with its real poll thread while bytes keep arriving on another thread, the
// buttons and form checks run on a third and the page is opened and closed again and again.
// It checks that nothing hangs or crashes; built with ThreadSanitizer it also checks that
// every shared field is reached under the session's lock.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "support_session.h"

namespace setwright::testing {
namespace {

// Counts ticks: every tick asks whether a message box is open (so do the timers, on the
// user's thread, which are not counted).
class CountingUi : public RecordingUi {
 public:
  bool IsMessageBoxOpen() override {
    if (std::this_thread::get_id() != userThread.load()) ++ticks;
    return RecordingUi::IsMessageBoxOpen();
  }
  std::atomic<int> ticks{0};
  std::atomic<std::thread::id> userThread;
};

bool WaitForTicks(CountingUi& ui, int more) {
  int target = ui.ticks.load() + more;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (ui.ticks.load() < target) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

TEST(Stress, ThreadsMeetOnOneSession) {
  for (const char* modelName : {"MR-310SKB", "MR-320KBS"}) {
    SCOPED_TRACE(modelName);
    const ModelTable& model = *FindModel(modelName);
    bool serialToKeyboard = model.family == Family::SerialToKeyboard;
    FakeClock clock;
    FakePort selected("COM3");
    FakePort newPort("COM7");
    FakeLister lister;
    lister.Set({"COM3"});
    CountingUi ui;
    Session session(model, selected, serialToKeyboard ? &newPort : nullptr, lister, clock);
    session.SetUi(&ui);
    session.SetPortName("COM3");

    const std::string dump =
        serialToKeyboard
            ? Dump({"MR-310SKB V1", "(ID)", "B=9600", "-", "D=8", "S=1", "P=N", "RTS=E", "XON=D",
                    "MODE=2", "DEL=0D", "LF=1", "-", "COM=R", "CMD=@", "", " ?"})
            : Dump({"MR-320KBS V1", "ID", "-", "B=9600", "-", "D=8", "P=N", "S=1", "R=D", "XON=D",
                    "MODE=2", "LF=1", "T1=10"});
    const std::string other = Dump({"ZWE-710SKB V1"});

    std::atomic<bool> stop{false};
    std::thread device([&] {
      const std::string replies[] = {dump,
                                     "OK\r\n",
                                     "\r\n",
                                     other,
                                     "*** PROGRAM END ***\r\n",
                                     "\r\n*** DEFAULT ***\r\n",
                                     std::string(3000, 'x')};
      for (unsigned i = 0; !stop.load(); ++i) {
        selected.SetCts(i % 7 != 0);
        selected.Receive(replies[i % std::size(replies)]);
        if (i % 50 == 0)
          lister.Set(i % 100 == 0 ? std::vector<std::string>{"COM3", "COM7"}
                                  : std::vector<std::string>{"COM3"});
        std::this_thread::yield();
      }
    });
    std::thread user([&] {
      ui.userThread = std::this_thread::get_id();
      for (unsigned i = 0; !stop.load(); ++i) {
        clock.now += 150;
        switch (i % 6) {
          case 0:
            session.EnterProgMode();
            break;
          case 1:
            session.EditForm([](FormState& f) { f.selected["B"] = 6; });
            session.SaveAndReset();
            break;
          case 2:
            session.SetToDefault();
            break;
          case 3:
            session.CleanPairedDevice();
            break;
          case 4:
            session.CheckDelimiterOnFocusLost();
            session.CheckIntervalOnFocusLost();
            session.OnLineFeedMaskChanged();
            break;
          case 5:
            session.OnTimer(7);
            (void)session.Form();
            (void)session.State();
            ui.Take();
            break;
        }
        std::this_thread::yield();
      }
    });

    for (int round = 0; round < 15; ++round) {
      session.Open();
      ASSERT_TRUE(WaitForTicks(ui, 4));
      session.Close();
    }
    stop = true;
    device.join();
    user.join();
  }
}

}  // namespace
}  // namespace setwright::testing
