#include "support_files.h"

#include <QDir>
#include <QFile>

namespace setwright::test {

void WriteFile(const QString& path, const std::string& bytes) {
  QFile file(path);
  if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    file.write(bytes.data(), static_cast<qint64>(bytes.size()));
  }
}

std::optional<std::string> ReadFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  return file.readAll().toStdString();
}

bool PermissionsEnforced(const QString& directory) {
  const QString probe = QDir(directory).filePath(QStringLiteral("permission-probe"));
  WriteFile(probe, "x");
  QFile::setPermissions(probe, QFile::ReadOwner);
  QFile file(probe);
  const bool enforced = !file.open(QIODevice::WriteOnly | QIODevice::Append);
  file.close();
  QFile::setPermissions(probe, QFile::ReadOwner | QFile::WriteOwner);
  QFile::remove(probe);
  return enforced;
}

}  // namespace setwright::test
