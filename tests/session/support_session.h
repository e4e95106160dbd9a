// Fakes for driving a Session by hand: a clock the test moves, ports whose modem lines and
// received bytes the test sets, a port listing the test edits, and a front end that records
// what the engine asked of it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "serial/serial_port.h"
#include "serial/serial_port_info.h"
#include "session/session.h"

namespace setwright::testing {

class FakeClock : public IClock {
 public:
  uint32_t NowMs() override { return now.load(); }
  void SleepMs(int ms) override {
    now += static_cast<uint32_t>(ms);
    slept += ms;
  }
  std::atomic<uint32_t> now{1000};
  std::atomic<int> slept{0};
};

class FakePort : public ISerialPort {
 public:
  explicit FakePort(std::string name) : name_(std::move(name)) {}

  // Test side.
  void SetCts(bool on);
  void SetModemStatus(uint32_t status);
  void SetOpenFails(bool fails);
  // The reason a failed opening gives.
  void SetOpenError(OpenError error);
  // Queues bytes as received and raises the read event, as the serial layer does.
  void Receive(const std::string& bytes);
  std::string TakeWritten();
  std::string InitName();
  int OpenCount();

  // ISerialPort
  void setReadIntervalTimeout(unsigned int) override {}
  void init(const std::string& portName, int, int, int, int, int, unsigned int) override;
  bool open() override;
  bool isOpen() override;
  void close() override;
  OpenError lastOpenError() override;
  void setRts(bool) override {}
  void setBaudRate(int) override {}
  void getModemStatus(uint32_t& status) override;
  int writeData(const void* data, int size) override;
  int readData(void* data, int size) override;
  void connectReadEvent(CSerialPortListener* listener) override;
  void disconnectReadEvent() override;

 private:
  std::mutex mu_;
  std::string name_;
  std::string initName_;
  bool open_ = false;
  bool openFails_ = false;
  OpenError openError_;
  OpenError lastOpenError_;
  int openCount_ = 0;
  uint32_t status_ = 0;
  std::string pending_;
  std::string written_;
  CSerialPortListener* listener_ = nullptr;
};

class FakeLister : public IPortLister {
 public:
  std::vector<SerialPortInfo> List() override;
  void Set(const std::vector<std::string>& names);

 private:
  std::mutex mu_;
  std::vector<SerialPortInfo> ports_;
};

// Records every call as one line of text, e.g. "report red Set command error!".
class RecordingUi : public ISessionUi {
 public:
  void Report(const std::string& text, Colour colour) override;
  void FormChanged() override { ++formChanges; }
  MessageResult ShowMessageBox(const std::string& text, const std::string& caption,
                               MessageButtons buttons) override;
  bool IsMessageBoxOpen() override { return boxOpen.load(); }
  void AnswerMessageBox(bool pressOk) override;
  void StartTimer(int id, int ms) override;
  void StopTimer(int id) override;
  void ClosePage() override;
  void RequestClose() override;
  void SelectProduct(int productIndex) override;
  void CloseSelectionDialog() override;

  std::vector<std::string> Take();  // the calls since the last Take
  std::string LastReport();

  std::atomic<bool> boxOpen{false};
  MessageResult boxAnswer = MessageResult::Ok;  // what the next box is answered with
  std::atomic<int> formChanges{0};
  Session* closeOnRequest = nullptr;  // a front end that closes the page when asked

 private:
  void Add(std::string line);
  std::mutex mu_;
  std::vector<std::string> calls_;
  std::string lastReport_;
};

// A session over fakes, ticked by hand.
struct Rig {
  explicit Rig(const std::string& modelName, bool open = true);
  ~Rig();

  // Moves the clock by 50 ms and runs one tick, n times.
  void Ticks(int n = 1);
  // Opens the selected port with the device already powered, then lets the user switch
  // the device off and on: the program-mode command goes out and the log is cleared.
  void PowerCycleToEntry();
  // Brings the page into program mode with the given dump as the device's answer.
  void EnterWithDump(const std::string& dump);

  FakeClock clock;
  FakePort selected{"COM3"};
  FakePort newPort{"COM7"};
  FakeLister lister;
  RecordingUi ui;
  const ModelTable& model;
  std::unique_ptr<Session> session;
};

// A dump as the models send it: lead-in, banner, then every line with CR LF.
std::string Dump(const std::vector<std::string>& lines);

}  // namespace setwright::testing
