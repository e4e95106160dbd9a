// Small file helpers for tests that work on settings files in a temporary directory.
#pragma once

#include <QString>
#include <optional>
#include <string>

namespace setwright::test {

// Writes the bytes to the file, replacing it.
void WriteFile(const QString& path, const std::string& bytes);
// The file's bytes, or nothing when it cannot be read.
std::optional<std::string> ReadFile(const QString& path);
// Whether the file system refuses writes to read-only files here (not so for root).
bool PermissionsEnforced(const QString& directory);

}  // namespace setwright::test
