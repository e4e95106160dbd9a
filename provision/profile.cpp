#include "provision/profile.h"

#include <QByteArray>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <algorithm>
#include <cctype>
#include <cstdio>

namespace setwright::provision {

namespace {

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

bool AllDigits(const std::string& text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Keys a model's dump shows, in dump order.
std::vector<std::string> ShownKeys(const ModelTable& model) {
  std::vector<std::string> keys;
  for (const DumpLine& line : model.dump) {
    switch (line.item) {
      case DumpItem::Setting:
        keys.push_back(line.key);
        break;
      case DumpItem::Delimiter:
        keys.push_back("DEL");
        break;
      case DumpItem::Prompt:
        keys.push_back("CMD");
        break;
      case DumpItem::Interval:
        keys.push_back("T1");
        break;
      default:
        break;
    }
  }
  return keys;
}

}  // namespace

std::string Joined(const std::vector<std::string>& values) {
  std::string out;
  for (const auto& v : values) out += (out.empty() ? "" : ", ") + v;
  return out;
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c >= 0x7F) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);  // device text is 8-bit Latin-1
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

bool Writes(const ModelTable& model, const std::string& key) {
  return std::find(model.writeOrder.begin(), model.writeOrder.end(), key) != model.writeOrder.end();
}

bool HasIdentification(const ModelTable& model) {
  return model.HasEdit(DumpItem::Identification) || model.HasEdit(DumpItem::IdentificationLine);
}

std::optional<std::string> RefusalBeforeEntry(const ModelTable& model, const std::string& key,
                                              std::string& value, bool shownKeysToo) {
  std::vector<std::string> shown = ShownKeys(model);
  bool known = Writes(model, key) ||
               (shownKeysToo && std::find(shown.begin(), shown.end(), key) != shown.end());
  if (!known)
    return "unknown key " + key + " for " + model.name +
           "; keys: " + Joined(shownKeysToo ? shown : model.writeOrder);
  if (const ComboSetting* setting = model.FindSetting(key)) {
    if (std::find(setting->values.begin(), setting->values.end(), value) == setting->values.end())
      return key + "=" + value + " refused; allowed values: " + Joined(setting->values);
    return std::nullopt;
  }
  if (key == "DEL") {
    const std::string refused =
        "DEL=" + value + " refused; allowed: 01 to 7F (hexadecimal) or empty";
    if (value.size() > 2 || !std::all_of(value.begin(), value.end(), IsHex)) return refused;
    for (char& c : value) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (!value.empty()) {
      int number = std::stoi(value, nullptr, 16);
      if (number < 0x01 || number > 0x7F) return refused;
    }
    return std::nullopt;
  }
  if (key == "CMD") {
    if (value.empty() || value.size() > 4)
      return "CMD=" + value + " refused; allowed: 1 to 4 characters";
    return std::nullopt;
  }
  if (key == "T1") {
    std::string range =
        std::to_string(model.intervalMin) + " to " + std::to_string(model.intervalMax);
    if (!AllDigits(value) || static_cast<int>(value.size()) > model.intervalMaxChars)
      return "T1=" + value + " refused; allowed: " + range + " (at most " +
             std::to_string(model.intervalMaxChars) + " digits)";
    return std::nullopt;
  }
  return std::nullopt;
}

std::optional<std::string> RefusalInForm(Session& session) {
  const ModelTable& model = session.Model();
  FormState form = session.Form();
  const ComboSetting* lf = model.FindSetting("LF");
  auto lfSelected = form.selected.find("LF");
  if (model.HasEdit(DumpItem::Delimiter) && lf && lfSelected != form.selected.end() &&
      lfSelected->second >= 0 && lf->values[lfSelected->second] == "2" &&
      form.delimiterText == "0A")
    return std::string("LF=2 and DEL=0A can not be set at the same time");
  if (model.HasEdit(DumpItem::Delimiter))
    if (auto refusal = session.CheckDelimiterOnFocusLost()) return refusal;
  if (model.HasEdit(DumpItem::Prompt))
    if (auto refusal = session.CheckPromptOnFocusLost()) return refusal;
  if (model.HasEdit(DumpItem::Interval))
    if (auto refusal = session.CheckIntervalOnFocusLost()) return refusal;
  return std::nullopt;
}

KeyValues SettingsOf(const ModelTable& model, const FormState& form) {
  KeyValues settings;
  for (const std::string& key : ShownKeys(model)) {
    if (key == "DEL") {
      settings.emplace_back(key, form.delimiterText);
    } else if (key == "CMD") {
      settings.emplace_back(key, form.promptText);
    } else if (key == "T1") {
      settings.emplace_back(key, form.intervalText);
    } else {
      const ComboSetting* setting = model.FindSetting(key);
      auto selected = form.selected.find(key);
      std::string value;
      if (setting && selected != form.selected.end() && selected->second >= 0 &&
          selected->second < static_cast<int>(setting->values.size()))
        value = setting->values[selected->second];
      settings.emplace_back(key, value);
    }
  }
  return settings;
}

void PutIntoForm(const ModelTable& model, const KeyValues& values, FormState& form) {
  for (const auto& [key, value] : values) {
    if (const ComboSetting* setting = model.FindSetting(key)) {
      auto it = std::find(setting->values.begin(), setting->values.end(), value);
      if (it != setting->values.end())
        form.selected[key] = static_cast<int>(it - setting->values.begin());
    } else if (key == "DEL") {
      form.delimiterText = value;
    } else if (key == "CMD") {
      form.promptText = value;
    } else if (key == "T1") {
      form.intervalText = value;
    }
  }
}

std::string Normalized(const std::string& key, const std::string& value) {
  std::string out = value;
  if (key == "DEL") {
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  } else if (key == "T1" && AllDigits(value)) {
    size_t first = out.find_first_not_of('0');
    out = first == std::string::npos ? "0" : out.substr(first);
  }
  return out;
}

std::optional<Profile> ParseProfile(const std::string& json, std::string& error) {
  QJsonParseError parseError;
  QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(json), &parseError);
  if (document.isNull()) {
    error = "not JSON: " + parseError.errorString().toStdString() + " at offset " +
            std::to_string(parseError.offset);
    return std::nullopt;
  }
  if (!document.isObject()) {
    error = "a profile is a JSON object with \"model\" and \"settings\"";
    return std::nullopt;
  }
  QJsonObject object = document.object();
  if (!object.value("model").isString()) {
    error = "the profile names no \"model\"";
    return std::nullopt;
  }
  if (!object.value("settings").isObject()) {
    error = "the profile has no \"settings\" object";
    return std::nullopt;
  }
  Profile profile;
  profile.model = object.value("model").toString().toStdString();
  QJsonObject settings = object.value("settings").toObject();
  for (auto it = settings.begin(); it != settings.end(); ++it) {
    if (!it.value().isString()) {
      error = "setting " + it.key().toStdString() + " is not a text";
      return std::nullopt;
    }
    // Device text is 8-bit; the profile's JSON is read as Latin-1 back again.
    profile.settings.emplace_back(it.key().toStdString(),
                                  it.value().toString().toLatin1().toStdString());
  }
  if (profile.settings.empty()) {
    error = "the profile's \"settings\" are empty";
    return std::nullopt;
  }
  return profile;
}

std::optional<Profile> LoadProfile(const std::string& path, std::string& error) {
  QFile file(QString::fromLocal8Bit(path.c_str()));
  if (!file.open(QIODevice::ReadOnly)) {
    error = "cannot read profile " + path + ": " + file.errorString().toStdString();
    return std::nullopt;
  }
  QByteArray text = file.read(1 << 20);
  auto profile = ParseProfile(text.toStdString(), error);
  if (!profile) error = "profile " + path + ": " + error;
  return profile;
}

const ModelTable* CheckProfile(Profile& profile, std::string& error) {
  const ModelTable* model = FindModel(profile.model);
  if (!model) {
    std::vector<std::string> names;
    for (const ModelTable* m : AllModels()) names.push_back(m->name);
    error = "unknown model " + profile.model + "; models: " + Joined(names);
    return nullptr;
  }
  for (auto& [key, value] : profile.settings) {
    if (auto refusal = RefusalBeforeEntry(*model, key, value, true)) {
      error = *refusal;
      return nullptr;
    }
  }
  // What the form's boxes check once the device is in program mode, checked here already so
  // that a profile no unit would take is refused before any port is touched.
  auto valueOf = [&](const std::string& key) -> std::optional<std::string> {
    for (const auto& kv : profile.settings)
      if (kv.first == key) return kv.second;
    return std::nullopt;
  };
  if (auto t1 = valueOf("T1")) {
    int number = std::stoi(*t1);
    if (static_cast<int>(t1->size()) < model->intervalMinChars || number < model->intervalMin ||
        number > model->intervalMax) {
      error = "T1=" + *t1 + " refused; allowed: " + std::to_string(model->intervalMin) + " to " +
              std::to_string(model->intervalMax);
      return nullptr;
    }
  }
  if (valueOf("LF") == "2" && valueOf("DEL") == "0A") {
    error = "LF=2 and DEL=0A refused: they can not be set at the same time";
    return nullptr;
  }
  // Dump order, so that reports and results read as the device shows them.
  KeyValues ordered;
  for (const std::string& key : ShownKeys(*model))
    for (const auto& kv : profile.settings)
      if (kv.first == key) ordered.push_back(kv);
  profile.settings = ordered;
  return model;
}

std::vector<SerialPortInfo> ListingWithPort::List() {
  std::vector<SerialPortInfo> listing = system_.List();
  bool present = std::any_of(listing.begin(), listing.end(),
                             [&](const SerialPortInfo& p) { return p.portName == port_; });
  if (!present) {
    SerialPortInfo info{port_, "", ""};
    info.fixed = port_.rfind("rfc2217://", 0) == 0;
    listing.push_back(info);
  }
  return listing;
}

}  // namespace setwright::provision
