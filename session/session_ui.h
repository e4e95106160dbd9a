// What the session engine needs from a front end (a Qt page, the command-line tool, a test).
// Every call may come from PollThread or from the user-interface thread.
#pragma once

#include <cstdint>
#include <string>

#include "session/model_table.h"

namespace setwright {

enum class MessageButtons { Ok, OkCancel };
enum class MessageResult { Ok, Cancel };

class ISessionUi {
 public:
  virtual ~ISessionUi() = default;

  // Replace the log box text and colour.
  virtual void Report(const std::string& text, Colour colour) = 0;
  // The engine changed the form state (lists, edit boxes, shown texts): show it again.
  virtual void FormChanged() = 0;
  // Modal message box with the page's model name as caption and an exclamation icon.
  // Blocks the calling thread until it is answered (by the user or by AnswerMessageBox).
  virtual MessageResult ShowMessageBox(const std::string& text, const std::string& caption,
                                       MessageButtons buttons) = 0;
  // Pause rule: is one of this page's message boxes open?
  virtual bool IsMessageBoxOpen() = 0;
  // Auto-answer: press OK on (pressOk) or close the page's open message box.
  virtual void AnswerMessageBox(bool pressOk) = 0;
  // One-shot timers 1 to 7 on the page; when one fires the front end calls Session::OnTimer.
  virtual void StartTimer(int id, int ms) = 0;
  virtual void StopTimer(int id) = 0;
  // End the page's modal run (the page has been closed by Session::Close).
  virtual void ClosePage() = 0;
  // The page asks to be closed (after a product switch); the front end then runs Session::Close.
  virtual void RequestClose() = 0;
  // Selection dialog operations.
  virtual void SelectProduct(int productIndex) = 0;
  virtual void CloseSelectionDialog() = 0;
};

// The engine's clocks: a millisecond tick count (wrapping at 2^32) and a sleep.
class IClock {
 public:
  virtual ~IClock() = default;
  virtual uint32_t NowMs() = 0;
  virtual void SleepMs(int ms) = 0;
};

// The system clock.
IClock& SystemClock();

}  // namespace setwright
