// The settings file read and written as the Windows profile functions do, keeping every
// line it does not change, and never failing on a file it cannot use.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "app/setwright_dlg.h"
#include "config/settings_file.h"
#include "support_files.h"

namespace setwright {
namespace {

using test::ReadFile;
using test::WriteFile;

class SettingsFileTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
  QString Path() const { return dir_.filePath(QStringLiteral("SETWRIGHT.ini")); }
  QTemporaryDir dir_;
};

TEST_F(SettingsFileTest, WriteChangesOneLineAndKeepsTheRest) {
  const struct {
    const char* what;
    std::optional<std::string> before;  // nothing: no file
    const char* key;
    std::string value;
    std::string after;
  } cases[] = {
      {"missing file is created", std::nullopt, "COMNumber", "COM3",
       "[TV-CONFIG]\r\nCOMNumber=COM3\r\n"},
      {"value replaced, names matched without case, everything else kept",
       "; kept\r\n[Other]\r\nCOMNumber=COM8\r\n\r\n[tv-config]\r\n; why\r\ncomnumber = COM1 \r\n"
       "ProductName=X\r\n[Last]\r\nB=2",
       "COMNumber", "COM3",
       "; kept\r\n[Other]\r\nCOMNumber=COM8\r\n\r\n[tv-config]\r\n; why\r\ncomnumber = COM3\r\n"
       "ProductName=X\r\n[Last]\r\nB=2"},
      {"key added after the last line of its section",
       "[TV-CONFIG]\r\nProductName=X\r\n\r\n[Other]\r\nA=1\r\n", "COMNumber", "COM3",
       "[TV-CONFIG]\r\nProductName=X\r\nCOMNumber=COM3\r\n\r\n[Other]\r\nA=1\r\n"},
      {"section added at the end of a file without final line break", "[Other]\nA=1", "COMNumber",
       "COM3", "[Other]\nA=1\n[TV-CONFIG]\nCOMNumber=COM3\n"},
      {"only the first of two equal keys changes", "[TV-CONFIG]\nCOMNumber=COM1\nCOMNumber=COM2\n",
       "COMNumber", "COM5", "[TV-CONFIG]\nCOMNumber=COM5\nCOMNumber=COM2\n"},
      {"a commented-out key is left alone", "[TV-CONFIG]\n;COMNumber=COM9\n", "COMNumber", "COM5",
       "[TV-CONFIG]\n;COMNumber=COM9\nCOMNumber=COM5\n"},
      {"empty value", "[TV-CONFIG]\r\nCOMNumber=COM1\r\n", "COMNumber", "",
       "[TV-CONFIG]\r\nCOMNumber=\r\n"},
      {"a line break ends the value", std::nullopt, "COMNumber", "COM3\r\n[Evil]\r\nX=1",
       "[TV-CONFIG]\r\nCOMNumber=COM3\r\n"},
      {"lone CR line breaks", "[TV-CONFIG]\rCOMNumber=COM1\rProductName=X", "COMNumber", "COM2",
       "[TV-CONFIG]\rCOMNumber=COM2\rProductName=X"},
      {"byte order mark kept", "\xEF\xBB\xBF[TV-CONFIG]\r\nCOMNumber=COM1\r\n", "COMNumber", "COM2",
       "\xEF\xBB\xBF[TV-CONFIG]\r\nCOMNumber=COM2\r\n"},
  };
  for (const auto& c : cases) {
    QFile::remove(Path());
    if (c.before) WriteFile(Path(), *c.before);
    SettingsFile file(Path());
    EXPECT_TRUE(file.Write("TV-CONFIG", c.key, c.value)) << c.what;
    EXPECT_EQ(ReadFile(Path()), c.after) << c.what;
  }
}

TEST_F(SettingsFileTest, ReadFindsTheFirstValueWithoutRegardToCase) {
  const std::string long300(300, 'x');
  const struct {
    const char* what;
    std::string content;
    const char* section;
    const char* key;
    std::string expected;
  } cases[] = {
      {"names without case", "[tv-config]\ncomnumber=COM4\n", "TV-CONFIG", "COMNumber", "COM4"},
      {"value trimmed", "[TV-CONFIG]\nCOMNumber =  COM4  \r\n", "TV-CONFIG", "COMNumber", "COM4"},
      {"quotes removed", "[TV-CONFIG]\nCOMNumber=\"COM4\"\n", "TV-CONFIG", "COMNumber", "COM4"},
      {"first of two keys", "[TV-CONFIG]\nCOMNumber=COM1\nCOMNumber=COM2\n", "TV-CONFIG",
       "COMNumber", "COM1"},
      {"empty value is not the default", "[TV-CONFIG]\nCOMNumber=\n", "TV-CONFIG", "COMNumber", ""},
      {"missing key gives the default", "[TV-CONFIG]\nOther=1\n", "TV-CONFIG", "COMNumber", "dflt"},
      {"key of another section does not count", "[X]\nCOMNumber=COM9\n", "TV-CONFIG", "COMNumber",
       "dflt"},
      {"259 characters at most", "[TV-CONFIG]\nCOMNumber=" + long300 + "\n", "TV-CONFIG",
       "COMNumber", std::string(259, 'x')},
      {"lone CR line breaks", "[TV-CONFIG]\rCOMNumber=COM4\rX=1", "TV-CONFIG", "COMNumber", "COM4"},
      {"byte order mark skipped", "\xEF\xBB\xBF[TV-CONFIG]\nCOMNumber=COM4\n", "TV-CONFIG",
       "COMNumber", "COM4"},
  };
  for (const auto& c : cases) {
    WriteFile(Path(), c.content);
    EXPECT_EQ(SettingsFile(Path()).Read(c.section, c.key, "dflt"), c.expected) << c.what;
  }
}

TEST_F(SettingsFileTest, FilesThatCannotBeUsedGiveDefaultsAndRefuseWrites) {
  const std::string binary("[TV-CONFIG]\nCOMNumber=COM4\n\0\x01\x02", 30);
  const std::string huge = "[TV-CONFIG]\nCOMNumber=COM4\n" +
                           std::string(static_cast<size_t>(SettingsFile::kMaxFileSize), ';');
  const struct {
    const char* what;
    std::optional<std::string> content;  // nothing: a directory stands at the path
  } cases[] = {{"not text", binary}, {"very large", huge}, {"a directory", std::nullopt}};
  for (const auto& c : cases) {
    QFile::remove(Path());
    QDir(Path()).removeRecursively();
    if (c.content) {
      WriteFile(Path(), *c.content);
    } else {
      ASSERT_TRUE(QDir().mkpath(Path()));
    }
    SettingsFile file(Path());
    EXPECT_EQ(file.Read("TV-CONFIG", "COMNumber", "COM1"), "COM1") << c.what;
    EXPECT_FALSE(file.Write("TV-CONFIG", "COMNumber", "COM2")) << c.what;
    if (c.content) {
      EXPECT_EQ(ReadFile(Path()), c.content) << c.what;
    }
  }
}

TEST_F(SettingsFileTest, ReadOnlyFileOrDirectoryRefusesWrites) {
  if (!test::PermissionsEnforced(dir_.path())) GTEST_SKIP() << "permissions not enforced";
  const std::string content = "[TV-CONFIG]\r\nCOMNumber=COM4\r\n";
  WriteFile(Path(), content);
  QFile::setPermissions(Path(), QFile::ReadOwner);
  EXPECT_FALSE(SettingsFile(Path()).Write("TV-CONFIG", "COMNumber", "COM2"));
  EXPECT_EQ(ReadFile(Path()), content);
  EXPECT_EQ(SettingsFile(Path()).Read("TV-CONFIG", "COMNumber", "COM1"), "COM4");

  const QString readOnlyDir = dir_.filePath(QStringLiteral("locked"));
  ASSERT_TRUE(QDir().mkpath(readOnlyDir));
  QFile::setPermissions(readOnlyDir, QFile::ReadOwner | QFile::ExeOwner);
  SettingsFile inLockedDir(QDir(readOnlyDir).filePath(QStringLiteral("SETWRIGHT.ini")));
  EXPECT_FALSE(inLockedDir.Write("TV-CONFIG", "COMNumber", "COM2"));
  EXPECT_EQ(inLockedDir.Read("TV-CONFIG", "COMNumber", "COM1"), "COM1");
  QFile::setPermissions(readOnlyDir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  QFile::setPermissions(Path(), QFile::ReadOwner | QFile::WriteOwner);
}

TEST_F(SettingsFileTest, NetworkPortsAreEveryWellFormedValueInFileOrder) {
  WriteFile(Path(),
            "[TV-CONFIG]\nCOMNumber=COM1\n"
            "[network-ports]\n"
            "; the bench server\n"
            "bench = rfc2217://127.0.0.1:4000\n"
            "zzz=rfc2217://device-server.local:2217\n"
            "bench=rfc2217://[::1]:4001\n"
            "noport=rfc2217://host\n"
            "badport=rfc2217://host:70000\n"
            "other=tcp://host:4000\n"
            "spaces=rfc2217://a b:1\n"
            "[Other]\nx=rfc2217://other:1\n");
  EXPECT_EQ(
      ReadNetworkPorts(SettingsFile(Path())),
      (std::vector<std::string>{"rfc2217://127.0.0.1:4000", "rfc2217://device-server.local:2217",
                                "rfc2217://[::1]:4001"}));
}

}  // namespace
}  // namespace setwright
