// The settings file SETWRIGHT.ini, read and written the way the Windows private-profile
// functions do: section and key names match without regard to case, the first matching
// section and key count, values are trimmed and at most 259 characters long (a 260-byte
// buffer with its terminating zero). Every read and write goes to the file itself.
//
// Writing changes one line (or adds one) and keeps every other line, section and
// comment of the file as it was, line endings included. A file that cannot be used —
// unreadable, not text (it holds zero bytes), larger than kMaxFileSize, a directory —
// reads as empty, so the defaults apply, and refuses writes.
#pragma once

#include <QString>
#include <string>
#include <vector>

namespace setwright {

class SettingsFile {
 public:
  static constexpr const char* kFileName = "SETWRIGHT.ini";
  static constexpr qint64 kMaxFileSize = 1024 * 1024;
  static constexpr size_t kValueLimit = 260;  // buffer size, terminating zero included

  // `path` relative to the current working directory unless absolute.
  explicit SettingsFile(QString path = QString::fromLatin1(kFileName));

  const QString& Path() const { return path_; }
  // The path as shown to the user in messages.
  QString DisplayPath() const;
  bool Exists() const;

  // The value of the key, or `defaultValue` when the file, the section or the key is
  // missing or the file cannot be used. Surrounding double quotes are removed.
  std::string Read(const std::string& section, const std::string& key,
                   const std::string& defaultValue) const;

  // The values of every key of the section, in the file's order.
  std::vector<std::string> ReadSectionValues(const std::string& section) const;

  // Sets the key to the value, creating the file, the section or the key as needed. A
  // line break in the value ends it there. Returns false when the file could not be
  // written (read-only file or directory, or a file that cannot be used).
  bool Write(const std::string& section, const std::string& key, const std::string& value);

 private:
  enum class Load { kMissing, kOk, kUnusable };
  Load LoadBytes(std::string& bytes) const;

  QString path_;
};

}  // namespace setwright
