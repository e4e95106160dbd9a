#include "sim/sim_device.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "sim/device_tables.h"

namespace setwright::sim {

namespace {

constexpr uint32_t kReplyMs = 10;
constexpr uint32_t kEmptyLineHoldMs = 5;
constexpr uint32_t kRestartGapMs = 10;
constexpr size_t kMaxLine = 128;
constexpr size_t kMaxPairedHosts = 2;
constexpr char kEsc = 0x1B;
constexpr uint32_t kModemLinesPowered = 0x10 | 0x20;  // CTS and DSR
constexpr int kProgramBaud = 9600;

// Times are taken modulo 2^32: an event is due once now has reached it.
bool Reached(uint32_t due, uint32_t now) {
  return static_cast<int32_t>(now - due) >= 0;
}

const char* Banner(Family family, bool wrong) {
  if (family == Family::SerialToKeyboard) {
    return wrong ? "*** PROGRAM MODE***" : "*** PROGRAM MODE ***";
  }
  return wrong ? "* * * PROGRAM MODE* * *" : "* * * PROGRAM MODE * * *";
}

const char* EndBanner(Family family) {
  return family == Family::SerialToKeyboard ? "*** PROGRAM END ***"
                                            : "* * * PROGRAM MODE END * * *";
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The value as the device stores it, or false when the device refuses it.
bool Normalize(const KeyRule& rule, std::string_view value, std::string* out) {
  switch (rule.kind) {
    case KeyRule::List:
      if (std::find(rule.values.begin(), rule.values.end(), value) == rule.values.end()) {
        return false;
      }
      *out = std::string(value);
      return true;
    case KeyRule::Hex: {
      if (value.empty()) {
        *out = "";
        return true;
      }
      if (value.size() != 2) return false;
      const int high = HexDigit(value[0]);
      const int low = HexDigit(value[1]);
      if (high < 0 || low < 0) return false;
      const int number = high * 16 + low;
      if (number > rule.max) return false;
      static const char kDigits[] = "0123456789ABCDEF";
      *out = number == 0 ? "" : std::string{kDigits[high], kDigits[low]};
      return true;
    }
    case KeyRule::Prompt:
      if (value.size() < static_cast<size_t>(rule.min) ||
          value.size() > static_cast<size_t>(rule.max)) {
        return false;
      }
      for (char c : value) {
        if (c <= ' ' || c > '~') return false;
      }
      *out = std::string(value);
      return true;
    case KeyRule::Interval: {
      if (value.empty() || value.size() > 6) return false;
      int number = 0;
      for (char c : value) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + (c - '0');
      }
      if (number < rule.min || number > rule.max) return false;
      *out = std::to_string(number);
      return true;
    }
  }
  return false;
}

}  // namespace

const std::vector<std::string>& SimDevice::ModelNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> out;
    for (const auto& table : AllDeviceTables()) out.push_back(table.name);
    return out;
  }();
  return names;
}

std::unique_ptr<SimDevice> SimDevice::Create(std::string_view model, DeviceOptions options) {
  for (const auto& table : AllDeviceTables()) {
    if (table.name == model) {
      return std::unique_ptr<SimDevice>(new SimDevice(table, std::move(options)));
    }
  }
  return nullptr;
}

SimDevice::SimDevice(const DeviceTable& table, DeviceOptions options)
    : table_(table), options_(std::move(options)) {
  for (const auto& rule : table_.keys) stored_.emplace_back(rule.key, rule.factory);
  working_ = stored_;
}

SimDevice::~SimDevice() = default;

const std::string& SimDevice::Name() const {
  return table_.name;
}

Family SimDevice::family() const {
  return table_.family;
}

void SimDevice::Attach(IDeviceLink* link) {
  {
    std::lock_guard lock(mu_);
    link_ = link;
    if (link_) outbox_.push_back({false, {}, powered_ ? kModemLinesPowered : 0});
  }
  Flush();
}

void SimDevice::OnHostBytes(const std::string& bytes, uint32_t nowMs) {
  {
    std::lock_guard lock(mu_);
    TimeGiven(nowMs);
    if (powered_ && hostSpeedOk_) {
      for (char c : bytes) {
        if (c == kEsc) {
          // Leaving without "END": nothing written is kept.
          lineBuffer_.clear();
          lineTooLong_ = false;
          if (programMode_) {
            programMode_ = false;
            working_ = stored_;
            std::erase_if(events_, [](const Event& e) { return e.kind == Event::HeldEmptyLine; });
          }
        } else if (c == '\n') {
          if (lineTooLong_) {
            if (programMode_) Refuse(nowMs);
          } else {
            HandleLine(lineBuffer_, nowMs);
          }
          lineBuffer_.clear();
          lineTooLong_ = false;
        } else if (c != '\r') {
          if (lineBuffer_.size() < kMaxLine) {
            lineBuffer_.push_back(c);
          } else {
            lineTooLong_ = true;
          }
        }
      }
    }
  }
  Flush();
}

void SimDevice::OnRts(bool, uint32_t nowMs) {
  {
    std::lock_guard lock(mu_);
    TimeGiven(nowMs);
  }
  Flush();
}

void SimDevice::OnLineSettings(const LineSettings& settings, uint32_t nowMs) {
  {
    std::lock_guard lock(mu_);
    TimeGiven(nowMs);
    hostSpeedOk_ = settings.baudRate == kProgramBaud;
  }
  Flush();
}

void SimDevice::Advance(uint32_t nowMs) {
  {
    std::lock_guard lock(mu_);
    TimeGiven(nowMs);
  }
  Flush();
}

int SimDevice::MsUntilNextEvent(uint32_t nowMs) {
  std::lock_guard lock(mu_);
  int best = -1;
  for (const auto& event : events_) {
    const int32_t left = std::max<int32_t>(0, static_cast<int32_t>(event.due - nowMs));
    if (best < 0 || left < best) best = left;
  }
  return best;
}

void SimDevice::SetPower(bool on, uint32_t nowMs) {
  {
    std::lock_guard lock(mu_);
    TimeGiven(nowMs);
    // The switch overrides a restart in progress.
    std::erase_if(events_, [](const Event& e) {
      return e.kind == Event::PowerOn || e.kind == Event::PowerOff;
    });
    if (on) {
      PowerOnLocked(nowMs);
    } else {
      PowerOffLocked();
    }
  }
  Flush();
}

void SimDevice::SetPower(bool on) {
  {
    std::lock_guard lock(mu_);
    std::erase_if(events_, [](const Event& e) {
      return e.kind == Event::PowerOn || e.kind == Event::PowerOff;
    });
    if (on) {
      const bool wasOn = powered_;
      PowerOnLocked(now_);
      // The latest time given may be long past: the power-up counts from the next one.
      if (!wasOn) poweredAtKnown_ = false;
    } else {
      PowerOffLocked();
    }
  }
  Flush();
}

void SimDevice::PowerCycle(uint32_t offMs, uint32_t nowMs) {
  SetPower(false, nowMs);
  {
    std::lock_guard lock(mu_);
    Schedule({Event::PowerOn, nowMs + offMs, {}});
  }
  Flush();
}

bool SimDevice::Powered() const {
  std::lock_guard lock(mu_);
  return powered_;
}

bool SimDevice::InProgramMode() const {
  std::lock_guard lock(mu_);
  return programMode_;
}

uint32_t SimDevice::ModemLines() const {
  std::lock_guard lock(mu_);
  return powered_ ? kModemLinesPowered : 0;
}

std::vector<std::pair<std::string, std::string>> SimDevice::Settings() const {
  std::lock_guard lock(mu_);
  return stored_;
}

std::string SimDevice::Setting(std::string_view key) const {
  std::lock_guard lock(mu_);
  for (const auto& [k, v] : stored_) {
    if (k == key) return v;
  }
  return {};
}

void SimDevice::SetSetting(std::string_view key, std::string value) {
  std::lock_guard lock(mu_);
  if (std::string* slot = Find(stored_, key)) *slot = value;
  if (std::string* slot = Find(working_, key)) *slot = std::move(value);
}

void SimDevice::AddPairedHost(std::string host) {
  std::lock_guard lock(mu_);
  if (pairedHosts_.size() == kMaxPairedHosts) pairedHosts_.erase(pairedHosts_.begin());
  pairedHosts_.push_back(std::move(host));
}

std::vector<std::string> SimDevice::PairedHosts() const {
  std::lock_guard lock(mu_);
  return pairedHosts_;
}

void SimDevice::SetUnitNumber(int number, int unitStep) {
  std::lock_guard lock(mu_);
  unitNumber_ = number;
  unitStep_ = unitStep > 0 ? unitStep : 1;
}

void SimDevice::ReplaceUnit() {
  {
    std::lock_guard lock(mu_);
    std::erase_if(events_, [](const Event& e) {
      return e.kind == Event::PowerOn || e.kind == Event::PowerOff;
    });
    PowerOffLocked();
    stored_.clear();
    for (const auto& rule : table_.keys) stored_.emplace_back(rule.key, rule.factory);
    working_ = stored_;
    pairedHosts_.clear();
    unitNumber_ += unitStep_;
  }
  Flush();
}

int SimDevice::UnitNumber() const {
  std::lock_guard lock(mu_);
  return unitNumber_;
}

std::string SimDevice::Identification() const {
  std::lock_guard lock(mu_);
  return IdentificationLocked();
}

std::string SimDevice::IdentificationLocked() const {
  // "(00:1A:7D:31:00:01)": the last two bytes carry the unit number.
  std::string id = table_.identification;
  const size_t close = id.rfind(')');
  if (close == std::string::npos || close < 5 || id[close - 3] != ':') return id;
  char bytes[8];
  std::snprintf(bytes, sizeof bytes, "%02X:%02X", (unitNumber_ >> 8) & 0xFF, unitNumber_ & 0xFF);
  return id.replace(close - 5, 5, bytes);
}

DeviceOptions SimDevice::Options() const {
  std::lock_guard lock(mu_);
  return options_;
}

void SimDevice::SetOptions(const DeviceOptions& options) {
  std::lock_guard lock(mu_);
  options_ = options;
}

std::string* SimDevice::Find(Settings_& settings, std::string_view key) const {
  for (auto& [k, v] : settings) {
    if (k == key) return &v;
  }
  return nullptr;
}

void SimDevice::TimeGiven(uint32_t nowMs) {
  now_ = nowMs;
  if (!poweredAtKnown_) {
    poweredAt_ = nowMs;
    poweredAtKnown_ = true;
  }
  RunDueEvents(nowMs);
}

void SimDevice::HandleLine(const std::string& line, uint32_t now) {
  if (line.empty()) {
    HandleEmptyLine(now);
    return;
  }
  // A line after an empty one means the empty one only led in a command.
  std::erase_if(events_, [](const Event& e) { return e.kind == Event::HeldEmptyLine; });

  if (table_.family == Family::SerialToKeyboard && line == "@PROG") {
    if (options_.busy) {
      Reply(" ?\r\n", now);
      return;
    }
    if (!programMode_) working_ = stored_;
    programMode_ = true;
    SendDump(now);
    return;
  }
  if (!programMode_) return;

  if (line == "END") {
    std::string banner = EndBanner(table_.family);
    if (options_.endBannerChars >= 0) {
      banner.resize(std::min(banner.size(), static_cast<size_t>(options_.endBannerChars)));
    }
    if (table_.family == Family::KeyboardToSerial) banner = "\r\n" + banner;
    const uint32_t sent = Reply(banner + "\r\n", now);
    stored_ = working_;
    programMode_ = false;
    RestartAfter(sent);
  } else if (line == "DEFAULT") {
    for (const auto& rule : table_.keys) *Find(stored_, rule.key) = rule.factory;
    working_ = stored_;
    pairedHosts_.clear();
    if (table_.family == Family::SerialToKeyboard) {
      Reply("\r\n*** DEFAULT ***\r\n", now);
    } else {
      Acknowledge(now);
    }
  } else if (line.find('=') != std::string::npos) {
    HandleSetting(line, now);
  } else {
    Refuse(now);
  }
}

void SimDevice::HandleEmptyLine(uint32_t now) {
  if (table_.family == Family::SerialToKeyboard) {
    if (programMode_) Schedule({Event::HeldEmptyLine, now + kEmptyLineHoldMs, {}});
    return;
  }
  if (!programMode_) {
    if (static_cast<uint32_t>(now - poweredAt_) > options_.entryWindowMs) return;
    programMode_ = true;
    working_ = stored_;
  }
  SendDump(now);
}

void SimDevice::HandleSetting(const std::string& line, uint32_t now) {
  const size_t eq = line.find('=');
  const std::string key = line.substr(0, eq);
  const std::string_view value = std::string_view(line).substr(eq + 1);
  const KeyRule* rule = table_.Rule(key);
  std::string normalized;
  if (!rule || key == options_.refusedKey || (key == "DEL" && !options_.delimiterLine) ||
      !Normalize(*rule, value, &normalized)) {
    Refuse(now);
    return;
  }
  // Line-feed mask 2 would swallow a line-feed delimiter.
  const std::string* lf = Find(working_, "LF");
  const std::string* del = Find(working_, "DEL");
  if (lf && del &&
      ((key == "DEL" && normalized == "0A" && *lf == "2") ||
       (key == "LF" && normalized == "2" && *del == "0A"))) {
    Refuse(now);
    return;
  }
  if (key != options_.forgottenKey) *Find(working_, key) = normalized;
  Acknowledge(now);
}

uint32_t SimDevice::Reply(std::string bytes, uint32_t now) {
  uint32_t due = now + kReplyMs + options_.extraDelayMs;
  // Replies leave in the order they were asked for.
  if (hasLastDue_ && static_cast<int32_t>(due - lastDue_) < 0) due = lastDue_;
  if (options_.silent || bytes.empty()) return due;
  const size_t pieces =
      std::clamp<size_t>(static_cast<size_t>(std::max(options_.splitPieces, 1)), 1, bytes.size());
  const size_t size = bytes.size() / pieces;
  for (size_t i = 0; i < pieces; ++i) {
    const size_t begin = i * size;
    const size_t length = i + 1 == pieces ? std::string::npos : size;
    Schedule({Event::Bytes, due, bytes.substr(begin, length)});
    if (i + 1 < pieces) due += options_.splitGapMs;
  }
  lastDue_ = due;
  hasLastDue_ = true;
  return due;
}

void SimDevice::Acknowledge(uint32_t now) {
  std::string ack = table_.family == Family::SerialToKeyboard ? "OK\r\n" : "\r\n";
  Reply(options_.doubleAck ? ack + ack : ack, now);
}

void SimDevice::Refuse(uint32_t now) {
  Reply("ERR\r\n", now);
}

void SimDevice::Schedule(Event event) {
  events_.push_back(std::move(event));
}

void SimDevice::SendDump(uint32_t now) {
  Reply(BuildDump(), now);
}

std::string SimDevice::BuildDump() const {
  const std::string eol = "\r\n";
  std::string out = eol + Banner(table_.family, options_.wrongBanner) + eol;
  out += (options_.productModel.empty() ? table_.name : options_.productModel) + " " +
         table_.productRest + eol;
  if (options_.identification == IdentificationLine::Always && !table_.HasIdentification()) {
    out += IdentificationLocked() + eol;
  }
  for (const auto& line : table_.dump) {
    switch (line.kind) {
      case DumpLine::Identification:
        if (options_.identification != IdentificationLine::Never) {
          out += IdentificationLocked() + eol;
        }
        break;
      case DumpLine::Setting:
        if (line.text == "DEL" && !options_.delimiterLine) break;
        for (const auto& [key, value] : working_) {
          if (key == line.text) out += key + "=" + value + eol;
        }
        break;
      case DumpLine::DelimiterFiller:
        if (options_.delimiterLine) out += line.text + eol;
        break;
      case DumpLine::Filler:
        out += line.text + eol;
        break;
    }
  }
  if (table_.emptyLineAfterSettings) out += eol;
  if (table_.keepsPairedHosts && options_.pairedSection) {
    if (pairedHosts_.empty()) {
      out += " ?" + eol;
    } else {
      out += "1:" + pairedHosts_[0] + eol;
      out += "2:" + (pairedHosts_.size() > 1 ? pairedHosts_[1] : std::string(" ?")) + eol;
    }
  }
  return out;
}

void SimDevice::PowerOnLocked(uint32_t now) {
  if (powered_) return;
  powered_ = true;
  poweredAt_ = now;
  poweredAtKnown_ = true;
  programMode_ = false;
  working_ = stored_;
  lineBuffer_.clear();
  lineTooLong_ = false;
  outbox_.push_back({false, {}, kModemLinesPowered});
}

void SimDevice::PowerOffLocked() {
  // What was on its way out is lost with the power; a restart's power-on stays scheduled.
  std::erase_if(events_, [](const Event& e) {
    return e.kind == Event::Bytes || e.kind == Event::HeldEmptyLine;
  });
  hasLastDue_ = false;
  if (!powered_) return;
  powered_ = false;
  programMode_ = false;
  working_ = stored_;
  lineBuffer_.clear();
  lineTooLong_ = false;
  outbox_.push_back({false, {}, 0});
}

void SimDevice::RestartAfter(uint32_t due) {
  Schedule({Event::PowerOff, due + kRestartGapMs, {}});
  Schedule({Event::PowerOn, due + kRestartGapMs + options_.restartMs, {}});
}

void SimDevice::RunDueEvents(uint32_t now) {
  for (;;) {
    // The earliest due event first; among equals, the one scheduled first.
    auto next = events_.end();
    for (auto it = events_.begin(); it != events_.end(); ++it) {
      if (!Reached(it->due, now)) continue;
      if (next == events_.end() || static_cast<int32_t>(it->due - next->due) < 0) next = it;
    }
    if (next == events_.end()) return;
    Event event = std::move(*next);
    events_.erase(next);
    switch (event.kind) {
      case Event::Bytes:
        outbox_.push_back({true, std::move(event.bytes), 0});
        break;
      case Event::PowerOff:
        PowerOffLocked();
        break;
      case Event::PowerOn:
        PowerOnLocked(event.due);
        break;
      case Event::HeldEmptyLine:
        if (programMode_) SendDump(event.due);
        break;
    }
  }
}

void SimDevice::Flush() {
  std::unique_lock lock(mu_);
  if (delivering_) return;  // the thread already delivering takes these too
  delivering_ = true;
  while (!outbox_.empty()) {
    Outgoing item = std::move(outbox_.front());
    outbox_.pop_front();
    IDeviceLink* link = link_;
    lock.unlock();
    if (link) {
      if (item.isBytes) {
        link->Send(item.bytes);
      } else {
        link->SetModemLines(item.lines);
      }
    }
    lock.lock();
  }
  delivering_ = false;
}

}  // namespace setwright::sim
