// The session engine of one settings page: ports, power-restart watch, program-mode
// protocol, write sequence, time-outs and reports. It knows no widgets: it works on a
// FormState and reports through ISessionUi.
//
// Threads: buttons, validators, timers, Open and Close on the user-interface thread;
// Tick on PollThread; onReadEvent on the serial layer's threads. One mutex guards every
// engine field, the form state and RxBuffer; it is never held across a message box, a
// sleep or a port write.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "serial/serial_port.h"
#include "serial/serial_port_info.h"
#include "session/model_table.h"
#include "session/session_ui.h"

namespace setwright {

enum class SessionState {
  IdleSelectedPort = 0,
  IdleNewPort = 1,
  AwaitProgramMode = 2,
  AwaitProgramModeNewPort = 3,
  ProgramModeRetry = 4,
  AwaitDefaultDump = 5,
  AwaitDefaultAck = 6,
  AwaitClearAck = 7,
  Writing = 8,
  OpenFailed = 9,
};

// What the page's controls hold, as the engine sees them. Texts are 8-bit device text.
struct FormState {
  std::map<std::string, int> selected;  // combo key -> selected index, -1 for none
  std::string delimiterText;            // 2014
  std::string promptText;               // 2016
  std::string intervalText;             // 2022
  std::string productText;              // 2006
  std::string identificationText;       // 2007
  std::string pairedText;               // 2008

  bool operator==(const FormState&) const = default;
};

class Session : public CSerialPortListener {
 public:
  // newPort is null for the keyboard-to-serial family (one port only).
  Session(const ModelTable& model, ISerialPort& selectedPort, ISerialPort* newPort,
          IPortLister& lister, IClock& clock);
  ~Session() override;
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  const ModelTable& Model() const;
  void SetUi(ISessionUi* ui);

  // Handed over by the selection dialog before each opening.
  void SetPortName(const std::string& portName);
  void SetLineSettings(int baudRate, int parity, int dataBits, int stopBits);

  // Tests and tools that tick the engine themselves: Open() then starts no PollThread.
  void SetManualTicks(bool manual);

  // Page opening and closing (user-interface thread).
  void Open();
  void Close();

  // One tick of the state machine (PollThread, or a test).
  void Tick();
  // Milliseconds PollThread must pause after the tick just run besides its 50 ms.
  int TakeExtraPauseMs();

  // Buttons (user-interface thread).
  void EnterProgMode();
  void SaveAndReset();
  void SetToDefault();
  void CleanPairedDevice();

  // A one-shot timer of the page fired (user-interface thread).
  void OnTimer(int timerId);

  // Input rules of the form. Each returns the message-box text to show (with the model
  // name as caption) when the input is refused, after which the page puts the focus back.
  std::optional<std::string> CheckDelimiterOnFocusLost();
  std::optional<std::string> CheckPromptOnFocusLost();
  std::optional<std::string> CheckIntervalOnFocusLost();
  void OnLineFeedMaskChanged();  // line-feed mask rule
  static bool IsDelimiterChar(char c);

  // The form, as a copy, and changes to it made by the front end.
  FormState Form() const;
  void EditForm(const std::function<void(FormState&)>& change);

  // Observers.
  SessionState State() const;
  bool InProgramMode() const;
  bool AwaitingReply() const;
  bool UsingNewPort() const;
  DeviceSettings CurrentSettings() const;
  std::string PortName() const;
  // The key "Save and Reset" is at while writing ("B", ..., "END"), else empty.
  std::string WritingKey() const;

  // CSerialPortListener
  void onReadEvent(const char* portName, unsigned int readBufferLen) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace setwright
