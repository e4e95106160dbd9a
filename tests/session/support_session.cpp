#include "support_session.h"

#include <cstring>

namespace setwright::testing {

void FakePort::SetCts(bool on) {
  SetModemStatus(on ? (kModemCts | kModemDsr) : 0);
}

void FakePort::SetModemStatus(uint32_t status) {
  std::lock_guard<std::mutex> lock(mu_);
  status_ = status;
}

void FakePort::SetOpenFails(bool fails) {
  std::lock_guard<std::mutex> lock(mu_);
  openFails_ = fails;
}

void FakePort::Receive(const std::string& bytes) {
  CSerialPortListener* listener = nullptr;
  unsigned int waiting = 0;
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (!open_) return;
    pending_ += bytes;
    listener = listener_;
    waiting = static_cast<unsigned int>(pending_.size());
  }
  if (listener) listener->onReadEvent(name_.c_str(), waiting);
}

std::string FakePort::TakeWritten() {
  std::lock_guard<std::mutex> lock(mu_);
  std::string w;
  w.swap(written_);
  return w;
}

std::string FakePort::InitName() {
  std::lock_guard<std::mutex> lock(mu_);
  return initName_;
}

int FakePort::OpenCount() {
  std::lock_guard<std::mutex> lock(mu_);
  return openCount_;
}

void FakePort::init(const std::string& portName, int, int, int, int, int, unsigned int) {
  std::lock_guard<std::mutex> lock(mu_);
  if (!open_) initName_ = portName;
}

void FakePort::SetOpenError(OpenError error) {
  std::lock_guard<std::mutex> lock(mu_);
  openError_ = std::move(error);
}

bool FakePort::open() {
  std::lock_guard<std::mutex> lock(mu_);
  ++openCount_;
  open_ = !openFails_;
  lastOpenError_ = open_ ? OpenError{} : openError_;
  return open_;
}

OpenError FakePort::lastOpenError() {
  std::lock_guard<std::mutex> lock(mu_);
  return lastOpenError_;
}

bool FakePort::isOpen() {
  std::lock_guard<std::mutex> lock(mu_);
  return open_;
}

void FakePort::close() {
  std::lock_guard<std::mutex> lock(mu_);
  open_ = false;
  pending_.clear();
}

void FakePort::getModemStatus(uint32_t& status) {
  std::lock_guard<std::mutex> lock(mu_);
  if (open_) status = status_;
}

int FakePort::writeData(const void* data, int size) {
  std::lock_guard<std::mutex> lock(mu_);
  if (!open_) return -1;
  written_.append(static_cast<const char*>(data), static_cast<std::size_t>(size));
  return size;
}

int FakePort::readData(void* data, int size) {
  std::lock_guard<std::mutex> lock(mu_);
  if (!open_) return -1;
  std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(size), pending_.size());
  std::memcpy(data, pending_.data(), n);
  pending_.erase(0, n);
  return static_cast<int>(n);
}

void FakePort::connectReadEvent(CSerialPortListener* listener) {
  std::lock_guard<std::mutex> lock(mu_);
  listener_ = listener;
}

void FakePort::disconnectReadEvent() {
  std::lock_guard<std::mutex> lock(mu_);
  listener_ = nullptr;
}

std::vector<SerialPortInfo> FakeLister::List() {
  std::lock_guard<std::mutex> lock(mu_);
  return ports_;
}

void FakeLister::Set(const std::vector<std::string>& names) {
  std::lock_guard<std::mutex> lock(mu_);
  ports_.clear();
  for (const auto& n : names) ports_.push_back({n, "", ""});
}

void RecordingUi::Add(std::string line) {
  std::lock_guard<std::mutex> lock(mu_);
  calls_.push_back(std::move(line));
}

void RecordingUi::Report(const std::string& text, Colour colour) {
  Add(std::string("report ") + ColourName(colour) + " " + text);
  std::lock_guard<std::mutex> lock(mu_);
  lastReport_ = std::string(ColourName(colour)) + " " + text;
}

MessageResult RecordingUi::ShowMessageBox(const std::string& text, const std::string& caption,
                                          MessageButtons buttons) {
  Add("box " + caption + (buttons == MessageButtons::OkCancel ? " okcancel " : " ok ") + text);
  return boxAnswer;
}

void RecordingUi::AnswerMessageBox(bool pressOk) {
  Add(pressOk ? "answer ok" : "answer close");
}
void RecordingUi::StartTimer(int id, int ms) {
  Add("timer " + std::to_string(id) + " " + std::to_string(ms));
}
void RecordingUi::StopTimer(int id) {
  Add("stop timer " + std::to_string(id));
}
void RecordingUi::ClosePage() {
  Add("close page");
}
void RecordingUi::RequestClose() {
  Add("request close");
  if (closeOnRequest) closeOnRequest->Close();
}
void RecordingUi::SelectProduct(int productIndex) {
  Add("select product " + std::to_string(productIndex));
}
void RecordingUi::CloseSelectionDialog() {
  Add("close selection dialog");
}

std::vector<std::string> RecordingUi::Take() {
  std::lock_guard<std::mutex> lock(mu_);
  std::vector<std::string> c;
  c.swap(calls_);
  return c;
}

std::string RecordingUi::LastReport() {
  std::lock_guard<std::mutex> lock(mu_);
  return lastReport_;
}

Rig::Rig(const std::string& modelName, bool open) : model(*FindModel(modelName)) {
  lister.Set({"COM3"});
  bool serialToKeyboard = model.family == Family::SerialToKeyboard;
  session = std::make_unique<Session>(model, selected, serialToKeyboard ? &newPort : nullptr,
                                      lister, clock);
  session->SetUi(&ui);
  session->SetManualTicks(true);
  session->SetPortName("COM3");
  if (open) {
    session->Open();
    ui.Take();
  }
}

Rig::~Rig() {
  session->SetUi(nullptr);
}

void Rig::Ticks(int n) {
  for (int i = 0; i < n; ++i) {
    clock.now += 50;
    session->Tick();
  }
}

void Rig::PowerCycleToEntry() {
  selected.SetCts(true);
  Ticks();  // opens the port: the device must be restarted
  selected.SetCts(false);
  Ticks();
  selected.SetCts(true);
  Ticks(2);  // CTS seen on, then the entry one tick later
  ui.Take();
}

void Rig::EnterWithDump(const std::string& dump) {
  PowerCycleToEntry();
  selected.TakeWritten();
  selected.Receive(dump);
  Ticks();
  ui.Take();
}

std::string Dump(const std::vector<std::string>& lines) {
  std::string d = "\r\n*** PROGRAM MODE ***\r\n";
  for (const auto& l : lines) d += l + "\r\n";
  return d;
}

}  // namespace setwright::testing
