// The listing kept in memory: served from memory until the device directory changes,
// and every change made before a call seen by that call.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "serial/port_listing.h"

namespace setwright {
namespace {

// Lists the files of a directory as ports and counts how often it was asked.
class DirectoryLister : public IPortLister {
 public:
  explicit DirectoryLister(QString path) : path_(std::move(path)) {}
  std::vector<SerialPortInfo> List() override {
    ++calls;
    std::vector<SerialPortInfo> listing;
    for (const QString& name : QDir(path_).entryList(QDir::Files, QDir::Name)) {
      listing.push_back({name.toStdString(), "", ""});
    }
    return listing;
  }
  int calls = 0;

 private:
  QString path_;
};

std::vector<std::string> Names(const std::vector<SerialPortInfo>& listing) {
  std::vector<std::string> names;
  for (const SerialPortInfo& info : listing) names.push_back(info.portName);
  return names;
}

TEST(CachedPortLister, SeesEveryDeviceChangeOnTheNextCall) {
#ifndef Q_OS_LINUX
  GTEST_SKIP() << "device notifications are watched on Linux only";
#endif
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  DirectoryLister source(dir.path());
  CachedPortLister cached(source, CreateDeviceNotifier(dir.path().toStdString()));

  const struct {
    const char* what;
    const char* create;  // file to create before the call, or nullptr
    const char* remove;  // file to remove before the call, or nullptr
    std::vector<std::string> expected;
    int sourceCalls;  // how often the source has been asked after the call
  } steps[] = {
      {"first call takes the listing", nullptr, nullptr, {}, 1},
      {"quiet directory served from memory", nullptr, nullptr, {}, 1},
      {"node created", "ttyUSB0", nullptr, {"ttyUSB0"}, 2},
      {"served from memory again", nullptr, nullptr, {"ttyUSB0"}, 2},
      {"second node", "ttyUSB1", nullptr, {"ttyUSB0", "ttyUSB1"}, 3},
      {"node removed", nullptr, "ttyUSB0", {"ttyUSB1"}, 4},
      {"last node removed", nullptr, "ttyUSB1", {}, 5},
      {"quiet again", nullptr, nullptr, {}, 5},
  };
  for (const auto& step : steps) {
    if (step.create) {
      QFile file(dir.filePath(step.create));
      ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    if (step.remove) {
      ASSERT_TRUE(QFile::remove(dir.filePath(step.remove)));
    }
    EXPECT_EQ(Names(cached.List()), step.expected) << step.what;
    EXPECT_EQ(source.calls, step.sourceCalls) << step.what;
  }
}

TEST(TimedRefreshNotifier, ReportsOncePerPeriod) {
  int64_t now = 1000;
  TimedRefreshNotifier notifier(1000, [&now] { return now; });
  const struct {
    int64_t time;
    bool changed;
  } steps[] = {{1000, true}, {1500, false}, {1999, false},
               {2000, true}, {2001, false}, {9000, true}};
  for (const auto& step : steps) {
    now = step.time;
    EXPECT_EQ(notifier.TakeChanged(), step.changed) << "at " << step.time;
  }
}

TEST(CSerialPortInfo, NetworkPortsFollowTheLocalPortsOnce) {
  CSerialPortInfo::SetNetworkPorts({"rfc2217://b:2", "rfc2217://a:1", "rfc2217://b:2"});
  std::vector<SerialPortInfo> listing = CSerialPortInfo::availablePortInfos();
  ASSERT_GE(listing.size(), 2u);
  EXPECT_EQ(listing[listing.size() - 2].portName, "rfc2217://b:2");
  EXPECT_EQ(listing.back().portName, "rfc2217://a:1");
  EXPECT_TRUE(listing.back().fixed);
  for (size_t i = 0; i + 2 < listing.size(); ++i) EXPECT_FALSE(listing[i].fixed);
  CSerialPortInfo::SetNetworkPorts({});
  EXPECT_EQ(CSerialPortInfo::availablePortInfos().size(), listing.size() - 2);
}

}  // namespace
}  // namespace setwright
