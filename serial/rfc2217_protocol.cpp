#include "serial/rfc2217_protocol.h"

namespace setwright::rfc2217 {

int ParityToWire(int parity) {
  return parity >= 0 && parity <= 4 ? parity + 1 : 0;
}

int ParityFromWire(int wire) {
  return wire >= 1 && wire <= 5 ? wire - 1 : -1;
}

int StopBitsToWire(int stopBits) {
  switch (stopBits) {
    case 0:
      return 1;
    case 1:
      return 3;
    case 2:
      return 2;
    default:
      return 0;
  }
}

int StopBitsFromWire(int wire) {
  switch (wire) {
    case 1:
      return 0;
    case 2:
      return 2;
    case 3:
      return 1;
    default:
      return -1;
  }
}

std::string EscapeData(const char* data, size_t size) {
  std::string out;
  out.reserve(size + 8);
  for (size_t i = 0; i < size; ++i) {
    out.push_back(data[i]);
    if (static_cast<uint8_t>(data[i]) == IAC) out.push_back(static_cast<char>(IAC));
  }
  return out;
}

std::string OptionCommand(uint8_t verb, uint8_t option) {
  return {static_cast<char>(IAC), static_cast<char>(verb), static_cast<char>(option)};
}

std::string ComPortCommand(uint8_t command, const std::string& value) {
  std::string out{static_cast<char>(IAC), static_cast<char>(SB), static_cast<char>(kOptionComPort),
                  static_cast<char>(command)};
  out += EscapeData(value.data(), value.size());
  out.push_back(static_cast<char>(IAC));
  out.push_back(static_cast<char>(SE));
  return out;
}

std::string ComPortCommand(uint8_t command, uint8_t value) {
  return ComPortCommand(command, std::string(1, static_cast<char>(value)));
}

std::string Uint32Value(uint32_t value) {
  return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
          static_cast<char>(value >> 8), static_cast<char>(value)};
}

void TelnetParser::Reset() {
  state_ = State::Data;
  sub_.clear();
  subTruncated_ = false;
}

void TelnetParser::Feed(const char* data, size_t size, Handler& handler) {
  constexpr size_t kNoRun = static_cast<size_t>(-1);
  size_t runStart = kNoRun;  // first data byte not yet handed over
  // The byte after an IAC, also reached when a sub-negotiation breaks off without IAC SE.
  auto afterIac = [&](uint8_t byte) {
    if (byte == IAC) {
      const char escaped = static_cast<char>(IAC);
      state_ = State::Data;
      handler.OnData(&escaped, 1);
    } else if (byte == WILL || byte == WONT || byte == DO || byte == DONT) {
      verb_ = byte;
      state_ = State::Verb;
    } else if (byte == SB) {
      sub_.clear();
      subTruncated_ = false;
      state_ = State::Sub;
    } else {
      // A stray SE lands here too and is ignored like any other command.
      state_ = State::Data;
      handler.OnCommand(byte);
    }
  };
  auto keep = [&](uint8_t byte) {
    if (sub_.size() < kMaxSubnegotiation) {
      sub_.push_back(static_cast<char>(byte));
    } else {
      subTruncated_ = true;
    }
  };
  for (size_t i = 0; i < size; ++i) {
    const uint8_t byte = static_cast<uint8_t>(data[i]);
    switch (state_) {
      case State::Data:
        if (byte == IAC) {
          if (runStart != kNoRun) handler.OnData(data + runStart, i - runStart);
          runStart = kNoRun;
          state_ = State::Iac;
        } else if (runStart == kNoRun) {
          runStart = i;
        }
        break;
      case State::Iac:
        afterIac(byte);
        break;
      case State::Verb:
        state_ = State::Data;
        handler.OnOption(verb_, byte);
        break;
      case State::Sub:
        if (byte == IAC) {
          state_ = State::SubIac;
        } else {
          keep(byte);
        }
        break;
      case State::SubIac:
        if (byte == IAC) {
          keep(byte);
          state_ = State::Sub;
        } else if (byte == SE) {
          state_ = State::Data;
          std::string payload;
          payload.swap(sub_);
          const bool truncated = subTruncated_;
          subTruncated_ = false;
          handler.OnSubnegotiation(payload, truncated);
        } else {
          // The peer broke off without IAC SE: drop what was collected and read the byte
          // as the command it is.
          sub_.clear();
          subTruncated_ = false;
          afterIac(byte);
        }
        break;
    }
  }
  if (state_ == State::Data && runStart != kNoRun) {
    handler.OnData(data + runStart, size - runStart);
  }
}

void TelnetOptions::Support(uint8_t option, bool forUs, bool forThem) {
  entries_[option].supportUs = forUs;
  entries_[option].supportThem = forThem;
}

std::string TelnetOptions::Request(uint8_t verb, uint8_t option) {
  Entry& e = entries_[option];
  Q& q = verb == WILL ? e.us : e.them;
  if (q != Q::No) return {};
  q = Q::WantYes;
  return OptionCommand(verb, option);
}

std::string TelnetOptions::Receive(uint8_t verb, uint8_t option) {
  Entry& e = entries_[option];
  const bool aboutThem = verb == WILL || verb == WONT;
  const bool positive = verb == WILL || verb == DO;
  Q& q = aboutThem ? e.them : e.us;
  const bool supported = aboutThem ? e.supportThem : e.supportUs;
  const uint8_t yes = aboutThem ? DO : WILL;
  const uint8_t no = aboutThem ? DONT : WONT;
  if (positive) {
    switch (q) {
      case Q::No:
        if (!supported) return OptionCommand(no, option);
        q = Q::Yes;
        return OptionCommand(yes, option);
      case Q::WantYes:
        q = Q::Yes;
        return {};
      case Q::Yes:
        return {};
    }
  } else {
    switch (q) {
      case Q::No:
        return {};
      case Q::WantYes:
        q = Q::No;
        e.refused = true;
        return {};
      case Q::Yes:
        q = Q::No;
        return OptionCommand(no, option);
    }
  }
  return {};
}

Rfc2217Client::Rfc2217Client(const PortSettings& settings) : settings_(settings) {
  options_.Support(kOptionBinary, true, true);
  options_.Support(kOptionSuppressGoAhead, true, true);
  options_.Support(kOptionComPort, true, true);
}

std::string Rfc2217Client::Start() {
  std::string out;
  out += options_.Request(WILL, kOptionBinary);
  out += options_.Request(DO, kOptionBinary);
  out += options_.Request(WILL, kOptionComPort);
  return out;
}

void Rfc2217Client::Feed(const char* bytes, size_t size, std::string& data) {
  data_ = &data;
  parser_.Feed(bytes, size, *this);
  data_ = nullptr;
}

std::string Rfc2217Client::TakeOutput() {
  std::string out;
  out.swap(output_);
  return out;
}

void Rfc2217Client::OnData(const char* data, size_t size) {
  if (data_) data_->append(data, size);
}

void Rfc2217Client::OnOption(uint8_t verb, uint8_t option) {
  output_ += options_.Receive(verb, option);
  if (!configured_ && Ready()) {
    configured_ = true;
    output_ += ComPortCommand(SET_BAUDRATE, Uint32Value(static_cast<uint32_t>(settings_.baudRate)));
    output_ += ComPortCommand(SET_DATASIZE, static_cast<uint8_t>(settings_.dataBits));
    output_ += ComPortCommand(SET_PARITY, static_cast<uint8_t>(ParityToWire(settings_.parity)));
    output_ +=
        ComPortCommand(SET_STOPSIZE, static_cast<uint8_t>(StopBitsToWire(settings_.stopBits)));
    const uint8_t flow = settings_.flowControl == 1   ? kControlHardwareFlow
                         : settings_.flowControl == 2 ? kControlXonXoff
                                                      : kControlNoFlow;
    output_ += ComPortCommand(SET_CONTROL, flow);
    if (flow != kControlHardwareFlow) output_ += ComPortCommand(SET_CONTROL, kControlRtsOff);
    output_ += ComPortCommand(SET_MODEMSTATE_MASK, static_cast<uint8_t>(0xFF));
    output_ += ComPortCommand(NOTIFY_MODEMSTATE, std::string());
    output_ += ComPortCommand(PURGE_DATA, kPurgeBoth);
  }
}

void Rfc2217Client::OnSubnegotiation(const std::string& payload, bool truncated) {
  if (truncated || payload.size() < 2 || static_cast<uint8_t>(payload[0]) != kOptionComPort) return;
  const uint8_t command = static_cast<uint8_t>(payload[1]);
  if (command == kServerOffset + NOTIFY_MODEMSTATE && payload.size() >= 3) {
    modemLines_ = static_cast<uint8_t>(payload[2]) & kModemLineBits;
  }
}

std::string Rfc2217Client::SetBaudRate(int baudRate) {
  settings_.baudRate = baudRate;
  return ComPortCommand(SET_BAUDRATE, Uint32Value(static_cast<uint32_t>(baudRate)));
}

std::string Rfc2217Client::SetRts(bool on) {
  return ComPortCommand(SET_CONTROL, on ? kControlRtsOn : kControlRtsOff);
}

}  // namespace setwright::rfc2217
