// The session's reports on a terminal: one line per report ("blue: TEXT"), a line break
// inside a message continuing on the next line, indented; message boxes as
// "box [CAPTION]: TEXT". Boxes are answered at once: there is nobody to click them.
#pragma once

#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "serial/wire_trace.h"
#include "session/session_ui.h"

namespace setwright::cli {

class TerminalUi : public ISessionUi {
 public:
  // statusLine: out is a terminal, on which SetStatus may show one line updated in place.
  // Reports and boxes also go into `trace`, as notes on `port`, when one is given.
  explicit TerminalUi(std::ostream& out, bool statusLine = false, WireTrace* trace = nullptr,
                      std::string port = {})
      : out_(out), statusLine_(statusLine), trace_(trace), port_(std::move(port)) {}

  void Report(const std::string& text, Colour colour) override;
  void FormChanged() override {}
  MessageResult ShowMessageBox(const std::string& text, const std::string& caption,
                               MessageButtons buttons) override;
  bool IsMessageBoxOpen() override { return false; }
  void AnswerMessageBox(bool) override {}
  void StartTimer(int, int) override {}
  void StopTimer(int) override {}
  void ClosePage() override;
  void RequestClose() override {}
  void SelectProduct(int) override {}
  void CloseSelectionDialog() override {}

  struct Event {
    std::string text;
    Colour colour = Colour::Blue;
    bool box = false;
  };
  // Reports and boxes not yet taken, oldest first.
  std::optional<Event> TakeEvent();
  bool PageClosed();

  // The status line below the reports ("waiting for ... 42 s left"), redrawn in place;
  // an empty text removes it. Does nothing unless the output is a terminal.
  void SetStatus(const std::string& text);
  // The last report shown, for the status line to tell what is awaited.
  std::optional<Event> LastReport();

  // "Product is NAME.\r\n..." of the mismatch box: NAME.
  static std::optional<std::string> ReportedProduct(const std::string& boxText);

 private:
  void Print(const std::string& head, const std::string& text);

  void ClearStatus();

  std::ostream& out_;
  const bool statusLine_;
  WireTrace* trace_;
  std::string port_;
  std::string status_;  // what the status line shows now
  std::mutex mutex_;
  std::vector<Event> events_;
  std::optional<Event> lastReport_;
  bool pageClosed_ = false;
};

}  // namespace setwright::cli
