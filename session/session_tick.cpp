// The state machine run by every tick, and the port and power watching of the idle states.
// Both families run it: the keyboard-to-serial family has a single port and no port
// detection, so it never enters the states of the new port (1, 3, 4) nor, having no
// "Clean Paired Device", state 7.
#include "session/patterns.h"
#include "session/session_impl.h"

namespace setwright {
namespace {

bool CtsOn(uint32_t status) {
  return (status & kModemCts) != 0;
}

}  // namespace

void Session::Impl::TickState() {
  switch (state) {
    case SessionState::IdleSelectedPort:
      IdleSelected();
      break;
    case SessionState::IdleNewPort:
      IdleNew();
      break;
    case SessionState::AwaitProgramMode:
    case SessionState::AwaitProgramModeNewPort:
    case SessionState::AwaitDefaultDump:
      ReadBack();
      break;
    case SessionState::ProgramModeRetry:
      ProgramModeRetry();
      break;
    case SessionState::AwaitDefaultAck:
      DefaultAck();
      break;
    case SessionState::AwaitClearAck:
      ClearAck();
      break;
    case SessionState::Writing:
      WriteTick();
      break;
    case SessionState::OpenFailed:
      OpenFailed();
      break;
  }
}

void Session::Impl::IdleSelected() {
  std::string arrived;
  if (InProgramMode) {
    if (HasNewPort()) KnownPorts.DetectNewPort(arrived);  // keeps KnownPorts in step
    WatchInProgramMode(SelectedPort, 0);
    return;
  }
  if (HasNewPort()) {
    if (KnownPorts.DetectNewPort(arrived) > 0) {
      newPortName = arrived;
      UsingNewPort = true;
      state = SessionState::IdleNewPort;
      return;
    }
    if (KnownPorts.KnownPorts().empty()) return;  // no port at all: wait for one
  }
  if (SelectedPort.isOpen()) {
    CtsWatch(SelectedPort, 0);
    return;
  }
  if (!OpenAndReadStatus(SelectedPort, portName, 0)) {
    ReportOpenFailed(SelectedPort, portName);
    SettleTicks = 0;
    state = SessionState::OpenFailed;
    return;
  }
  // A device already on must be switched off and on again before it takes the command.
  if (CtsOn(LastModemStatus[0])) Report("Waiting for device power restart!", Colour::Blue);
}

void Session::Impl::IdleNew() {
  if (InProgramMode) {
    WatchInProgramMode(*NewPort, 1);
    return;
  }
  std::string arrived;
  if (KnownPorts.DetectNewPort(arrived) < 0) {
    state = SessionState::IdleSelectedPort;
    UsingNewPort = false;
    NewPort->close();
    Report("Waiting for device connected!", Colour::Blue);
    return;
  }
  if (NewPort->isOpen()) {
    CtsWatch(*NewPort, 1);
    return;
  }
  Report("Open COM started!", Colour::Blue);
  if (!OpenAndReadStatus(*NewPort, newPortName, 1)) {
    ReportOpenFailed(*NewPort, newPortName);
    SettleTicks = 0;
    state = SessionState::OpenFailed;
    return;
  }
  // A device that brings its own port up is just powered: no restart needed.
  if (CtsOn(LastModemStatus[1])) {
    PowerOnSeen = true;
    SettleTicks = 9;
    Report("Waiting for device power restart!", Colour::Blue);
  }
  Report("Open COM successed!", Colour::Green);
}

void Session::Impl::CtsWatch(ISerialPort& port, int index) {
  uint32_t status = LastModemStatus[index];
  port.getModemStatus(status);
  if (status != LastModemStatus[index]) {
    LastModemStatus[index] = status;
    if (CtsOn(status)) {
      PowerOnSeen = true;
      SettleTicks = 9;  // the next tick's increment arms the entry
    } else {
      SettleTicks = 0;
      Report("Waiting for device connected!", Colour::Blue);
    }
  }
  if (SettleTicks >= 10 && CtsOn(status) && PowerOnSeen) AutomaticEntry(port, index, false);
}

void Session::Impl::WatchInProgramMode(ISerialPort& port, int index) {
  if (!port.isOpen()) {
    InProgramMode = false;
    return;
  }
  uint32_t status = LastModemStatus[index];
  port.getModemStatus(status);
  if (status == LastModemStatus[index]) return;
  SettleTicks = 0;
  if (!CtsOn(status)) {
    InProgramMode = false;
    // LastModemStatus stays, so the next tick's CTS watch reports the change again in blue.
    bool red = model.ctsOffInProgramModeRed && (!SerialToKeyboard() || index == 1);
    Report("Waiting for device connected!", red ? Colour::Red : Colour::Blue);
  }
}

void Session::Impl::AutomaticEntry(ISerialPort& port, int index, bool repeated) {
  PowerOnSeen = false;
  ResetToIdle();
  if (SerialToKeyboard()) {
    if (!repeated) port.setBaudRate(9600);
    port.setRts(true);
    Send(port, "\r\n@PROG\r\n");
  } else {
    Send(port, "\r\n");
  }
  LastSendTime = clock.NowMs();
  state = index == 1 ? SessionState::AwaitProgramModeNewPort : SessionState::AwaitProgramMode;
  AwaitingReply = true;
  Report("Waiting for reading PROGRAM MODE!", Colour::Blue);
}

void Session::Impl::ProgramModeRetry() {
  if (UsingNewPort && NewPort) {
    if (++EntryRetries >= 2) {
      state = SessionState::IdleNewPort;
      Report(model.timeoutText, Colour::Red);
    } else {
      AutomaticEntry(*NewPort, 1, true);
    }
    return;
  }
  state = SessionState::IdleSelectedPort;
  Report(model.timeoutText, Colour::Red);
}

void Session::Impl::OpenFailed() {
  if (HasNewPort()) {
    std::string arrived;
    int r = KnownPorts.DetectNewPort(arrived);
    if (r < 0) {
      state = SessionState::IdleSelectedPort;
      UsingNewPort = false;
      return;
    }
    if (r > 0) {
      newPortName = arrived;
      UsingNewPort = true;
      state = SessionState::IdleNewPort;
      return;
    }
  }
  int index = ActiveIndex();
  ISerialPort& port = ActivePort();
  LastModemStatus[index] = 0;
  if (!OpenAndReadStatus(port, UsingNewPort ? newPortName : portName, index)) {
    ReportOpenFailed(port, UsingNewPort ? newPortName : portName);
    return;
  }
  state = IdleState();
  Report(CtsOn(LastModemStatus[index]) ? "Waiting for device power restart!"
                                       : "Waiting for device connected!",
         Colour::Blue);
}

void Session::Impl::DefaultAck() {
  bool accepted = false;
  if (SerialToKeyboard()) {
    auto line = patterns::ReadLineAfterBlanks(Rx(), true);
    if (!line) {
      CheckReplyTimeout();
      return;
    }
    accepted = patterns::IsBeginningOf(*line, "*** DEFAULT ***");
  } else {
    // Only the first line answers "DEFAULT": a device may repeat its empty line or send
    // its banner right behind it.
    patterns::Ack ack = patterns::ReadFirstAcknowledgement(Rx());
    if (ack == patterns::Ack::NotYet) {
      CheckReplyTimeout();
      return;
    }
    accepted = ack == patterns::Ack::EmptyLine;
  }
  if (accepted) {
    // The device now holds its factory settings: read them back with the re-read line.
    ResetToIdle();
    AwaitingReply = true;
    Send(ActivePort(), "\r\n");
    LastSendTime = clock.NowMs();
    state = SessionState::AwaitDefaultDump;
    return;
  }
  ResetToIdle();
  if (model.setDefaultErrorInBox) {
    if (ui) {
      effects.push_back([ui = ui, caption = model.name] {
        ui->StartTimer(6, 2500);
        ui->ShowMessageBox("Set default command error!", caption, MessageButtons::Ok);
      });
    }
    return;
  }
  Report("Set default command error!", Colour::Red);
}

void Session::Impl::ClearAck() {
  auto line = patterns::ReadLineAfterBlanks(Rx(), true);
  if (!line) {
    CheckReplyTimeout();
    return;
  }
  bool cleared = patterns::IsBeginningOf(*line, "*** DEFAULT ***");
  ResetToIdle();
  if (!cleared) {
    Report("Clear paired device failed!", Colour::Red);
    return;
  }
  // The device is back to its factory settings; the form keeps what was read before, so
  // a following save writes back every shown setting that differs from them.
  CurrentSettings.index = FactoryDefaults.index;
  CurrentSettings.delimiter = FactoryDefaults.delimiter;
  CurrentSettings.prompt = FactoryDefaults.prompt;
  CurrentSettings.paired.clear();
  form.pairedText.clear();
  NotifyFormChanged();
  Report("Clear paired device success!", Colour::Green);
}

}  // namespace setwright
