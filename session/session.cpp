#include "session/session.h"

#include <cstring>

#include "session/patterns.h"
#include "session/session_impl.h"

namespace setwright {

Session::Impl::Impl(const ModelTable& m, ISerialPort& selected, ISerialPort* newPort,
                    IPortLister& lister, IClock& c)
    : model(m), SelectedPort(selected), NewPort(newPort), clock(c), KnownPorts(lister) {
  for (const auto& s : model.settings) CurrentSettings.index[s.key] = -1;
  FillForm();
}

void Session::Impl::Report(const std::string& text, Colour colour) {
  StatusColour = colour;
  if (ui) effects.push_back([ui = ui, text, colour] { ui->Report(text, colour); });
}

void Session::Impl::Send(ISerialPort& port, std::string bytes) {
  effects.push_back([&port, bytes = std::move(bytes)] {
    port.writeData(bytes.data(), static_cast<int>(bytes.size()));
  });
}

void Session::Impl::NotifyFormChanged() {
  if (ui) effects.push_back([ui = ui] { ui->FormChanged(); });
}

void Session::Impl::ClearRx() {
  RxLen = 0;
  RxBuffer[0] = '\0';
}

void Session::Impl::ResetToIdle() {
  state = IdleState();
  WriteStep = 0;
  ReplyTicks = 0;
  SettleTicks = 0;
  ClearRx();
  AwaitingReply = false;
}

bool Session::Impl::CheckReplyTimeout() {
  bool onNewPort = state == SessionState::AwaitProgramModeNewPort;
  uint32_t limit = onNewPort ? kNewPortReplyTimeoutTicks : kReplyTimeoutTicks;
  if (ReplyTicks <= limit) return false;
  ResetToIdle();
  if (onNewPort) {
    state = SessionState::ProgramModeRetry;  // the retry decides what to report
    return true;
  }
  Report(model.timeoutText, Colour::Red);
  return true;
}

bool Session::Impl::OpenPort(ISerialPort& port, const std::string& name) {
  port.setReadIntervalTimeout(50);
  port.init(name, baudRate, parity, dataBits, stopBits, FlowNone, 4096);
  if (!held) {
    port.open();
    return port.isOpen();
  }
  // Opening a network port waits for its server, up to the connect time-out: the other
  // threads (the user interface above all) must not wait with it.
  std::unique_lock<std::mutex>* lock = held;  // other threads take the lock meanwhile
  opening = true;
  // What this thread queued so far goes out first, in its order, not with the effects of
  // another thread that takes the lock meanwhile.
  std::vector<std::function<void()>> queued;
  queued.swap(effects);
  lock->unlock();
  for (auto& effect : queued) effect();
  port.open();
  lock->lock();
  held = lock;
  opening = false;
  if (!opened) {
    port.close();  // the page was closed meanwhile
    return false;
  }
  return port.isOpen();
}

bool Session::Impl::OpenAndReadStatus(ISerialPort& port, const std::string& name, int index) {
  if (!OpenPort(port, name)) return false;
  port.setRts(true);
  port.getModemStatus(LastModemStatus[index]);
  return true;
}

void Session::Impl::ReportOpenFailed(ISerialPort& port, const std::string& name) {
  if (!opened) return;  // the page was closed while the port was opening
  std::string text = "Open COM failed! Close using COM APP!";
  const std::string reason = DescribeOpenError(name, port.lastOpenError());
  if (!reason.empty()) text += "\r\n" + reason;
  Report(text, Colour::Red);
}

void Session::Impl::FillForm() {
  form = FormState{};
  for (const auto& s : model.settings) form.selected[s.key] = -1;
}

void Session::Impl::BuildWriteItems() {
  // The serial-to-keyboard steps keep their fixed numbers whichever keys a model writes,
  // so a model that writes only the prompt starts at 21.
  static const std::map<std::string, int> kSerialSteps = {
      {"B", 1},     {"D", 3},    {"S", 5},   {"P", 7},    {"RTS", 9},  {"XON", 11},
      {"MODE", 13}, {"DEL", 15}, {"LF", 17}, {"COM", 19}, {"CMD", 21}, {"END", 25}};
  writeItems.clear();
  int step = 1;
  for (const auto& key : model.writeOrder) {
    writeItems.push_back({SerialToKeyboard() ? kSerialSteps.at(key) : step, key});
    step += 2;
  }
  writeItems.push_back({SerialToKeyboard() ? kSerialSteps.at("END") : step, "END"});
}

Session::Session(const ModelTable& model, ISerialPort& selectedPort, ISerialPort* newPort,
                 IPortLister& lister, IClock& clock)
    : impl_(std::make_unique<Impl>(model, selectedPort, newPort, lister, clock)) {
  impl_->BuildWriteItems();
}

Session::~Session() {
  if (impl_->pollThread) impl_->pollThread->Stop();
  impl_->SelectedPort.disconnectReadEvent();
  if (impl_->NewPort) impl_->NewPort->disconnectReadEvent();
}

const ModelTable& Session::Model() const {
  return impl_->model;
}

void Session::SetUi(ISessionUi* ui) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->ui = ui;
}

void Session::SetPortName(const std::string& portName) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->portName = portName;
}

void Session::SetLineSettings(int baudRate, int parity, int dataBits, int stopBits) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->baudRate = baudRate;
  impl_->parity = parity;
  impl_->dataBits = dataBits;
  impl_->stopBits = stopBits;
}

void Session::SetManualTicks(bool manual) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->manualTicks = manual;
}

void Session::Open() {
  Impl& d = *impl_;
  if (d.pollThread) d.pollThread->Stop();  // a thread left by a close from its own tick
  bool manual = false;
  d.Locked([&] {
    d.baudRate = 9600;
    d.parity = 0;
    d.dataBits = 8;
    d.stopBits = 2;
    d.state = SessionState::IdleSelectedPort;
    d.ReplyTicks = 0;
    d.SettleTicks = 0;
    d.PowerOnSeen = false;
    d.LastSendTime = d.clock.NowMs();
    d.ClearRx();
    d.AwaitingReply = false;
    d.InProgramMode = false;
    d.UsingNewPort = false;
    d.LastModemStatus[0] = d.LastModemStatus[1] = 0;
    d.EntryRetries = 0;
    d.WriteStep = 0;
    // Kept set by a product switch until the page had closed; a new opening starts afresh.
    d.SwitchingProduct = false;
    d.extraPauseMs = 0;
    if (d.model.factoryDefaults) d.FactoryDefaults = *d.model.factoryDefaults;
    d.CurrentSettings.product.clear();
    d.FillForm();
    d.NotifyFormChanged();
    d.Report("Waiting for device connected!", Colour::Blue);
    if (d.HasNewPort()) d.KnownPorts.TakeSnapshot();
    d.opened = true;
    manual = d.manualTicks;
  });

  auto startThread = [&] {
    if (manual) return;
    d.pollThread = std::make_unique<PollThread>(
        [this] { Tick(); }, [this] { return TakeExtraPauseMs(); }, d.model.tickBeforeSleep);
    {
      std::lock_guard<std::mutex> lock(d.mutex);
      d.PollRunning = true;
    }
    d.pollThread->Start();
  };
  auto registerListener = [&] {
    d.SelectedPort.connectReadEvent(this);
    if (d.HasNewPort()) d.NewPort->connectReadEvent(this);
  };
  if (d.model.startPollThreadLast) {
    registerListener();
    startThread();
  } else {
    startThread();
    registerListener();
  }
}

void Session::Close() {
  Impl& d = *impl_;
  ISerialPort* escPort = nullptr;
  bool switching = false;
  ISessionUi* ui = nullptr;
  {
    std::lock_guard<std::mutex> lock(d.mutex);
    if (!d.opened) return;
    d.opened = false;  // ticks still under way do nothing from here on
    switching = d.SwitchingProduct;
    if (d.InProgramMode || d.SwitchingProduct) escPort = &d.ActivePort();
    ui = d.ui;
  }
  if (escPort) {
    // Leaves program mode without saving; the device needs a moment before the port closes.
    escPort->writeData("\x1b", 1);
    d.clock.SleepMs(50);
  }
  if (d.HasNewPort()) d.NewPort->close();
  d.SelectedPort.close();
  d.SelectedPort.disconnectReadEvent();
  if (d.HasNewPort()) d.NewPort->disconnectReadEvent();
  if (d.pollThread) d.pollThread->Stop();
  {
    std::lock_guard<std::mutex> lock(d.mutex);
    d.PollRunning = false;
  }
  if (ui && !switching) ui->CloseSelectionDialog();
  if (ui) ui->ClosePage();
}

void Session::Tick() {
  Impl& d = *impl_;
  ISessionUi* ui = nullptr;
  {
    std::lock_guard<std::mutex> lock(d.mutex);
    if (!d.opened) return;
    ++d.ReplyTicks;
    ++d.SettleTicks;
    ui = d.ui;
  }
  // While one of the page's message boxes is open nothing changes, but the reply wait
  // keeps counting.
  if (ui && ui->IsMessageBoxOpen()) return;
  d.Locked([&] {
    if (d.opened) d.TickState();
  });
}

int Session::TakeExtraPauseMs() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  int ms = impl_->extraPauseMs;
  impl_->extraPauseMs = 0;
  return ms;
}

// The ignore rule of every button: a reply is awaited, or the last send or accepted press
// was less than `windowMs` ago. An accepted press restarts the window.
bool Session::Impl::AcceptPress(uint32_t windowMs) {
  if (AwaitingReply || opening || MsSince(LastSendTime) < windowMs) return false;
  LastSendTime = clock.NowMs();
  return true;
}

// The checks "Set to Default", "Save and Reset" and "Clean Paired Device" share.
bool Session::Impl::OperationAllowed() {
  if (!AcceptPress(kButtonDebounceMs)) return false;
  if (!InProgramMode) {
    Report(model.notInProgramText, Colour::Red);
    return false;
  }
  if (!ActivePort().isOpen()) {
    Report("COM port has not opene yet!", Colour::Red);
    return false;
  }
  if (state != SessionState::IdleSelectedPort && state != SessionState::IdleNewPort) {
    Report("Other operations not completed!", Colour::Red);
    return false;
  }
  return true;
}

void Session::Impl::SendDefault(SessionState next) {
  ReplyTicks = 0;
  SettleTicks = 0;
  ClearRx();
  Send(ActivePort(), "DEFAULT\r\n");
  LastSendTime = clock.NowMs();
  state = next;
  AwaitingReply = true;
}

void Session::EnterProgMode() {
  Impl& d = *impl_;
  d.Locked([&] {
    if (!d.opened || !d.AcceptPress(d.model.enterDebounceMs)) return;
    ISerialPort& port = d.ActivePort();
    if (!port.isOpen() &&
        !d.OpenAndReadStatus(port, d.UsingNewPort ? d.newPortName : d.portName, d.ActiveIndex())) {
      d.ReportOpenFailed(port, d.UsingNewPort ? d.newPortName : d.portName);
      return;
    }
    if (d.state != d.IdleState()) {
      d.Report("Other operations not completed!", Colour::Red);
      return;
    }
    std::string command = "\r\n";
    if (d.SerialToKeyboard() && !d.InProgramMode) {
      command = "\r\n@PROG\r\n";
      d.EntryRetries = 0;
      port.setBaudRate(9600);
      port.setRts(true);
    }
    d.ResetToIdle();
    d.Send(port, command);
    d.LastSendTime = d.clock.NowMs();
    d.state = SessionState::AwaitProgramMode;
    d.AwaitingReply = true;
    d.Report("Waiting for reading PROGRAM MODE!", Colour::Blue);
  });
}

void Session::SaveAndReset() {
  Impl& d = *impl_;
  d.Locked([&] {
    if (!d.opened || !d.OperationAllowed()) return;
    d.ReplyTicks = 0;
    d.SettleTicks = 0;
    d.ClearRx();
    d.state = SessionState::Writing;
    d.WriteStep = d.writeItems.front().step;
    d.AwaitingReply = true;
  });
}

void Session::SetToDefault() {
  Impl& d = *impl_;
  d.Locked([&] {
    if (!d.opened || !d.OperationAllowed()) return;
    d.SendDefault(SessionState::AwaitDefaultAck);
  });
}

void Session::CleanPairedDevice() {
  Impl& d = *impl_;
  if (!d.model.hasCleanPaired) return;
  d.Locked([&] {
    if (!d.opened || !d.OperationAllowed()) return;
    d.SendDefault(SessionState::AwaitClearAck);
  });
}

void Session::OnTimer(int timerId) {
  ISessionUi* ui = nullptr;
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    ui = impl_->ui;
  }
  if (!ui || timerId < 1 || timerId > 7) return;
  // Timer 7 confirms the product-mismatch box; the others just close the page's box.
  if (ui->IsMessageBoxOpen()) ui->AnswerMessageBox(timerId == 7);
  ui->StopTimer(timerId);
}

std::optional<std::string> Session::CheckDelimiterOnFocusLost() {
  Impl& d = *impl_;
  std::optional<std::string> refusal;
  d.Locked([&] {
    if (!d.InProgramMode || d.form.delimiterText.empty()) return;
    unsigned value = patterns::ReadHex(d.form.delimiterText).value_or(0);
    if (value < 0x01 || value > 0x7F) {
      refusal = "Delimiter must be at 0x01-0x7F!";
      return;
    }
    const ComboSetting* lf = d.model.FindSetting("LF");
    int& mask = d.form.selected["LF"];
    if (value == 0x0A && lf && mask == IndexOf(*lf, "2")) {
      mask = IndexOf(*lf, "1");
      d.NotifyFormChanged();
    }
  });
  return refusal;
}

std::optional<std::string> Session::CheckPromptOnFocusLost() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (impl_->InProgramMode && impl_->form.promptText.empty())
    return std::string("Command prompt must be at least 1 byte!");
  return std::nullopt;
}

std::optional<std::string> Session::CheckIntervalOnFocusLost() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  const Impl& d = *impl_;
  if (!d.InProgramMode || !d.model.HasEdit(DumpItem::Interval)) return std::nullopt;
  const std::string& text = d.form.intervalText;
  int value = patterns::ReadDecimal(text).value_or(0);
  if (static_cast<int>(text.size()) < d.model.intervalMinChars || value < d.model.intervalMin ||
      value > d.model.intervalMax)
    return d.model.intervalError;
  return std::nullopt;
}

void Session::OnLineFeedMaskChanged() {
  Impl& d = *impl_;
  d.Locked([&] {
    const ComboSetting* lf = d.model.FindSetting("LF");
    if (!lf || !d.model.HasEdit(DumpItem::Delimiter)) return;
    if (d.form.selected["LF"] == IndexOf(*lf, "2") &&
        patterns::ReadHex(d.form.delimiterText) == 0x0Au) {
      d.form.delimiterText = "0D";
      d.NotifyFormChanged();
    }
  });
}

bool Session::IsDelimiterChar(char c) {
  return c == '\b' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

FormState Session::Form() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->form;
}

void Session::EditForm(const std::function<void(FormState&)>& change) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  change(impl_->form);
}

SessionState Session::State() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->state;
}

bool Session::InProgramMode() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->InProgramMode;
}

bool Session::AwaitingReply() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->AwaitingReply;
}

bool Session::UsingNewPort() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->UsingNewPort;
}

DeviceSettings Session::CurrentSettings() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->CurrentSettings;
}

std::string Session::PortName() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->portName;
}

std::string Session::WritingKey() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  const Impl& d = *impl_;
  if (d.state != SessionState::Writing) return {};
  for (const WriteItem& item : d.writeItems)
    if (item.step == d.WriteStep || item.step + 1 == d.WriteStep) return item.key;
  return {};
}

void Session::onReadEvent(const char* /*portName*/, unsigned int readBufferLen) {
  Impl& d = *impl_;
  if (readBufferLen == 0) return;
  ISerialPort* port = nullptr;
  std::size_t room = 0;
  {
    std::lock_guard<std::mutex> lock(d.mutex);
    port = &d.ActivePort();  // whichever port raised the event
    room = kRxCapacity - d.RxLen;
  }
  // Read outside the lock: the port has locks of its own. A full buffer still takes the
  // bytes off the port, to drop them.
  std::array<char, kRxCapacity> scratch;
  std::size_t want = std::min<std::size_t>(readBufferLen, room > 0 ? room : kRxCapacity);
  int got = port->readData(scratch.data(), static_cast<int>(want));
  if (got < 1 || room == 0) return;
  std::lock_guard<std::mutex> lock(d.mutex);
  std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(got), kRxCapacity - d.RxLen);
  std::memcpy(d.RxBuffer.data() + d.RxLen, scratch.data(), n);
  d.RxLen += n;
  d.RxBuffer[d.RxLen] = '\0';
}

}  // namespace setwright
