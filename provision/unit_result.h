// What provisioning one unit on one port came to, and the JSON Lines record kept of it.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace setwright::provision {

struct Change {
  std::string key, oldValue, newValue;
};

struct Difference {
  std::string key, profileValue, deviceValue;
};

enum class Verify { NotAsked, Ok, Failed };

struct UnitResult {
  int number = 0;    // running count of units over the whole run, from 1
  std::string time;  // ISO 8601, UTC, when the result was known
  std::string port;
  std::string model;
  std::string product;         // the product line; empty when the unit never answered
  std::string identification;  // MAC address or identification line, where the model has one
  std::vector<Change> changed;
  Verify verify = Verify::NotAsked;
  std::vector<Difference> differences;
  bool ok = false;
  std::string reason;       // why it failed; empty when ok
  std::string lastReport;   // the session's last report
  double seconds = 0;       // from the program-mode command to the result
  bool cannotOpen = false;  // the port cannot be opened, and waiting would not change that
};

// "#17 /dev/ttyUSB0 MR-310SKB 00:1A:7D:31:00:11 ok 1.9 s", or "... failed 4.0 s: reason".
std::string ResultLine(const UnitResult& result);
// One JSON object on one line, without the line end.
std::string ResultJson(const UnitResult& result);
// The current time as "2026-12-11T13:05:42.123Z".
std::string UtcNow();

// The --report file: opened for append, one object per line, flushed per unit. Thread-safe.
class ReportFile {
 public:
  explicit ReportFile(const std::string& path);
  ~ReportFile();
  ReportFile(const ReportFile&) = delete;
  ReportFile& operator=(const ReportFile&) = delete;
  bool Ok() const { return file_ != nullptr; }
  const std::string& Error() const { return error_; }
  // False when the line could not be written (disk full); the reason is then in Error().
  bool Append(const UnitResult& result);

 private:
  std::mutex mutex_;
  std::FILE* file_ = nullptr;
  std::string error_;
};

}  // namespace setwright::provision
