#include "provision/bench.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "session/poll_thread.h"
#include "session/session.h"

namespace setwright::provision {

namespace {

constexpr uint32_t kEnterRepeatMs = 3000;
const std::string kOpenFailed = "Open COM failed! Close using COM APP!";
// After "Save and Reset" a unit stores its settings and restarts; "Enter Prog Mode" for the
// verification waits this long first, and a station takes a unit that answers within
// kOwnRestartMs with the same identification for that unit's own restart.
constexpr uint32_t kRestartSettleMs = 1500;
constexpr uint32_t kOwnRestartMs = 20000;

std::string OneLine(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += (text[i] == '\r' || text[i] == '\n') ? ' ' : text[i];
  }
  // "timeout! \r\nPlease" reads "timeout!  Please" otherwise.
  for (size_t at; (at = out.find("  ")) != std::string::npos;) out.erase(at, 1);
  return out;
}

std::string ValueIn(const KeyValues& values, const std::string& key) {
  for (const auto& [k, v] : values)
    if (k == key) return v;
  return {};
}

// "(00:1A:7D:32:00:01)", a whole identification line, as the MAC address it holds.
std::string Unwrapped(const std::string& text) {
  if (text.size() >= 2 && text.front() == '(' && text.back() == ')')
    return text.substr(1, text.size() - 2);
  return text;
}

std::string SecondsText(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", seconds);
  return text;
}

// The session's front end on a bench: nobody reads a log box or answers a message box, so
// reports and boxes are queued for the port's run, and the product-switch box is refused.
class UnitUi : public ISessionUi {
 public:
  UnitUi(WireTrace* trace, std::string port) : trace_(trace), port_(std::move(port)) {}

  struct Event {
    std::string text;
    Colour colour = Colour::Blue;
    bool box = false;
  };

  void Report(const std::string& text, Colour colour) override {
    if (trace_)
      trace_->Event(port_, std::string("report ") + ColourName(colour) + " " + EscapedText(text));
    std::lock_guard lock(mutex_);
    events_.push_back({text, colour, false});
  }
  void FormChanged() override {}
  MessageResult ShowMessageBox(const std::string& text, const std::string& caption,
                               MessageButtons buttons) override {
    if (trace_) trace_->Event(port_, "box [" + caption + "] " + EscapedText(text));
    std::lock_guard lock(mutex_);
    events_.push_back({text, Colour::Red, true});
    return buttons == MessageButtons::OkCancel ? MessageResult::Cancel : MessageResult::Ok;
  }
  bool IsMessageBoxOpen() override { return false; }
  void AnswerMessageBox(bool) override {}
  void StartTimer(int, int) override {}
  void StopTimer(int) override {}
  void ClosePage() override {}
  void RequestClose() override {}
  void SelectProduct(int) override {}
  void CloseSelectionDialog() override {}

  std::optional<Event> Take() {
    std::lock_guard lock(mutex_);
    if (events_.empty()) return std::nullopt;
    Event event = events_.front();
    events_.erase(events_.begin());
    return event;
  }

 private:
  WireTrace* trace_;
  std::string port_;
  std::mutex mutex_;
  std::vector<Event> events_;
};

std::optional<std::string> ReportedProduct(const std::string& boxText) {
  static const std::string kHead = "Product is ";
  static const std::string kTail = ".\r\nPlease select the right product name!";
  if (boxText.rfind(kHead, 0) != 0 || boxText.size() < kHead.size() + kTail.size() ||
      boxText.compare(boxText.size() - kTail.size(), kTail.size(), kTail) != 0)
    return std::nullopt;
  return boxText.substr(kHead.size(), boxText.size() - kHead.size() - kTail.size());
}

}  // namespace

std::string PhaseText(const PortStatus& s) {
  switch (s.phase) {
    case Phase::WaitingPower:
      return "waiting for power restart";
    case Phase::Entering:
      return "entering";
    case Phase::Writing:
      if (s.toWrite == 0) return "saving";
      return "writing " + std::to_string(std::min(s.written + 1, s.toWrite)) + " of " +
             std::to_string(s.toWrite);
    case Phase::Verifying:
      return "verifying";
    case Phase::NextUnit:
      return "done, waiting for the next unit";
    case Phase::Ended:
      break;
  }
  return s.lastFailed ? "failed: " + s.note : "done";
}

std::unique_ptr<ISerialPort> SystemPorts::MakePort(const std::string&) {
  return setwright::MakePort(trace_);
}

IPortLister& SystemPorts::Lister(const std::string& portName) {
  if (portName == kAutoPort) return CSerialPortInfo::SystemLister();
  std::lock_guard lock(mutex_);
  listings_.push_back(std::make_unique<ListingWithPort>(CSerialPortInfo::SystemLister(), portName));
  return *listings_.back();
}

// One port of the bench: its session and what is done with it after every tick. Everything
// but the status runs on the port's own thread (or the test's).
class Bench::PortRun {
 public:
  PortRun(Bench& bench, std::string port)
      : bench_(bench),
        config_(bench.config_),
        model_(*bench.config_.model),
        clock_(bench.deps_.clock ? *bench.deps_.clock : SystemClock()),
        port_(std::move(port)),
        auto_(port_ == kAutoPort),
        ui_(bench.deps_.trace, port_) {
    selected_ = bench.deps_.ports->MakePort(port_);
    if (model_.family == Family::SerialToKeyboard) newPort_ = bench.deps_.ports->MakePort(port_);
    session_ = std::make_unique<Session>(model_, *selected_, newPort_.get(),
                                         bench.deps_.ports->Lister(port_), clock_);
    session_->SetUi(&ui_);
    session_->SetManualTicks(true);
    session_->SetPortName(auto_ ? std::string() : port_);
    session_->SetLineSettings(9600, ParityNone, 8, StopTwo);
    work_.port = port_;
    status_ = work_;
  }

  ~PortRun() { Shut(); }

  void Start() {
    openedAt_ = clock_.NowMs();
    session_->Open();
    Publish();
    if (bench_.deps_.manualTicks) return;
    thread_ = std::make_unique<PollThread>([this] { Step(); },
                                           [this] { return session_->TakeExtraPauseMs(); },
                                           model_.tickBeforeSleep);
    thread_->Start();
  }

  // Stops the thread and closes the session (ESC to a unit left in program mode).
  void Shut() {
    if (thread_) thread_->Stop();
    if (!ended_) {
      ended_ = true;
      session_->Close();
    }
  }

  bool Ended() const { return ended_; }

  PortStatus Status() const {
    std::lock_guard lock(statusMutex_);
    return status_;
  }

  void Step() {
    if (ended_) return;
    session_->Tick();
    if (bench_.deps_.manualTicks) session_->TakeExtraPauseMs();
    const uint32_t now = clock_.NowMs();
    const int stop = bench_.stopRequests_.load();
    if (stop >= 2 || (stop == 1 && !config_.station)) {
      if (unitActive_ || !config_.station) FailUnit("interrupted", now);
      End();
      return;
    }
    while (auto event = ui_.Take()) {
      HandleEvent(*event, now);
      if (ended_) return;
    }
    if (!config_.station && now - openedAt_ > WaitMs()) {
      FailUnit(everInProgramMode_ ? "not finished within " + SecondsText(config_.waitSeconds) + " s"
                                  : "no " + model_.name + " answered on " + port_ + " within " +
                                        SecondsText(config_.waitSeconds) + " s",
               now);
      if (ended_) return;
    }
    if (config_.station && unitActive_ && now - unitStartedAt_ > WaitMs()) {
      FailUnit("not finished within " + SecondsText(config_.waitSeconds) + " s", now);
      if (ended_) return;
    }
    switch (phase_) {
      case Phase::WaitingPower:
      case Phase::Entering:
        if (stop == 1 && !unitActive_) {
          End();
          return;
        }
        if (session_->InProgramMode() && Idle()) {
          if (!unitActive_) BeginUnit(now);
          StartWrite(now);
        } else {
          MaybePressEnter(now, openedAt_ + model_.enterDebounceMs + 50);
        }
        break;
      case Phase::Writing:
        WriteStep(now);
        break;
      case Phase::Verifying:
        if (session_->InProgramMode() && Idle())
          Compare(now);
        else
          MaybePressEnter(now, saveDoneAt_ + kRestartSettleMs);
        break;
      case Phase::NextUnit:
        if (stop == 1) {
          End();
          return;
        }
        if (session_->InProgramMode() && Idle()) {
          FormState form = session_->Form();
          if (IdentityOf(form) == lastIdentity_ && now - saveDoneAt_ < kOwnRestartMs) {
            // The unit's own restart after storing its settings: not a new unit.
            Release();
            phase_ = Phase::WaitingPower;
          } else {
            BeginUnit(now);
            StartWrite(now);
          }
        } else if (now - saveDoneAt_ >= kOwnRestartMs) {
          phase_ = Phase::WaitingPower;
        }
        break;
      case Phase::Ended:
        break;
    }
    work_.secondsLeft =
        config_.station ? -1.0 : std::max(0.0, (WaitMs() - double(now - openedAt_)) / 1000.0);
    Publish();
  }

 private:
  uint32_t WaitMs() const { return static_cast<uint32_t>(config_.waitSeconds * 1000); }

  bool Idle() const {
    SessionState s = session_->State();
    return (s == SessionState::IdleSelectedPort || s == SessionState::IdleNewPort) &&
           !session_->AwaitingReply();
  }

  std::string IdentityOf(const FormState& form) const {
    return form.productText + "\n" + (HasIdentification(model_) ? form.identificationText : "");
  }

  static bool IsOpenFailedReport(const std::string& text) {
    return text.rfind(kOpenFailed, 0) == 0;  // the port's reason may follow on a second line
  }

  bool IsWaitingReport(const std::string& text) const {
    return IsOpenFailedReport(text) || text == model_.timeoutText ||
           text == "Waiting for device connected!";
  }

  // A port that waiting cannot bring: the user may not open it, its host name does not
  // resolve, or a keyboard-to-serial unit's port is not there (those units bring up no port
  // of their own).
  bool WaitingCannotCure(const OpenError& error) const {
    switch (error.reason) {
      case OpenFailure::PermissionDenied:
      case OpenFailure::NameNotResolved:
        return true;
      case OpenFailure::NoSuchPort:
        return model_.family == Family::KeyboardToSerial;
      default:
        return false;
    }
  }

  void MaybePressEnter(uint32_t now, uint32_t notBefore) {
    if (!config_.enter || session_->InProgramMode() || !Idle()) return;
    if (static_cast<int32_t>(now - notBefore) < 0) return;
    if (pressed_ && now - lastEnter_ < kEnterRepeatMs) return;
    pressed_ = true;
    lastEnter_ = now;
    session_->EnterProgMode();
  }

  void HandleEvent(const UnitUi::Event& event, uint32_t now) {
    if (event.box) {
      if (auto product = ReportedProduct(event.text)) {
        product_ = *product;
        FailUnit("another model answered: " + *product, now);
      } else {
        FailUnit(OneLine(event.text), now);
      }
      return;
    }
    lastReport_ = event.text;
    // Every end of an entry, success, error or time-out, reports something else.
    entryPending_ = event.text == "Waiting for reading PROGRAM MODE!";
    if (event.colour == Colour::Red) {
      if (event.text.rfind("Product is ", 0) == 0) return;  // its box follows
      bool waiting = phase_ == Phase::WaitingPower || phase_ == Phase::Entering ||
                     phase_ == Phase::Verifying || phase_ == Phase::NextUnit;
      if (IsOpenFailedReport(event.text) && !auto_) {
        ISerialPort& port = session_->UsingNewPort() && newPort_ ? *newPort_ : *selected_;
        const OpenError why = port.lastOpenError();
        if (WaitingCannotCure(why)) {
          cannotOpen_ = true;
          FailUnit(DescribeOpenError(port_, why), now);
          cannotOpen_ = false;
          End();
          return;
        }
      }
      if (waiting && IsWaitingReport(event.text)) {
        // The program-mode command went out and nothing answered: apply gives up on the
        // port, as the single commands do; a station waits for the next power-up.
        if (phase_ == Phase::Entering && event.text == model_.timeoutText) {
          if (!config_.station) {
            FailUnit(OneLine(event.text), now);
            return;
          }
          phase_ = Phase::WaitingPower;
          unitActive_ = false;
        }
        // With --port auto the empty selected port cannot be opened; that is no news.
        if (!(auto_ && event.text == "Open COM failed! Close using COM APP!"))
          work_.note = OneLine(event.text);
        return;
      }
      FailUnit(OneLine(event.text), now);
      return;
    }
    if (event.text == "Waiting for reading PROGRAM MODE!" && phase_ == Phase::WaitingPower) {
      BeginUnit(now);
    } else if (event.text == "Waiting for device power restart!" ||
               event.text == "Enter PROGRAM MODE success!") {
      work_.note.clear();
    }
  }

  void BeginUnit(uint32_t now) {
    if (!unitActive_) {
      unitActive_ = true;
      unitStartedAt_ = now;
      changes_.clear();
      product_.clear();
      identification_.clear();
    }
    phase_ = Phase::Entering;
  }

  void StartWrite(uint32_t now) {
    everInProgramMode_ = true;
    FormState form = session_->Form();
    product_ = form.productText;
    identification_ = HasIdentification(model_) ? Unwrapped(form.identificationText) : "";
    lastIdentity_ = IdentityOf(form);
    const KeyValues device = SettingsOf(model_, form);
    changes_.clear();
    KeyValues writes;
    for (const auto& [key, value] : config_.profile.settings) {
      const std::string held = ValueIn(device, key);
      if (Normalized(key, held) == Normalized(key, value)) continue;
      if (!Writes(model_, key)) {
        FailUnit(key + "=" + value + " can not be written on " + model_.name + " (the unit holds " +
                     held + ")",
                 now);
        return;
      }
      changes_.push_back({key, held, value});
      writes.emplace_back(key, value);
    }
    std::sort(changes_.begin(), changes_.end(), [&](const Change& a, const Change& b) {
      return WriteIndex(a.key) < WriteIndex(b.key);
    });
    session_->EditForm([&](FormState& f) { PutIntoForm(model_, writes, f); });
    if (auto refusal = RefusalInForm(*session_)) {
      FailUnit("box [" + model_.name + "]: " + OneLine(*refusal), now);
      return;
    }
    phase_ = Phase::Writing;
    saveStarted_ = false;
    work_.toWrite = static_cast<int>(changes_.size());
    work_.written = 0;
  }

  int WriteIndex(const std::string& key) const {
    auto it = std::find(model_.writeOrder.begin(), model_.writeOrder.end(), key);
    return static_cast<int>(it - model_.writeOrder.begin());  // "END": after every key
  }

  void WriteStep(uint32_t now) {
    if (!saveStarted_) {
      session_->SaveAndReset();  // ignored within the page's 100 ms of the last send
      saveStarted_ = session_->State() == SessionState::Writing;
      return;
    }
    const std::string key = session_->WritingKey();
    if (!key.empty()) {
      const int at = WriteIndex(key);
      work_.written =
          static_cast<int>(std::count_if(changes_.begin(), changes_.end(),
                                         [&](const Change& c) { return WriteIndex(c.key) < at; }));
      return;
    }
    if (!Idle()) return;
    // A red end reply has failed the unit already: this is "Save PROGRAM MODE and reset
    // success!".
    work_.written = work_.toWrite;
    saveDoneAt_ = now;
    if (config_.verify) {
      phase_ = Phase::Verifying;
      pressed_ = false;
      return;
    }
    FinishUnit(true, Verify::NotAsked, {}, {}, now);
  }

  void Compare(uint32_t now) {
    FormState form = session_->Form();
    if (IdentityOf(form) != lastIdentity_) {
      FailUnit("another unit answered after the restart", now);
      return;
    }
    const KeyValues device = SettingsOf(model_, form);
    std::vector<Difference> differences;
    for (const auto& [key, value] : config_.profile.settings) {
      const std::string held = ValueIn(device, key);
      if (Normalized(key, held) != Normalized(key, value))
        differences.push_back({key, value, held});
    }
    std::string reason;
    for (const Difference& d : differences)
      reason += (reason.empty() ? "verify: " : ", ") + d.key + " is " + d.deviceValue +
                ", the profile has " + d.profileValue;
    const bool same = differences.empty();
    FinishUnit(same, same ? Verify::Ok : Verify::Failed, std::move(differences), reason, now);
  }

  void FailUnit(const std::string& reason, uint32_t now) {
    Verify verify = phase_ == Phase::Verifying ? Verify::Failed : Verify::NotAsked;
    FinishUnit(false, verify, {}, reason, now);
  }

  void FinishUnit(bool ok, Verify verify, std::vector<Difference> differences,
                  const std::string& reason, uint32_t now) {
    UnitResult r;
    r.number = bench_.NextUnitNumber();
    r.time = UtcNow();
    r.port = port_;
    r.model = model_.name;
    r.product = product_;
    r.identification = identification_;
    // Keys count as changed once the unit confirmed the save.
    if (phase_ == Phase::Verifying || (ok && phase_ == Phase::Writing)) r.changed = changes_;
    r.verify = verify;
    r.differences = std::move(differences);
    r.ok = ok;
    r.reason = reason;
    r.lastReport = OneLine(lastReport_);
    r.cannotOpen = cannotOpen_;
    r.seconds = double(now - (unitActive_ ? unitStartedAt_ : openedAt_)) / 1000.0;
    const bool verified = phase_ == Phase::Verifying;
    unitActive_ = false;
    (ok ? work_.ok : work_.failed)++;
    work_.lastFailed = !ok;
    work_.note = reason;
    bench_.Publish({BenchEvent::Result, work_, r});
    if (!config_.station) {
      End();
      return;
    }
    if (ok && !verified) {
      phase_ = Phase::NextUnit;  // its own restart is still to come
      return;
    }
    Release();
    phase_ = Phase::WaitingPower;
  }

  // Takes the unit out of program mode (ESC) and watches the port afresh: the unit left
  // switched on is not taken for a new one.
  void Release() {
    LeaveUnanswered();
    session_->Close();
    session_->Open();
    pressed_ = false;
    openedAt_ = clock_.NowMs();
  }

  // A unit that was sent the program-mode command and has not answered yet may be in program
  // mode all the same; the session's closing only leaves one that answered.
  void LeaveUnanswered() {
    if (!entryPending_ || session_->InProgramMode()) return;
    entryPending_ = false;
    ISerialPort& port = session_->UsingNewPort() && newPort_ ? *newPort_ : *selected_;
    port.writeData("\x1b", 1);
  }

  void End() {
    if (phase_ == Phase::Ended) return;
    phase_ = Phase::Ended;
    LeaveUnanswered();
    session_->Close();
    Publish();
    if (thread_) thread_->Stop();  // from its own thread: it ends after this tick
    ended_ = true;                 // last: whoever sees it sees the final status too
    bench_.Publish({});            // wakes WaitFinished
  }

  void Publish() {
    work_.phase = phase_;
    {
      std::lock_guard lock(statusMutex_);
      status_ = work_;
    }
    const std::string text = PhaseText(work_) + "|" + work_.note;
    if (text == publishedText_) return;
    publishedText_ = text;
    bench_.Publish({BenchEvent::Progress, work_, {}});
  }

  Bench& bench_;
  const BenchConfig& config_;
  const ModelTable& model_;
  IClock& clock_;
  const std::string port_;
  const bool auto_;
  UnitUi ui_;
  std::unique_ptr<ISerialPort> selected_;
  std::unique_ptr<ISerialPort> newPort_;
  std::unique_ptr<Session> session_;
  std::unique_ptr<PollThread> thread_;

  mutable std::mutex statusMutex_;
  PortStatus status_;  // what other threads see: work_ as last published
  PortStatus work_;

  // The port's thread only.
  std::atomic<bool> ended_{false};
  Phase phase_ = Phase::WaitingPower;
  uint32_t openedAt_ = 0;
  uint32_t unitStartedAt_ = 0;
  uint32_t saveDoneAt_ = 0;
  uint32_t lastEnter_ = 0;
  bool pressed_ = false;
  bool saveStarted_ = false;
  bool unitActive_ = false;
  bool everInProgramMode_ = false;
  bool entryPending_ = false;
  bool cannotOpen_ = false;
  std::vector<Change> changes_;
  std::string product_, identification_, lastIdentity_, lastReport_;
  std::string publishedText_;
};

Bench::Bench(BenchConfig config, BenchDeps deps) : config_(std::move(config)), deps_(deps) {
  for (const std::string& port : config_.ports)
    runs_.push_back(std::make_unique<PortRun>(*this, port));
}

Bench::~Bench() {
  for (auto& run : runs_) run->Shut();
}

void Bench::Start() {
  for (auto& run : runs_) run->Start();
}

void Bench::TickAll() {
  for (auto& run : runs_) run->Step();
}

void Bench::RequestStop() {
  ++stopRequests_;
}

void Bench::Abort() {
  stopRequests_ = std::max(stopRequests_.load(), 2);
}

bool Bench::Finished() const {
  return std::all_of(runs_.begin(), runs_.end(), [](const auto& run) { return run->Ended(); });
}

bool Bench::WaitFinished(int ms) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return Finished(); });
}

std::vector<PortStatus> Bench::Statuses() const {
  std::vector<PortStatus> out;
  for (const auto& run : runs_) out.push_back(run->Status());
  return out;
}

std::vector<BenchEvent> Bench::TakeEvents() {
  std::lock_guard lock(mutex_);
  std::vector<BenchEvent> out;
  out.swap(events_);
  return out;
}

std::vector<UnitResult> Bench::Results() const {
  std::lock_guard lock(mutex_);
  return results_;
}

int Bench::OkCount() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(
      std::count_if(results_.begin(), results_.end(), [](const UnitResult& r) { return r.ok; }));
}

int Bench::FailedCount() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(
      std::count_if(results_.begin(), results_.end(), [](const UnitResult& r) { return !r.ok; }));
}

bool Bench::AllOk() const {
  if (FailedCount() > 0) return false;
  if (config_.station) return true;
  return OkCount() == static_cast<int>(runs_.size());
}

bool Bench::OnlyPortsThatCannotOpenFailed() const {
  std::lock_guard lock(mutex_);
  bool failed = false;
  for (const UnitResult& r : results_) {
    if (r.ok) continue;
    if (!r.cannotOpen) return false;
    failed = true;
  }
  return failed;
}

std::string Bench::ReportError() const {
  std::lock_guard lock(mutex_);
  return reportError_;
}

int Bench::NextUnitNumber() {
  std::lock_guard lock(mutex_);
  return ++units_;
}

void Bench::Publish(BenchEvent event) {
  const bool wake = event.kind == BenchEvent::Progress && event.status.port.empty();
  {
    std::lock_guard lock(mutex_);
    if (!wake) {
      if (event.kind == BenchEvent::Result) {
        results_.push_back(event.result);
        if (deps_.report && !deps_.report->Append(event.result) && reportError_.empty())
          reportError_ = deps_.report->Error();
      }
      events_.push_back(std::move(event));
    }
  }
  changed_.notify_all();
}

}  // namespace setwright::provision
