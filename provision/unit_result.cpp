#include "provision/unit_result.h"

#include <QDateTime>
#include <cerrno>
#include <cstring>

#include "provision/profile.h"

namespace setwright::provision {

namespace {

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", seconds);
  return text;
}

const char* VerifyText(Verify verify) {
  switch (verify) {
    case Verify::Ok:
      return "ok";
    case Verify::Failed:
      return "failed";
    case Verify::NotAsked:
      break;
  }
  return "not asked";
}

}  // namespace

std::string UtcNow() {
  return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toStdString();
}

std::string ResultLine(const UnitResult& r) {
  std::string line = "#" + std::to_string(r.number) + " " + r.port + " " + r.model + " " +
                     (r.identification.empty() ? "-" : r.identification) + " " +
                     (r.ok ? "ok" : "failed") + " " + Seconds(r.seconds) + " s";
  if (!r.ok && !r.reason.empty()) line += ": " + r.reason;
  return line;
}

std::string ResultJson(const UnitResult& r) {
  std::string out = "{\"time\": " + JsonString(r.time) + ", \"unit\": " + std::to_string(r.number) +
                    ", \"port\": " + JsonString(r.port) + ", \"model\": " + JsonString(r.model) +
                    ", \"product\": " + JsonString(r.product) + ", \"identification\": " +
                    (r.identification.empty() ? "null" : JsonString(r.identification)) +
                    ", \"changed\": [";
  for (size_t i = 0; i < r.changed.size(); ++i)
    out += std::string(i ? ", " : "") + "{\"key\": " + JsonString(r.changed[i].key) +
           ", \"old\": " + JsonString(r.changed[i].oldValue) +
           ", \"new\": " + JsonString(r.changed[i].newValue) + "}";
  out += "], \"verify\": " + JsonString(VerifyText(r.verify)) + ", \"differences\": [";
  for (size_t i = 0; i < r.differences.size(); ++i)
    out += std::string(i ? ", " : "") + "{\"key\": " + JsonString(r.differences[i].key) +
           ", \"profile\": " + JsonString(r.differences[i].profileValue) +
           ", \"device\": " + JsonString(r.differences[i].deviceValue) + "}";
  out += "], \"outcome\": " + JsonString(r.ok ? "ok" : "failed") +
         ", \"reason\": " + JsonString(r.reason) +
         ", \"last_report\": " + JsonString(r.lastReport) + ", \"seconds\": " + Seconds(r.seconds) +
         "}";
  return out;
}

ReportFile::ReportFile(const std::string& path) {
  file_ = std::fopen(path.c_str(), "a");
  if (!file_) error_ = "cannot open report " + path + ": " + std::strerror(errno);
}

ReportFile::~ReportFile() {
  if (file_) std::fclose(file_);
}

bool ReportFile::Append(const UnitResult& result) {
  std::lock_guard lock(mutex_);
  if (!file_) return false;
  const std::string line = ResultJson(result) + "\n";
  if (std::fwrite(line.data(), 1, line.size(), file_) != line.size() || std::fflush(file_) != 0) {
    error_ = std::string("cannot write the report: ") + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace setwright::provision
