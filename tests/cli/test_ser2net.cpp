// setwright-cli through ser2net, the serial device server most Linux benches use: the
// simulator plays the device on a pseudo-terminal, ser2net serves that terminal as an
// RFC 2217 port on loopback, and the bytes the device received are compared with those it
// receives when the command talks to the simulator's own server.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>

#include "sim/pty_server.h"
#include "sim/rfc2217_server.h"
#include "sim/sim_device.h"
#include "support_cli.h"

namespace setwright {
namespace {

// The simulator's server runs a Qt event loop on its own thread, which needs an application.
class QtApplication : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "setwright-ser2net-tests";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
  }
};
const auto* const kQtApplication = ::testing::AddGlobalTestEnvironment(new QtApplication);

// The simulated device with a record of every byte the host sent it.
class RecordingDevice : public sim::DeviceModel {
 public:
  explicit RecordingDevice(sim::SimDevice& device) : device_(device) {}
  void Attach(sim::IDeviceLink* link) override { device_.Attach(link); }
  void OnHostBytes(const std::string& bytes, uint32_t nowMs) override {
    {
      std::lock_guard lock(mutex_);
      received_ += bytes;
    }
    device_.OnHostBytes(bytes, nowMs);
  }
  void OnRts(bool on, uint32_t nowMs) override { device_.OnRts(on, nowMs); }
  void OnLineSettings(const sim::LineSettings& s, uint32_t nowMs) override {
    device_.OnLineSettings(s, nowMs);
  }
  void Advance(uint32_t nowMs) override { device_.Advance(nowMs); }
  int MsUntilNextEvent(uint32_t nowMs) override { return device_.MsUntilNextEvent(nowMs); }

  std::string Take() {
    std::lock_guard lock(mutex_);
    std::string out;
    out.swap(received_);
    return out;
  }

 private:
  sim::SimDevice& device_;
  std::mutex mutex_;
  std::string received_;
};

struct CliResult {
  int status = -1;
  QString out;
  QString err;
};

CliResult RunCli(const QStringList& args) {
  QProcess process;
  process.start(BinaryDir() + "/cli/setwright-cli", args);
  CliResult result;
  if (!process.waitForFinished(60000)) {
    process.kill();
    process.waitForFinished(2000);
    ADD_FAILURE() << "setwright-cli did not end";
  }
  result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  result.out = QString::fromLatin1(process.readAllStandardOutput());
  result.err = QString::fromLatin1(process.readAllStandardError());
  return result;
}

uint16_t FreeLoopbackPort() {
  QTcpServer probe;
  if (!probe.listen(QHostAddress::LocalHost, 0)) return 0;
  return probe.serverPort();
}

bool Accepts(uint16_t port) {
  QTcpSocket socket;
  socket.connectToHost(QHostAddress::LocalHost, port);
  const bool ok = socket.waitForConnected(200);
  socket.abort();
  return ok;
}

// The three commands a bench script runs, each with the device's program mode entered by
// --enter.
struct Step {
  QStringList args;
  const char* expectOut;
};

std::vector<Step> Steps(const QString& url) {
  const QStringList common{"--model", "MR-310SKB", "--port", url, "--enter", "--wait", "20"};
  return {
      {QStringList{"read"} + common, "\nB=9600\n"},
      {QStringList{"write"} + common + QStringList{"B=19200"}, ""},
      {QStringList{"default"} + common, "\nB=9600\n"},
  };
}

TEST(Ser2net, ReadWriteAndDefaultPassTheSameBytesAsTheSimulatorsOwnServer) {
  const QString ser2net = QStandardPaths::findExecutable(
      "ser2net", {"/usr/sbin", "/usr/bin", "/usr/local/sbin", "/usr/local/bin"});
  if (ser2net.isEmpty()) GTEST_SKIP() << "ser2net is not installed (scripts/setup.sh installs it)";

  // The bytes of each step as the simulator's own server delivers them.
  std::vector<std::string> direct;
  {
    auto device = sim::SimDevice::Create("MR-310SKB");
    RecordingDevice recording(*device);
    sim::Rfc2217Server server(recording);
    ASSERT_TRUE(server.Start());
    device->SetPower(true);
    for (const Step& step : Steps(QString::fromStdString(server.Url()))) {
      CliResult result = RunCli(step.args);
      ASSERT_EQ(result.status, 0) << result.err.toStdString();
      direct.push_back(recording.Take());
    }
    server.Stop();
  }
  // Read: the program-mode command, then ESC as the command leaves program mode.
  EXPECT_EQ(direct[0], "\r\n@PROG\r\n\x1b");

  auto device = sim::SimDevice::Create("MR-310SKB");
  RecordingDevice recording(*device);
  sim::PtyServer pty(recording);
  std::string reason;
  if (!pty.Start(&reason)) GTEST_SKIP() << "no pseudo-terminal: " << reason;
  device->SetPower(true);

  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const uint16_t port = FreeLoopbackPort();
  ASSERT_NE(port, 0);
  {
    QFile config(dir.filePath("ser2net.yaml"));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write(QStringLiteral("connection: &bench\n"
                                "  accepter: telnet(rfc2217),tcp,127.0.0.1,%1\n"
                                "  connector: serialdev,%2,9600n82,local\n")
                     .arg(port)
                     .arg(QString::fromStdString(pty.SlavePath()))
                     .toUtf8());
  }
  QProcess server;
  server.setProcessChannelMode(QProcess::MergedChannels);
  server.start(ser2net,
               {"-n", "-u", "-c", dir.filePath("ser2net.yaml"), "-P", dir.filePath("ser2net.pid")});
  ASSERT_TRUE(server.waitForStarted(5000));
  for (int i = 0; i < 50 && !Accepts(port); ++i) QThread::msleep(100);
  ASSERT_TRUE(Accepts(port)) << QString::fromLocal8Bit(server.readAll()).toStdString();

  const QString url = QStringLiteral("rfc2217://127.0.0.1:%1").arg(port);
  const std::vector<Step> steps = Steps(url);
  for (size_t i = 0; i < steps.size(); ++i) {
    CliResult result = RunCli(steps[i].args);
    ASSERT_EQ(result.status, 0) << steps[i].args.join(' ').toStdString() << "\n"
                                << result.err.toStdString();
    EXPECT_TRUE(result.out.contains(steps[i].expectOut)) << result.out.toStdString();
    EXPECT_EQ(recording.Take(), direct[i]) << steps[i].args.join(' ').toStdString();
  }
  EXPECT_EQ(device->Setting("B"), "9600") << "the default came last";

  server.terminate();
  if (!server.waitForFinished(5000)) server.kill();
  pty.Stop();
}

}  // namespace
}  // namespace setwright
