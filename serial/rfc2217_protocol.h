// Telnet and the Telnet COM Port Control Option (RFC 2217) as byte-level building blocks,
// free of any I/O so that the client, the simulator's server and the tests share them.
//
// Quirks of real peers, kept here for whoever changes the negotiation:
//  - Some servers never negotiate COM-PORT-OPTION for their own side (no WILL) but answer
//    the client's WILL with DO. The client therefore only needs DO COM-PORT-OPTION.
//  - Some servers answer SET-CONTROL (RTS, DTR) with a fixed value instead of the value set,
//    and some append extra zero bytes to the SET-BAUDRATE answer. The client never waits
//    for or checks these answers.
//  - A server may greet with a text banner before or during negotiation; those bytes are
//    data like any other and are dropped by the purge that follows opening.
//  - Client-to-server NOTIFY-MODEMSTATE is not in the RFC but is understood by several
//    servers as "send me the current modem state"; servers that do not know it ignore it.
//  - The modem state byte carries the line bits in the same positions as our modem status
//    word (CTS 0x10, DSR 0x20, RI 0x40, DCD 0x80); the low four bits are change flags.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace setwright::rfc2217 {

// Telnet commands.
inline constexpr uint8_t SE = 240;
inline constexpr uint8_t NOP = 241;
inline constexpr uint8_t SB = 250;
inline constexpr uint8_t WILL = 251;
inline constexpr uint8_t WONT = 252;
inline constexpr uint8_t DO = 253;
inline constexpr uint8_t DONT = 254;
inline constexpr uint8_t IAC = 255;

// Telnet options.
inline constexpr uint8_t kOptionBinary = 0;
inline constexpr uint8_t kOptionEcho = 1;
inline constexpr uint8_t kOptionSuppressGoAhead = 3;
inline constexpr uint8_t kOptionComPort = 44;

// COM-PORT-OPTION commands from client to server; the server answers with the command
// plus kServerOffset.
inline constexpr uint8_t SET_BAUDRATE = 1;
inline constexpr uint8_t SET_DATASIZE = 2;
inline constexpr uint8_t SET_PARITY = 3;
inline constexpr uint8_t SET_STOPSIZE = 4;
inline constexpr uint8_t SET_CONTROL = 5;
inline constexpr uint8_t NOTIFY_LINESTATE = 6;
inline constexpr uint8_t NOTIFY_MODEMSTATE = 7;
inline constexpr uint8_t FLOWCONTROL_SUSPEND = 8;
inline constexpr uint8_t FLOWCONTROL_RESUME = 9;
inline constexpr uint8_t SET_LINESTATE_MASK = 10;
inline constexpr uint8_t SET_MODEMSTATE_MASK = 11;
inline constexpr uint8_t PURGE_DATA = 12;
inline constexpr uint8_t kServerOffset = 100;

// SET-CONTROL values.
inline constexpr uint8_t kControlQueryFlow = 0;
inline constexpr uint8_t kControlNoFlow = 1;
inline constexpr uint8_t kControlXonXoff = 2;
inline constexpr uint8_t kControlHardwareFlow = 3;
inline constexpr uint8_t kControlQueryDtr = 7;
inline constexpr uint8_t kControlDtrOn = 8;
inline constexpr uint8_t kControlDtrOff = 9;
inline constexpr uint8_t kControlQueryRts = 10;
inline constexpr uint8_t kControlRtsOn = 11;
inline constexpr uint8_t kControlRtsOff = 12;

// PURGE-DATA values.
inline constexpr uint8_t kPurgeReceive = 1;
inline constexpr uint8_t kPurgeTransmit = 2;
inline constexpr uint8_t kPurgeBoth = 3;

// Modem state byte: line bits; the low nibble holds change flags.
inline constexpr uint8_t kModemLineBits = 0xF0;

// Longest sub-negotiation kept; the rest of a longer one is skipped up to its IAC SE, so a
// peer that never ends one costs no memory.
inline constexpr size_t kMaxSubnegotiation = 64;

// Serial settings in the codes of our port object and their wire codes.
int ParityToWire(int parity);      // 0..4 -> 1..5, 0 for an unknown code
int ParityFromWire(int wire);      // 1..5 -> 0..4, -1 for an unknown code
int StopBitsToWire(int stopBits);  // 0 one -> 1, 1 one and a half -> 3, 2 two -> 2
int StopBitsFromWire(int wire);    // the reverse, -1 for an unknown code

// Data bytes with every IAC doubled.
std::string EscapeData(const char* data, size_t size);
// IAC <verb> <option>.
std::string OptionCommand(uint8_t verb, uint8_t option);
// IAC SB COM-PORT-OPTION <command> <value, IAC doubled> IAC SE.
std::string ComPortCommand(uint8_t command, const std::string& value);
std::string ComPortCommand(uint8_t command, uint8_t value);
std::string Uint32Value(uint32_t value);  // network byte order

// Splits a Telnet byte stream into data, option commands and sub-negotiations, one byte at
// a time, so a sequence may be cut anywhere between two Feed calls.
class TelnetParser {
 public:
  class Handler {
   public:
    virtual ~Handler() = default;
    virtual void OnData(const char* data, size_t size) = 0;
    // verb is WILL, WONT, DO or DONT.
    virtual void OnOption(uint8_t verb, uint8_t option) = 0;
    // The bytes between IAC SB and IAC SE with doubled IACs undone; the first is the option.
    // Cut to kMaxSubnegotiation bytes; truncated tells whether bytes were dropped.
    virtual void OnSubnegotiation(const std::string& payload, bool truncated) = 0;
    // Any other command (NOP, BRK, GA, ...).
    virtual void OnCommand(uint8_t) {}
  };

  void Feed(const char* data, size_t size, Handler& handler);
  void Reset();
  // Bytes the parser keeps between calls; never more than kMaxSubnegotiation.
  size_t HeldBytes() const { return sub_.size(); }

 private:
  enum class State { Data, Iac, Verb, Sub, SubIac };
  State state_ = State::Data;
  uint8_t verb_ = 0;
  std::string sub_;
  bool subTruncated_ = false;
};

// Option negotiation after the "Q method" of RFC 1143: a request is never repeated and an
// answer that confirms the current state is never answered, so two peers cannot loop.
class TelnetOptions {
 public:
  // Options this side agrees to enable for itself (answers DO with WILL) and for the peer
  // (answers WILL with DO); everything else is refused.
  void Support(uint8_t option, bool forUs, bool forThem);
  // Asks to enable an option: WILL (for us) or DO (for the peer). Returns the bytes to send.
  std::string Request(uint8_t verb, uint8_t option);
  // Processes a received WILL/WONT/DO/DONT and returns the answer to send (maybe empty).
  std::string Receive(uint8_t verb, uint8_t option);

  bool UsEnabled(uint8_t option) const { return entries_[option].us == Q::Yes; }
  bool ThemEnabled(uint8_t option) const { return entries_[option].them == Q::Yes; }
  // The peer answered our request for itself or for us with a refusal.
  bool Refused(uint8_t option) const { return entries_[option].refused; }

 private:
  enum class Q : uint8_t { No, Yes, WantYes };
  struct Entry {
    bool supportUs = false;
    bool supportThem = false;
    Q us = Q::No;
    Q them = Q::No;
    bool refused = false;
  };
  Entry entries_[256];
};

struct PortSettings {
  int baudRate = 9600;
  int dataBits = 8;
  int parity = 0;       // 0 none, 1 odd, 2 even, 3 mark, 4 space
  int stopBits = 2;     // 0 one, 1 one and a half, 2 two
  int flowControl = 0;  // 0 none, 1 hardware, 2 software
};

// The client side of a network serial port, without I/O: bytes from the server go in
// through Feed, bytes for the server come out of the returned strings and TakeOutput.
class Rfc2217Client : private TelnetParser::Handler {
 public:
  explicit Rfc2217Client(const PortSettings& settings);

  // The option requests that open the connection.
  std::string Start();
  // Processes bytes from the server. Data bytes are appended to data; answers and the port
  // configuration (sent once the server agreed to the option) are queued for TakeOutput.
  void Feed(const char* bytes, size_t size, std::string& data);
  std::string TakeOutput();

  // The server agreed to COM-PORT-OPTION (answered our WILL with DO).
  bool Ready() const { return options_.UsEnabled(kOptionComPort); }
  // The server refused COM-PORT-OPTION.
  bool Refused() const { return options_.Refused(kOptionComPort); }
  // Modem lines from the last NOTIFY-MODEMSTATE (bits 0xF0), none before the first one.
  std::optional<uint32_t> ModemLines() const { return modemLines_; }

  std::string SetBaudRate(int baudRate);
  std::string SetRts(bool on);

  size_t HeldBytes() const { return parser_.HeldBytes() + output_.size(); }

 private:
  void OnData(const char* data, size_t size) override;
  void OnOption(uint8_t verb, uint8_t option) override;
  void OnSubnegotiation(const std::string& payload, bool truncated) override;

  PortSettings settings_;
  TelnetParser parser_;
  TelnetOptions options_;
  std::string* data_ = nullptr;
  std::string output_;
  bool configured_ = false;
  std::optional<uint32_t> modemLines_;
};

}  // namespace setwright::rfc2217
