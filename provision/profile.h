// Profiles and the input rules every front end applies before anything is sent.
//
// A profile is the JSON that "setwright-cli read --json" prints: "model" and "settings"
// (dump key to value text) are used, every other field is ignored.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "serial/serial_port_info.h"
#include "session/model_table.h"
#include "session/session.h"

namespace setwright::provision {

using KeyValues = std::vector<std::pair<std::string, std::string>>;

struct Profile {
  std::string model;
  KeyValues settings;  // in the model's dump order once checked
};

// Parses the profile's JSON text; on failure returns nothing with the reason in error.
std::optional<Profile> ParseProfile(const std::string& json, std::string& error);
std::optional<Profile> LoadProfile(const std::string& path, std::string& error);

// Checks a profile against its model's input rules: the model name, every key and every
// value. On success returns the model, with the values put as the device shows them
// (delimiter in capitals); else nothing, with the key and the allowed values in error.
const ModelTable* CheckProfile(Profile& profile, std::string& error);

// What the form's boxes would let a user type for one key, before the device's own
// settings are known. `value` is put as the device shows it. Keys that the model shows but
// does not write are refused unless `shownKeysToo`.
std::optional<std::string> RefusalBeforeEntry(const ModelTable& model, const std::string& key,
                                              std::string& value, bool shownKeysToo = false);

// The page's own checks once the values are in the form (as when the user leaves each box),
// including the line-feed mask and delimiter pair. The refusal's text is the message box's.
std::optional<std::string> RefusalInForm(Session& session);

// The form's values, key by key in dump order (the "settings" of a profile).
KeyValues SettingsOf(const ModelTable& model, const FormState& form);
// Puts the values into the form as a user would select and type them.
void PutIntoForm(const ModelTable& model, const KeyValues& values, FormState& form);
// The value as the device reports it, for comparing ("0d" and "0D", "050" and "50").
std::string Normalized(const std::string& key, const std::string& value);

// Does the model write this key ("Save and Reset"), or only show it?
bool Writes(const ModelTable& model, const std::string& key);
// Does the dump carry an identification (MAC address or identification line)?
bool HasIdentification(const ModelTable& model);

std::string Joined(const std::vector<std::string>& values);
std::string JsonString(const std::string& text);

// The system's listing with the given port in it, so that a port named on the command line
// counts as present (a network port as a fixed entry, never reported as new or gone).
class ListingWithPort : public IPortLister {
 public:
  ListingWithPort(IPortLister& system, std::string port)
      : system_(system), port_(std::move(port)) {}
  std::vector<SerialPortInfo> List() override;

 private:
  IPortLister& system_;
  std::string port_;
};

}  // namespace setwright::provision
