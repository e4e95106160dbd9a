#include "config/settings_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
// Bytes are kept as they are: values are port and model names in the 8-bit code page.
#define SI_NO_CONVERSION
// Debian splits the parser into a header and a library built for wide characters; the
// header-only use below needs its templates, which upstream always provides.
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <algorithm>
#include <cctype>
#include <string_view>

namespace setwright {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// Reads files with the parser's case-insensitive names, first value of a key winning.
struct Parsed {
  CSimpleIniA ini{/*isUtf8=*/false, /*multiKey=*/true, /*multiLine=*/false};
  bool ok = false;

  explicit Parsed(const std::string& bytes) {
    ini.SetQuotes(true);
    ok = ini.LoadData(bytes.data(), bytes.size()) >= 0;
  }
};

std::string Limit(std::string value) {
  if (value.size() >= SettingsFile::kValueLimit) value.resize(SettingsFile::kValueLimit - 1);
  return value;
}

// The lines of the file, each without its line break, and the break the file uses.
struct Lines {
  std::vector<std::string> text;
  std::vector<bool> endsWithBreak;
  std::string lineBreak = "\r\n";  // the Windows profile functions write CR LF
  std::string bom;

  explicit Lines(std::string_view bytes) {
    if (bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
      bom = kUtf8Bom;
      bytes.remove_prefix(kUtf8Bom.size());
    }
    // A line ends with CR LF, LF or a lone CR, as the parser reading the file takes it.
    bool first = true;
    while (!bytes.empty()) {
      const size_t end = bytes.find_first_of("\r\n");
      if (end == std::string_view::npos) {
        text.emplace_back(bytes);
        endsWithBreak.push_back(false);
        break;
      }
      const size_t breakSize = bytes.substr(end, 2) == "\r\n" ? 2 : 1;
      if (first) lineBreak = std::string(bytes.substr(end, breakSize));
      first = false;
      text.emplace_back(bytes.substr(0, end + breakSize));  // each line keeps its own break
      endsWithBreak.push_back(true);
      bytes.remove_prefix(end + breakSize);
    }
  }

  void Insert(size_t at, const std::string& line) {
    // A last line without a break gets one before anything follows it.
    if (at > 0 && at == text.size() && !endsWithBreak[at - 1]) {
      text[at - 1] += lineBreak;
      endsWithBreak[at - 1] = true;
    }
    text.insert(text.begin() + static_cast<std::ptrdiff_t>(at), line + lineBreak);
    endsWithBreak.insert(endsWithBreak.begin() + static_cast<std::ptrdiff_t>(at), true);
  }

  std::string Join() const {
    std::string bytes = bom;
    for (const std::string& line : text) bytes += line;
    return bytes;
  }
};

// "[name]" gives name; anything else gives nothing.
std::optional<std::string_view> SectionName(std::string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() != '[') return std::nullopt;
  const size_t close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(line.substr(1, close - 1));
}

// The line break that ends the line, if any.
std::string_view BreakOf(std::string_view line) {
  if (line.size() >= 2 && line.substr(line.size() - 2) == "\r\n") {
    return line.substr(line.size() - 2);
  }
  if (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
    return line.substr(line.size() - 1);
  }
  return {};
}

bool IsComment(std::string_view line) {
  line = Trim(line);
  return !line.empty() && (line.front() == ';' || line.front() == '#');
}

}  // namespace

SettingsFile::SettingsFile(QString path) : path_(std::move(path)) {}

QString SettingsFile::DisplayPath() const {
  return QDir::toNativeSeparators(QFileInfo(path_).absoluteFilePath());
}

bool SettingsFile::Exists() const {
  return QFileInfo::exists(path_);
}

SettingsFile::Load SettingsFile::LoadBytes(std::string& bytes) const {
  bytes.clear();
  QFileInfo info(path_);
  if (!info.exists()) return Load::kMissing;
  if (!info.isFile() || info.size() > kMaxFileSize) return Load::kUnusable;
  QFile file(path_);
  if (!file.open(QIODevice::ReadOnly)) return Load::kUnusable;
  const QByteArray data = file.read(kMaxFileSize + 1);
  if (data.size() > kMaxFileSize || data.contains('\0')) return Load::kUnusable;
  bytes.assign(data.constData(), static_cast<size_t>(data.size()));
  return Load::kOk;
}

std::string SettingsFile::Read(const std::string& section, const std::string& key,
                               const std::string& defaultValue) const {
  std::string bytes;
  if (LoadBytes(bytes) != Load::kOk) return Limit(defaultValue);
  Parsed parsed(bytes);
  if (!parsed.ok) return Limit(defaultValue);
  const char* value = parsed.ini.GetValue(section.c_str(), key.c_str(), nullptr);
  return Limit(value ? std::string(Trim(value)) : defaultValue);
}

std::vector<std::string> SettingsFile::ReadSectionValues(const std::string& section) const {
  std::string bytes;
  if (LoadBytes(bytes) != Load::kOk) return {};
  Parsed parsed(bytes);
  if (!parsed.ok) return {};
  CSimpleIniA::TNamesDepend keys;
  parsed.ini.GetAllKeys(section.c_str(), keys);
  // A key given twice gives two values; collect all of them, then restore the file order.
  CSimpleIniA::TNamesDepend entries;
  for (const auto& key : keys) {
    CSimpleIniA::TNamesDepend values;
    parsed.ini.GetAllValues(section.c_str(), key.pItem, values);
    entries.insert(entries.end(), values.begin(), values.end());
  }
  entries.sort(CSimpleIniA::Entry::LoadOrder());
  std::vector<std::string> result;
  for (const auto& entry : entries) result.push_back(Limit(std::string(Trim(entry.pItem))));
  return result;
}

bool SettingsFile::Write(const std::string& section, const std::string& key,
                         const std::string& value) {
  std::string bytes;
  const Load load = LoadBytes(bytes);
  if (load == Load::kUnusable) return false;
  // Saving through a temporary file would replace even a read-only file; refuse instead.
  if (load == Load::kOk && !QFileInfo(path_).isWritable()) return false;

  const std::string cleanValue = value.substr(0, value.find_first_of("\r\n"));
  Lines lines(bytes);
  const size_t count = lines.text.size();

  size_t sectionLine = count;
  for (size_t i = 0; i < count; ++i) {
    const auto name = SectionName(lines.text[i]);
    if (name && SameName(*name, section)) {
      sectionLine = i;
      break;
    }
  }

  if (sectionLine == count) {
    lines.Insert(count, "[" + section + "]");
    lines.Insert(count + 1, key + "=" + cleanValue);
  } else {
    size_t end = sectionLine + 1;
    while (end < count && !SectionName(lines.text[end])) ++end;
    bool replaced = false;
    size_t lastContent = sectionLine;
    for (size_t i = sectionLine + 1; i < end && !replaced; ++i) {
      const std::string_view line = lines.text[i];
      if (Trim(line).empty()) continue;
      lastContent = i;
      const size_t equals = line.find('=');
      if (IsComment(line) || equals == std::string_view::npos) continue;
      if (!SameName(Trim(line.substr(0, equals)), key)) continue;
      // Keep the key as spelled and spaced in the file; only the value changes.
      size_t valueStart = equals + 1;
      while (valueStart < line.size() && (line[valueStart] == ' ' || line[valueStart] == '\t')) {
        ++valueStart;
      }
      std::string updated(line.substr(0, valueStart));
      updated += cleanValue;
      updated += BreakOf(line);
      lines.text[i] = updated;
      replaced = true;
    }
    if (!replaced) lines.Insert(lastContent + 1, key + "=" + cleanValue);
  }

  QSaveFile file(path_);
  // In a directory that does not let us create the temporary file, write in place.
  file.setDirectWriteFallback(true);
  if (!file.open(QIODevice::WriteOnly)) return false;
  const std::string joined = lines.Join();
  if (file.write(joined.data(), static_cast<qint64>(joined.size())) !=
      static_cast<qint64>(joined.size())) {
    file.cancelWriting();
    return false;
  }
  return file.commit();
}

}  // namespace setwright
