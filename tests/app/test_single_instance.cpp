// One copy per user, checked across processes: this test program also plays the other
// copy when started with SETWRIGHT_TEST_HOLD_GUARD naming the lock directory. That copy
// reports what it got on its output and holds the guard until its input closes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "app/setwright_app.h"
#include "app/single_instance.h"
#include "support_app.h"

namespace setwright {
namespace {

using Result = SingleInstanceGuard::Result;
using test::App;

// The other copy, run before the tests when asked to.
const bool otherCopy = [] {
  const char* directory = std::getenv("SETWRIGHT_TEST_HOLD_GUARD");
  if (directory == nullptr) return false;
  App();
  SingleInstanceGuard guard(QString::fromLocal8Bit(directory));
  const Result result = guard.Acquire();
  std::printf("%s\n", result == Result::kFirstCopy         ? "first"
                      : result == Result::kAnotherCopyRuns ? "another"
                                                           : "none");
  std::fflush(stdout);
  std::string line;
  while (std::getline(std::cin, line)) {
  }
  std::exit(0);
}();

class OtherCopy {
 public:
  explicit OtherCopy(const QString& directory) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("SETWRIGHT_TEST_HOLD_GUARD"), directory);
    process_.setProcessEnvironment(environment);
    process_.start(QCoreApplication::applicationFilePath(), {});
  }
  ~OtherCopy() { Kill(); }

  // What the copy got: "first", "another" or "none".
  std::string Outcome() {
    while (!process_.canReadLine() && process_.waitForReadyRead(30000)) {
    }
    return process_.readLine().trimmed().toStdString();
  }
  void Exit() {
    process_.closeWriteChannel();
    process_.waitForFinished(30000);
  }
  // Ends the copy the way a crash would, without letting it clean up.
  void Kill() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.kill();
    process_.waitForFinished(30000);
  }

 private:
  QProcess process_;
};

TEST(SingleInstanceGuard, OneCopyPerUserAcrossProcesses) {
  App();
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());

  OtherCopy first(dir.path());
  ASSERT_EQ(first.Outcome(), "first");
  EXPECT_EQ(SingleInstanceGuard(dir.path()).Acquire(), Result::kAnotherCopyRuns);
  OtherCopy second(dir.path());
  EXPECT_EQ(second.Outcome(), "another");
  second.Exit();

  // A copy in another user's directory is not blocked.
  QTemporaryDir otherUser;
  EXPECT_EQ(SingleInstanceGuard(otherUser.path()).Acquire(), Result::kFirstCopy);

  // The guard of a crashed copy is stale and taken over.
  first.Kill();
  {
    SingleInstanceGuard guard(dir.path());
    EXPECT_EQ(guard.Acquire(), Result::kFirstCopy);
    OtherCopy blocked(dir.path());
    EXPECT_EQ(blocked.Outcome(), "another");
  }

  // A copy that ended normally lets the next one start.
  OtherCopy third(dir.path());
  EXPECT_EQ(third.Outcome(), "first");
  third.Exit();
  EXPECT_EQ(SingleInstanceGuard(dir.path()).Acquire(), Result::kFirstCopy);
}

TEST(SingleInstanceGuard, UnusableDirectoryMeansNoGuard) {
  App();
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QFile blocker(dir.filePath(QStringLiteral("file")));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  EXPECT_EQ(SingleInstanceGuard(dir.filePath(QStringLiteral("file/sub"))).Acquire(),
            Result::kNoGuard);
}

TEST(CSetwrightApp, SecondCopyOnlySaysSetwrightIsOpened) {
  App();
  OtherCopy first(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation));
  if (first.Outcome() != "first") GTEST_SKIP() << "a copy of the program is running";

  std::string title, text;
  int visibleWindows = -1;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (box == nullptr) {
      if (modal != nullptr) modal->close();  // the selection dialog opened: fail, not hang
      return;
    }
    title = box->windowTitle().toStdString();
    text = box->text().toStdString();
    visibleWindows = 0;
    for (QWidget* window : QApplication::topLevelWidgets()) visibleWindows += window->isVisible();
    box->accept();
  });
  poll.start(10);
  bool pagesMade = false;
  const int exitCode = CSetwrightApp().Run([&](ISelectionDialog&) {
    pagesMade = true;
    return std::vector<std::unique_ptr<IProductPage>>();
  });
  EXPECT_EQ(exitCode, 0);
  EXPECT_EQ(title, "Setwright");
  EXPECT_EQ(text, "Setwright is opened!");
  EXPECT_EQ(visibleWindows, 1);
  EXPECT_FALSE(pagesMade);
}

}  // namespace
}  // namespace setwright
