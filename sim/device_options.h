// Switches that make a simulated device misbehave in one chosen way, and the dump variants a
// real unit may show. Every switch is off by default: a default device answers as a healthy
// unit of its model does.
//
// Text form (used by setwright-sim on its command line and its console), one switch per word:
//   product=MODEL       the product line names MODEL instead of the device's own model
//   wrong-banner        the banner lacks the blank after "PROGRAM MODE"
//   refuse=KEY          setting lines for KEY are refused with "ERR"
//   forget=KEY          setting lines for KEY are acknowledged, but the value is never
//                       stored (a unit whose memory cell for KEY has gone bad)
//   silent              the device sends nothing at all
//   split=N[/GAP]       every reply goes out in N pieces, GAP ms apart (default 30)
//   slow=MS             every reply leaves MS ms later than usual
//   double-ack          every acknowledgement is sent twice
//   cut-end=N           the end banner stops after its first N characters
//   id=on|off           an identification line after the product line, or none, whatever
//                       the model normally sends
//   no-del              the dump has no "DEL=" line (firmware without a delimiter setting)
//   no-paired           the dump ends with its empty line, without the paired-device lines
//   busy                a serial-to-keyboard unit answers "@PROG" with " ?" and stays out of
//                       program mode (as a unit does that is not ready for it yet)
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace setwright::sim {

enum class IdentificationLine { AsModel, Always, Never };

struct DeviceOptions {
  std::string productModel;  // empty: the device's own model name
  bool wrongBanner = false;
  std::string refusedKey;    // empty: no key is refused
  std::string forgottenKey;  // empty: every acknowledged value is stored
  bool silent = false;
  int splitPieces = 1;  // 1: replies go out whole
  uint32_t splitGapMs = 30;
  uint32_t extraDelayMs = 0;
  bool doubleAck = false;
  int endBannerChars = -1;  // -1: the whole end banner
  IdentificationLine identification = IdentificationLine::AsModel;
  bool delimiterLine = true;  // serial-to-keyboard models only
  bool pairedSection = true;  // models that keep paired hosts only
  bool busy = false;

  // How long after power-on a keyboard-to-serial device takes an empty line as the request
  // for program mode, and how long a restart after "END" keeps the device dark.
  uint32_t entryWindowMs = 800;
  uint32_t restartMs = 500;
};

// Switches one fault on ("split=3/20") or, with on == false, back to its default ("split").
// Returns false with a reason in *error for an unknown name or a bad value.
bool ApplyFault(DeviceOptions& options, std::string_view text, bool on, std::string* error);

// The switches that differ from the defaults, in the text form above.
std::vector<std::string> DescribeFaults(const DeviceOptions& options);

}  // namespace setwright::sim
