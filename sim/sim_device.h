// Simulated converter devices: one class, driven by a description of each of the six models.
//
// What a unit does on its program-mode line (9600 baud; the host's other line settings are not
// checked):
//
// Serial-to-keyboard models (MR-310SKB, ZWE-710SKB, ZWE-720W/KB)
//  - Whenever powered, the line "@PROG" puts the unit into program mode and it answers with its
//    dump. In program mode an empty line, or "@PROG" again, repeats the dump. An empty line is
//    held for 5 ms first, because "\r\n@PROG\r\n" starts with one.
//  - "KEY=value" for a key the model has and a value it accepts: "OK\r\n"; anything else,
//    unknown lines included: "ERR\r\n". Changes are kept in a working copy until "END".
//  - "DEFAULT": "\r\n*** DEFAULT ***\r\n"; the factory settings are stored at once and the
//    paired hosts forgotten (the program's "Clean Paired Device" relies on that).
//  - "END": "*** PROGRAM END ***\r\n", the working copy is stored, then the unit restarts: CTS
//    drops 10 ms after the banner and comes back `restartMs` later.
//  - A delimiter of 0A together with LF mask 2 is refused, whichever line comes second.
//
// Keyboard-to-serial models (MR-320KBS, TV-520KBS, KN-610K/PQ)
//  - An empty line within `entryWindowMs` of power-on puts the unit into program mode and it
//    answers with its dump; later empty lines are ignored until the next power-up. In program
//    mode an empty line repeats the dump.
//  - Setting lines and "DEFAULT" are acknowledged by an empty line, refused with "ERR\r\n".
//  - "END": "\r\n* * * PROGRAM MODE END * * *\r\n", store, restart as above.
//
// Both families
//  - ESC (0x1B) leaves program mode at once without storing; it is not answered.
//  - Outside program mode everything but the entry is ignored (a real unit would type it).
//  - Replies leave 10 ms after the line that asked for them, in order.
//  - Powered, the unit raises CTS and DSR; unpowered it hears nothing and its pending replies
//    are lost. Power-off also discards unsaved changes.
//  - At any host speed other than 9600 baud the unit hears only noise and ignores it.
//
// A new device is switched off and holds its factory settings. Lines longer than 128 bytes are
// refused as a whole. Settings may be set directly with
// SetSetting, unchecked, so that tests can make the device report values it would refuse.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sim/device_model.h"
#include "sim/device_options.h"

namespace setwright::sim {

struct DeviceTable;

enum class Family { SerialToKeyboard, KeyboardToSerial };

class SimDevice : public DeviceModel {
 public:
  // The six model names, in the order of the selection dialog's product list.
  static const std::vector<std::string>& ModelNames();
  // Null for a name that is none of the six.
  static std::unique_ptr<SimDevice> Create(std::string_view model, DeviceOptions options = {});

  ~SimDevice() override;
  SimDevice(const SimDevice&) = delete;
  SimDevice& operator=(const SimDevice&) = delete;

  const std::string& Name() const;
  Family family() const;

  // DeviceModel
  void Attach(IDeviceLink* link) override;
  void OnHostBytes(const std::string& bytes, uint32_t nowMs) override;
  void OnRts(bool on, uint32_t nowMs) override;
  void OnLineSettings(const LineSettings& settings, uint32_t nowMs) override;
  void Advance(uint32_t nowMs) override;
  int MsUntilNextEvent(uint32_t nowMs) override;

  // The power switch. Thrown without a time (from a console, whose clock is not the one that
  // drives the device), the power-up counts from the next time the device is given.
  void SetPower(bool on, uint32_t nowMs);
  void SetPower(bool on);
  // Off now, on again offMs later.
  void PowerCycle(uint32_t offMs, uint32_t nowMs);
  bool Powered() const;
  bool InProgramMode() const;
  uint32_t ModemLines() const;

  // The stored (non-volatile) settings in dump order, as "KEY", "value".
  std::vector<std::pair<std::string, std::string>> Settings() const;
  std::string Setting(std::string_view key) const;           // empty for an unknown key
  void SetSetting(std::string_view key, std::string value);  // unknown keys are ignored

  // Paired wireless hosts (shown by models that keep them).
  void AddPairedHost(std::string host);
  std::vector<std::string> PairedHosts() const;

  DeviceOptions Options() const;
  void SetOptions(const DeviceOptions& options);

  // Units of a bench tell themselves apart by their identification (the MAC address): unit
  // n ends in n ("...:00:01" for unit 1, "...:00:11" for unit 17). ReplaceUnit puts a fresh
  // unit in this one's place, as a technician does: switched off, factory settings, no paired
  // hosts, and the number `unitStep` further on (the bench's size, so numbers never repeat).
  void SetUnitNumber(int number, int unitStep = 1);
  void ReplaceUnit();
  int UnitNumber() const;
  std::string Identification() const;

 private:
  SimDevice(const DeviceTable& table, DeviceOptions options);

  using Settings_ = std::vector<std::pair<std::string, std::string>>;
  struct Event {
    enum Kind { Bytes, PowerOff, PowerOn, HeldEmptyLine } kind;
    uint32_t due;
    std::string bytes;
  };
  struct Outgoing {
    bool isBytes;
    std::string bytes;
    uint32_t lines;
  };

  // All of these run with mu_ held.
  void TimeGiven(uint32_t nowMs);
  void HandleLine(const std::string& line, uint32_t now);
  void HandleEmptyLine(uint32_t now);
  void HandleSetting(const std::string& line, uint32_t now);
  bool Accepts(std::string_view key, std::string_view value) const;
  uint32_t Reply(std::string bytes, uint32_t now);  // the time its last byte leaves
  void Acknowledge(uint32_t now);
  void Refuse(uint32_t now);
  void Schedule(Event event);
  void SendDump(uint32_t now);
  std::string BuildDump() const;
  void PowerOnLocked(uint32_t now);
  void PowerOffLocked();
  void RestartAfter(uint32_t due);
  void RunDueEvents(uint32_t now);
  std::string* Find(Settings_& settings, std::string_view key) const;
  std::string IdentificationLocked() const;

  // Delivers queued link calls with no lock held, so that a link may take its own locks;
  // one thread at a time delivers, in order.
  void Flush();

  const DeviceTable& table_;
  mutable std::mutex mu_;
  int unitNumber_ = 1;
  int unitStep_ = 1;
  DeviceOptions options_;
  IDeviceLink* link_ = nullptr;
  bool powered_ = false;
  bool programMode_ = false;
  bool hostSpeedOk_ = true;
  uint32_t now_ = 0;
  uint32_t poweredAt_ = 0;
  bool poweredAtKnown_ = true;
  uint32_t lastDue_ = 0;
  bool hasLastDue_ = false;
  Settings_ stored_;
  Settings_ working_;
  std::vector<std::string> pairedHosts_;
  std::string lineBuffer_;
  bool lineTooLong_ = false;
  std::vector<Event> events_;
  std::deque<Outgoing> outbox_;
  bool delivering_ = false;
};

}  // namespace setwright::sim
