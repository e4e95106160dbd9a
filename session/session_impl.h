// The engine's fields and its internal operations, shared by the public entry points
// (session.cpp), the state machine (session_tick.cpp), the dump reader (read_back.cpp) and
// the write sequence (write_sequence.cpp).
//
// Every function here runs with `mutex` held. What must not happen under the lock (port
// writes, sleeps, calls into the user interface) is queued in `effects` and run by the
// entry point after it has unlocked, in the order queued.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "session/poll_thread.h"
#include "session/session.h"

namespace setwright {

inline constexpr std::size_t kRxCapacity = 2048;
inline constexpr uint32_t kReplyTimeoutTicks = 40;
inline constexpr uint32_t kNewPortReplyTimeoutTicks = 20;
inline constexpr uint32_t kButtonDebounceMs = 100;
inline constexpr int kEndPauseMs = 300;

// Position of `value` in the setting's list, or -1.
inline int IndexOf(const ComboSetting& setting, std::string_view value) {
  for (std::size_t i = 0; i < setting.values.size(); ++i)
    if (setting.values[i] == value) return static_cast<int>(i);
  return -1;
}

// One step of the write sequence: the key looked at on the send step `step`; its reply is
// awaited on step + 1.
struct WriteItem {
  int step;
  std::string key;  // a combo key, "DEL", "CMD", "T1" or "END"
};

struct Session::Impl {
  Impl(const ModelTable& model, ISerialPort& selectedPort, ISerialPort* newPort,
       IPortLister& lister, IClock& clock);

  const ModelTable& model;
  ISerialPort& SelectedPort;
  ISerialPort* NewPort;  // null for the keyboard-to-serial family
  IClock& clock;
  ISessionUi* ui = nullptr;

  mutable std::mutex mutex;
  std::unique_lock<std::mutex>* held = nullptr;  // the lock Locked() holds, if any
  std::vector<std::function<void()>> effects;
  // A port is being opened with the lock let go (a network port may take seconds to
  // answer); buttons are ignored meanwhile, as while a reply is awaited.
  bool opening = false;

  // Handed over by the selection dialog.
  std::string portName;
  int baudRate = 9600, parity = 0, dataBits = 8, stopBits = 2;

  std::string newPortName;
  PortWatch KnownPorts;
  SessionState state = SessionState::IdleSelectedPort;
  uint32_t ReplyTicks = 0;
  uint32_t SettleTicks = 0;
  bool PowerOnSeen = false;
  uint32_t LastSendTime = 0;
  std::array<char, kRxCapacity + 1> RxBuffer{};
  std::size_t RxLen = 0;
  bool AwaitingReply = false;
  bool InProgramMode = false;
  bool UsingNewPort = false;
  uint32_t LastModemStatus[2] = {0, 0};  // SelectedPort, NewPort
  int EntryRetries = 0;
  int WriteStep = 0;
  bool SwitchingProduct = false;
  bool PollRunning = false;
  Colour StatusColour = Colour::Blue;
  DeviceSettings CurrentSettings;
  DeviceSettings FactoryDefaults;
  bool HasDelimiter = true;
  FormState form;

  std::vector<WriteItem> writeItems;
  bool manualTicks = false;
  bool opened = false;
  int extraPauseMs = 0;
  std::unique_ptr<PollThread> pollThread;

  bool SerialToKeyboard() const { return model.family == Family::SerialToKeyboard; }
  bool HasNewPort() const { return SerialToKeyboard() && NewPort != nullptr; }
  ISerialPort& ActivePort() { return UsingNewPort && NewPort ? *NewPort : SelectedPort; }
  int ActiveIndex() const { return UsingNewPort ? 1 : 0; }
  SessionState IdleState() const {
    return UsingNewPort ? SessionState::IdleNewPort : SessionState::IdleSelectedPort;
  }
  std::string_view Rx() const { return std::string_view(RxBuffer.data(), RxLen); }
  uint32_t MsSince(uint32_t then) { return clock.NowMs() - then; }  // modulo 2^32

  // Runs `fn` under the lock, then the effects it queued, unlocked.
  template <typename Fn>
  void Locked(Fn&& fn) {
    std::vector<std::function<void()>> queued;
    {
      std::unique_lock<std::mutex> lock(mutex);
      held = &lock;
      fn();
      held = nullptr;
      queued.swap(effects);
    }
    for (auto& effect : queued) effect();
  }

  // Queued effects.
  void Report(const std::string& text, Colour colour);
  void Send(ISerialPort& port, std::string bytes);
  void NotifyFormChanged();

  // Engine operations.
  void ResetToIdle();
  void ClearRx();
  bool CheckReplyTimeout();
  bool OpenPort(ISerialPort& port, const std::string& name);
  // "Open COM failed! Close using COM APP!", with the port's reason as a second line when
  // the serial layer knows it.
  void ReportOpenFailed(ISerialPort& port, const std::string& name);
  bool OpenAndReadStatus(ISerialPort& port, const std::string& name, int index);
  void FillForm();
  void BuildWriteItems();

  // Buttons.
  bool AcceptPress(uint32_t windowMs);
  bool OperationAllowed();
  void SendDefault(SessionState next);

  // State machine (session_tick.cpp).
  void TickState();
  void IdleSelected();
  void IdleNew();
  void ProgramModeRetry();
  void OpenFailed();
  void CtsWatch(ISerialPort& port, int index);
  void WatchInProgramMode(ISerialPort& port, int index);
  void AutomaticEntry(ISerialPort& port, int index, bool repeated);
  void DefaultAck();
  void ClearAck();

  // Read-back (read_back.cpp).
  void ReadBack();
  void ProductMismatch(const std::string& word);

  // Writing (write_sequence.cpp).
  void WriteTick();
  std::optional<std::string> ChangedLine(const std::string& key);
  int StepAfter(std::size_t item) const;  // the step after writeItems[item]
};

}  // namespace setwright
