// "Save and Reset": one step per tick. An odd step looks at one setting and sends its line
// when the form differs from what the device reported; the even step after it waits for
// the acknowledgement. The last step sends "END" and waits for the end banner.
#include <cstdio>

#include "session/patterns.h"
#include "session/session_impl.h"

namespace setwright {

namespace p = patterns;

std::optional<std::string> Session::Impl::ChangedLine(const std::string& key) {
  char line[100];
  if (key == "DEL") {
    if (!HasDelimiter) return std::nullopt;  // a device without the line never gets one
    int value = 0;
    if (form.delimiterText.empty()) {
      if (CurrentSettings.delimiter == 0) return std::nullopt;
    } else {
      auto read = p::ReadHex(form.delimiterText);
      if (!read || static_cast<int>(*read) == CurrentSettings.delimiter || *read > 0xFF)
        return std::nullopt;
      value = static_cast<int>(*read);
    }
    std::snprintf(line, sizeof line, "DEL=%02X\r\n", value);
    return std::string(line);
  }
  if (key == "CMD") {
    const std::string& text = form.promptText;
    if (p::IsBeginningOf(text, CurrentSettings.prompt)) return std::nullopt;
    return "CMD=" + text + "\r\n";
  }
  if (key == "T1") {
    auto value = p::ReadDecimal(form.intervalText);
    if (!value || *value == CurrentSettings.interval) return std::nullopt;
    std::snprintf(line, sizeof line, "T1=%d\r\n", *value);  // leading zeros dropped
    return std::string(line);
  }
  const ComboSetting* setting = model.FindSetting(key);
  if (!setting) return std::nullopt;
  auto selected = form.selected.find(key);
  int index = selected == form.selected.end() ? -1 : selected->second;
  if (index < 0 || index >= static_cast<int>(setting->values.size()) ||
      index == CurrentSettings.index[key])
    return std::nullopt;
  return key + "=" + setting->values[index] + "\r\n";
}

int Session::Impl::StepAfter(std::size_t item) const {
  // A device whose dump had no delimiter line is never sent one: its step is passed over
  // without a tick of its own.
  std::size_t next = item + 1;
  while (next + 1 < writeItems.size() && writeItems[next].key == "DEL" && !HasDelimiter) ++next;
  return writeItems[next].step;
}

void Session::Impl::WriteTick() {
  std::size_t i = 0;
  while (i < writeItems.size() && writeItems[i].step != WriteStep &&
         writeItems[i].step + 1 != WriteStep)
    ++i;
  if (i == writeItems.size()) {  // not a step of this model's sequence
    ResetToIdle();
    return;
  }
  const WriteItem& item = writeItems[i];
  const bool last = i + 1 == writeItems.size();

  if (WriteStep == item.step) {  // send step
    if (last) {
      Send(ActivePort(), "END\r\n");
      LastSendTime = clock.NowMs();
      WriteStep = item.step + 1;
      return;
    }
    // ReplyTicks is not reset by a send: it counts from the button or the last reply.
    std::optional<std::string> line = ChangedLine(item.key);
    if (!line) {
      WriteStep = StepAfter(i);
      return;
    }
    Send(ActivePort(), *line);
    LastSendTime = clock.NowMs();
    WriteStep = item.step + 1;
    return;
  }

  if (last) {  // the end banner
    std::optional<std::string_view> reply;
    bool saved = false;
    if (SerialToKeyboard()) {
      reply = p::ReadLine(Rx(), 0);
      saved = reply && p::IsBeginningOf(*reply, "*** PROGRAM END ***");
    } else {
      // The banner counts as soon as the part received is a beginning of it.
      reply = p::ReadLineAfterBlanks(Rx(), false);
      saved = reply && p::IsBeginningOf(*reply, "* * * PROGRAM MODE END * * *");
    }
    if (!reply) {
      CheckReplyTimeout();
      return;
    }
    ResetToIdle();
    if (saved)
      Report("Save PROGRAM MODE and reset success!", Colour::Green);
    else
      Report("Save PROGRAM MODE failed!", Colour::Red);
    InProgramMode = false;
    extraPauseMs = kEndPauseMs;  // the device stores its settings and restarts
    return;
  }

  bool accepted = false;
  if (SerialToKeyboard()) {
    auto reply = p::ReadLine(Rx(), 0);
    if (!reply) {
      CheckReplyTimeout();
      return;
    }
    accepted = p::IsBeginningOf(*reply, "OK");
  } else {
    p::Ack ack = p::ReadAcknowledgement(Rx());
    if (ack == p::Ack::NotYet) {
      CheckReplyTimeout();
      return;
    }
    accepted = ack == p::Ack::EmptyLine;
  }
  if (!accepted) {
    ResetToIdle();
    Report("Set command error!", Colour::Red);
    return;
  }
  ReplyTicks = 0;
  SettleTicks = 0;
  ClearRx();
  WriteStep = StepAfter(i);
}

}  // namespace setwright
