// Network ports against an RFC 2217 implementation we did not write: python3-serial's port
// manager serving our client, and its rfc2217:// client using our simulator's server.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdlib>

#include "serial/serial_port.h"
#include "sim/rfc2217_server.h"
#include "support_devices.h"
#include "support_listener.h"

namespace setwright {
namespace {

using namespace setwright::testing;

constexpr int kSkipExitCode = 77;

QString Script(const char* name) {
  // Beside this file; found through the source tree when the test runs under CTest.
  const char* source = std::getenv("SETWRIGHT_SOURCE_DIR");
  const QString dir = source ? QString::fromLocal8Bit(source) + "/tests/serial"
                             : QFileInfo(QStringLiteral(__FILE__)).absolutePath();
  return dir + "/" + name;
}

// Starts python3 on a script, from a neutral directory so that nothing of the source tree
// shadows python3-serial's modules. The system's python3 is the one the package installs
// into; another python3 found first on the path may not have it.
void StartPython(QProcess& process, QTemporaryDir& cwd, const QStringList& args) {
  const QString systemPython = QStringLiteral("/usr/bin/python3");
  process.setWorkingDirectory(cwd.path());
  process.setProcessChannelMode(QProcess::SeparateChannels);
  process.start(QFileInfo::exists(systemPython) ? systemPython : QStringLiteral("python3"), args);
}

bool SkipIfUnavailable(QProcess& process) {
  return process.state() == QProcess::NotRunning &&
         (process.error() == QProcess::FailedToStart || process.exitCode() == kSkipExitCode);
}

TEST(Pyserial, PortManagerServesOurClient) {
  QTemporaryDir cwd;
  QProcess server;
  StartPython(server, cwd, {Script("pyserial_server.py")});
  if (!server.waitForStarted(10'000)) GTEST_SKIP() << "python3 is not available";
  QByteArray firstLine;
  while (!firstLine.contains('\n') && server.waitForReadyRead(10'000)) {
    firstLine += server.readAllStandardOutput();
  }
  if (SkipIfUnavailable(server)) GTEST_SKIP() << "python3-serial is not available";
  bool ok = false;
  const int tcpPort = firstLine.trimmed().toInt(&ok);
  ASSERT_TRUE(ok) << firstLine.constData() << server.readAllStandardError().constData();

  CSerialPort port;
  RecordingListener listener(port);
  port.connectReadEvent(&listener);
  port.setReadIntervalTimeout(50);
  port.init("rfc2217://127.0.0.1:" + std::to_string(tcpPort), 9600, ParityNone, 8, StopTwo,
            FlowNone, 4096);
  port.open();
  ASSERT_TRUE(port.isOpen());

  auto status = [&] {
    uint32_t word = 0;
    port.getModemStatus(word);
    return word;
  };
  // Behind the manager CTS follows RTS and DSR follows DTR, which nobody changes.
  EXPECT_TRUE(Eventually([&] { return (status() & kModemCts) == 0; }));
  port.setRts(true);
  EXPECT_TRUE(Eventually([&] { return (status() & kModemCts) != 0; }));

  std::string bytes;
  for (int b = 0; b < 256; ++b) bytes.push_back(static_cast<char>(b));
  bytes += "\xff\xff\r\n";
  EXPECT_EQ(port.writeData(bytes.data(), static_cast<int>(bytes.size())),
            static_cast<int>(bytes.size()));
  ASSERT_TRUE(listener.WaitForBytes(bytes.size()));
  EXPECT_EQ(listener.Received(), bytes);

  port.setBaudRate(19200);
  // The baud rate answer comes back before the echo of bytes written after it.
  port.writeData("!", 1);
  ASSERT_TRUE(listener.WaitForBytes(bytes.size() + 1));
  port.close();
  ASSERT_TRUE(server.waitForFinished(10'000));
  const QByteArray summary = server.readAllStandardOutput().trimmed();
  EXPECT_EQ(summary, QByteArray("baud 19200 stopbits 2 bytesize 8"))
      << server.readAllStandardError().constData();
}

TEST(Pyserial, ItsClientUsesOurServer) {
  EchoDevice device;
  sim::Rfc2217Server server(device);
  ASSERT_TRUE(server.Start());
  QTemporaryDir cwd;
  QProcess client;
  StartPython(client, cwd, {Script("pyserial_client.py"), QString::fromStdString(server.Url())});
  if (!client.waitForStarted(10'000)) GTEST_SKIP() << "python3 is not available";
  ASSERT_TRUE(client.waitForFinished(30'000));
  if (client.exitCode() == kSkipExitCode) GTEST_SKIP() << "python3-serial is not available";
  EXPECT_EQ(client.exitCode(), 0) << client.readAllStandardOutput().constData()
                                  << client.readAllStandardError().constData();
  EXPECT_EQ(device.settings().baudRate, 19200);
  EXPECT_EQ(device.settings().stopBits, StopTwo);
  EXPECT_GE(device.rtsChanges(), 1);
}

}  // namespace
}  // namespace setwright
