#include "cli/terminal_ui.h"

namespace setwright::cli {

void TerminalUi::ClearStatus() {
  if (status_.empty()) return;
  out_ << "\r\033[K";  // back to the line's start, erase to its end
  status_.clear();
}

void TerminalUi::SetStatus(const std::string& text) {
  if (!statusLine_) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (text == status_) return;
  if (text.empty()) {
    ClearStatus();
  } else {
    out_ << "\r\033[K" << text;
    status_ = text;
  }
  out_.flush();
}

std::optional<TerminalUi::Event> TerminalUi::LastReport() {
  std::lock_guard<std::mutex> lock(mutex_);
  return lastReport_;
}

void TerminalUi::Print(const std::string& head, const std::string& text) {
  ClearStatus();
  std::string line = head;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (c == '\n' || c == '\r') {
      line += "\n  ";
      continue;
    }
    line += c;
  }
  out_ << line << '\n';
  out_.flush();
}

void TerminalUi::Report(const std::string& text, Colour colour) {
  if (trace_)
    trace_->Event(port_, std::string("report ") + ColourName(colour) + " " + EscapedText(text));
  std::lock_guard<std::mutex> lock(mutex_);
  // The log box shows one message at a time: the same message again (a port retried every
  // tick) changes nothing a user would see, so it is printed once.
  if (lastReport_ && lastReport_->text == text && lastReport_->colour == colour) return;
  lastReport_ = Event{text, colour, false};
  Print(std::string(ColourName(colour)) + ": ", text);
  events_.push_back({text, colour, false});
}

MessageResult TerminalUi::ShowMessageBox(const std::string& text, const std::string& caption,
                                         MessageButtons buttons) {
  if (trace_) trace_->Event(port_, "box [" + caption + "] " + EscapedText(text));
  std::lock_guard<std::mutex> lock(mutex_);
  Print("box [" + caption + "]: ", text);
  lastReport_.reset();
  events_.push_back({text, Colour::Red, true});
  // A box with a choice is the product switch: refuse it, the command never switches.
  return buttons == MessageButtons::OkCancel ? MessageResult::Cancel : MessageResult::Ok;
}

void TerminalUi::ClosePage() {
  std::lock_guard<std::mutex> lock(mutex_);
  pageClosed_ = true;
}

std::optional<TerminalUi::Event> TerminalUi::TakeEvent() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (events_.empty()) return std::nullopt;
  Event event = events_.front();
  events_.erase(events_.begin());
  return event;
}

bool TerminalUi::PageClosed() {
  std::lock_guard<std::mutex> lock(mutex_);
  return pageClosed_;
}

std::optional<std::string> TerminalUi::ReportedProduct(const std::string& boxText) {
  static const std::string kHead = "Product is ";
  static const std::string kTail = ".\r\nPlease select the right product name!";
  if (boxText.rfind(kHead, 0) != 0) return std::nullopt;
  if (boxText.size() < kHead.size() + kTail.size()) return std::nullopt;
  if (boxText.compare(boxText.size() - kTail.size(), kTail.size(), kTail) != 0) return std::nullopt;
  return boxText.substr(kHead.size(), boxText.size() - kHead.size() - kTail.size());
}

}  // namespace setwright::cli
