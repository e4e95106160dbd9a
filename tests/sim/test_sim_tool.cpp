// setwright-sim as a program: its URL line, its console, and when it ends.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QString>
#include <QTcpSocket>
#include <cstdlib>
#include <string>

namespace {

constexpr int kWaitMs = 20000;  // generous: the machine may be busy

QString SimProgram() {
  const char* dir = std::getenv("SETWRIGHT_BINARY_DIR");
  return QString::fromUtf8(dir ? dir : ".") + "/sim/setwright-sim";
}

// Reads lines from the program until the text read holds ending, or the wait runs out.
std::string ReadUntil(QProcess& process, const std::string& ending) {
  std::string out;
  while (out.find(ending) == std::string::npos) {
    if (!process.canReadLine() && !process.waitForReadyRead(kWaitMs)) break;
    while (process.canReadLine()) out += process.readLine().toStdString();
  }
  return out;
}

class SimTool : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!QCoreApplication::instance()) {
      static int argc = 1;
      static char name[] = "test";
      static char* argv[] = {name, nullptr};
      new QCoreApplication(argc, argv);
    }
  }
  void TearDown() override {
    if (process.state() != QProcess::NotRunning) {
      process.kill();
      process.waitForFinished(kWaitMs);
    }
  }
  QProcess process;
};

TEST_F(SimTool, ServesOnTheUrlOfItsFirstLineAndObeysItsConsole) {
  process.start(SimProgram(), {"--model", "ZWE-710SKB", "--off", "slow=5"});
  ASSERT_TRUE(process.waitForStarted(kWaitMs));
  const std::string url = ReadUntil(process, "\n");
  ASSERT_TRUE(url.starts_with("rfc2217://127.0.0.1:")) << url;
  const int port = std::stoi(url.substr(std::string("rfc2217://127.0.0.1:").size()));

  QTcpSocket socket;
  socket.connectToHost("127.0.0.1", static_cast<quint16>(port));
  EXPECT_TRUE(socket.waitForConnected(kWaitMs));

  process.write("status\n");
  EXPECT_EQ(ReadUntil(process, "slow=5\n"),
            "model ZWE-710SKB\npower off\nprogram mode no\nfault slow=5\n");
  process.write("set CMD=AB\nshow\n");
  const std::string shown = ReadUntil(process, "COM=R\nCMD=AB\n");
  EXPECT_TRUE(shown.starts_with("CMD=AB\nB=9600\n")) << shown;
  process.write("quit\n");
  EXPECT_TRUE(process.waitForFinished(kWaitMs));
  EXPECT_EQ(process.exitCode(), 0);
}

TEST_F(SimTool, EndOfInputEndsItOnlyWhenAsked) {
  process.start(SimProgram(), {"--model", "TV-520KBS", "--quit-on-eof"});
  ASSERT_TRUE(process.waitForStarted(kWaitMs));
  ASSERT_FALSE(ReadUntil(process, "\n").empty());
  process.closeWriteChannel();
  EXPECT_TRUE(process.waitForFinished(kWaitMs));

  QProcess background;
  background.start(SimProgram(), {"--model", "TV-520KBS"});
  ASSERT_TRUE(background.waitForStarted(kWaitMs));
  const std::string url = ReadUntil(background, "\n");
  ASSERT_TRUE(url.starts_with("rfc2217://127.0.0.1:")) << url;
  background.closeWriteChannel();
  // Still serving once its console has gone.
  QTcpSocket socket;
  socket.connectToHost("127.0.0.1", static_cast<quint16>(std::stoi(url.substr(20))));
  EXPECT_TRUE(socket.waitForConnected(kWaitMs));
  EXPECT_EQ(background.state(), QProcess::Running);
  background.kill();
  background.waitForFinished(kWaitMs);
}

TEST_F(SimTool, RefusesBadArguments) {
  for (const QStringList& args : {QStringList{"--model", "XX-1"}, QStringList{"--port", "x"},
                                  QStringList{"--model", "MR-310SKB", "melt"}}) {
    QProcess bad;
    bad.start(SimProgram(), args);
    ASSERT_TRUE(bad.waitForFinished(kWaitMs));
    EXPECT_EQ(bad.exitCode(), 2) << args.join(' ').toStdString();
    EXPECT_TRUE(bad.readAllStandardOutput().isEmpty());
  }
}

}  // namespace
