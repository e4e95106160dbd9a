// setwright-cli against setwright-sim: the programs as a technician's script runs them.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdlib>
#include <memory>
#include <string>

#include "support_cli.h"
namespace {

struct CliResult {
  int status = -1;
  QString out;
  QString err;
};

QProcess* StartCli(const QStringList& args) {
  auto* process = new QProcess;
  process->setProgram(BinaryDir() + "/cli/setwright-cli");
  process->setArguments(args);
  process->start();
  return process;
}

CliResult Finish(QProcess* process) {
  std::unique_ptr<QProcess> owner(process);
  CliResult result;
  if (!process->waitForFinished(60000)) {
    process->kill();
    process->waitForFinished(2000);
    ADD_FAILURE() << "setwright-cli did not end";
  }
  result.status = process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
  result.out = QString::fromLatin1(process->readAllStandardOutput());
  result.err = QString::fromLatin1(process->readAllStandardError());
  return result;
}

CliResult RunCli(const QStringList& args) {
  return Finish(StartCli(args));
}

QString LastLine(const QString& text) {
  QStringList lines = text.split('\n', Qt::SkipEmptyParts);
  return lines.isEmpty() ? QString() : lines.last();
}

TEST(Cli, ReadsSettingsAsTextAndJson) {
  SimulatedDevice device({"--model", "MR-310SKB"});
  CliResult text =
      RunCli({"read", "--model", "MR-310SKB", "--port", device.Url(), "--enter", "--wait", "20"});
  ASSERT_EQ(text.status, 0) << text.err.toStdString();
  EXPECT_TRUE(text.out.startsWith("product=MR-310SKB")) << text.out.toStdString();
  for (const char* line : {"\nB=9600\n", "\nD=8\n", "\nCOM=R\n", "\nCMD=@\n"})
    EXPECT_TRUE(text.out.contains(line)) << line << " missing in " << text.out.toStdString();
  EXPECT_LT(text.out.indexOf("\nB="), text.out.indexOf("\nD="));
  EXPECT_TRUE(text.err.contains("green: Enter PROGRAM MODE success!"));

  CliResult json = RunCli({"read", "--model", "MR-310SKB", "--port", device.Url(), "--enter",
                           "--wait", "20", "--json"});
  ASSERT_EQ(json.status, 0) << json.err.toStdString();
  EXPECT_TRUE(json.out.startsWith("{\"model\": \"MR-310SKB\"")) << json.out.toStdString();
  EXPECT_TRUE(json.out.contains("\"settings\": {\"B\": \"9600\"")) << json.out.toStdString();
}

TEST(Cli, WaitsForThePowerRestartWithoutEnter) {
  SimulatedDevice device({"--model", "MR-320KBS"});
  QProcess* cli =
      StartCli({"read", "--model", "MR-320KBS", "--port", device.Url(), "--wait", "20"});
  ASSERT_TRUE(cli->waitForStarted(5000));
  // The page has opened its port once it reports that the device must be restarted.
  QString err;
  while (!err.contains("Waiting for device power restart!") && cli->waitForReadyRead(10000))
    err += QString::fromLatin1(cli->readAllStandardError());
  device.Command("cycle");
  CliResult result = Finish(cli);
  ASSERT_EQ(result.status, 0) << (err + result.err).toStdString();
  EXPECT_TRUE(result.out.contains("\nT1=")) << result.out.toStdString();
}

TEST(Cli, WritesOneKeyAndOnlyThatKey) {
  SimulatedDevice device({"--model", "MR-310SKB"});
  QString before = device.Show();
  CliResult result = RunCli({"write", "--model", "MR-310SKB", "--port", device.Url(), "--enter",
                             "--wait", "20", "B=19200"});
  ASSERT_EQ(result.status, 0) << result.err.toStdString();
  EXPECT_EQ(LastLine(result.err), "green: Save PROGRAM MODE and reset success!");
  QString after = device.Show();
  EXPECT_TRUE(after.contains("B=19200")) << after.toStdString();
  QString expected = before;
  expected.replace("B=9600", "B=19200");
  EXPECT_EQ(after, expected);
}

TEST(Cli, RefusedValuesEndTheCommandBeforeAnythingIsSent) {
  struct Case {
    const char* model;
    const char* assignment;
    const char* allowed;
  } cases[] = {
      {"MR-310SKB", "B=12345", "300, 600, 1200"}, {"MR-310SKB", "DEL=80", "01 to 7F"},
      {"MR-310SKB", "CMD=ABCDE", "1 to 4"},       {"MR-310SKB", "T1=10", "keys: B"},
      {"TV-520KBS", "T1=100", "1 to 99"},         {"KN-610K/PQ", "B=300", "1200, 2400"},
  };
  for (const Case& c : cases) {
    // The port does not exist: a refusal must come before any attempt to open it.
    CliResult result = RunCli({"write", "--model", c.model, "--port", "rfc2217://127.0.0.1:1",
                               "--enter", "--wait", "5", c.assignment});
    EXPECT_EQ(result.status, 2) << c.assignment;
    EXPECT_TRUE(result.err.contains(c.allowed)) << result.err.toStdString();
    EXPECT_FALSE(result.err.contains("blue:")) << result.err.toStdString();
  }
}

TEST(Cli, DefaultPrintsTheFactorySettingsAndClearPairedNeedsTheModel) {
  SimulatedDevice device({"--model", "MR-310SKB"});
  ASSERT_EQ(RunCli({"write", "--model", "MR-310SKB", "--port", device.Url(), "--enter", "--wait",
                    "20", "D=7"})
                .status,
            0);
  CliResult reset = RunCli({"default", "--model", "MR-310SKB", "--port", device.Url(), "--enter",
                            "--wait", "20", "--json"});
  ASSERT_EQ(reset.status, 0) << reset.err.toStdString();
  EXPECT_TRUE(reset.out.contains("\"D\": \"8\"")) << reset.out.toStdString();
  EXPECT_TRUE(reset.err.contains("green: Set to default success!"));

  CliResult clear = RunCli(
      {"clear-paired", "--model", "MR-310SKB", "--port", device.Url(), "--enter", "--wait", "20"});
  EXPECT_EQ(clear.status, 0) << clear.err.toStdString();
  EXPECT_EQ(LastLine(clear.err), "green: Clear paired device success!");

  CliResult refused =
      RunCli({"clear-paired", "--model", "MR-320KBS", "--port", device.Url(), "--enter"});
  EXPECT_EQ(refused.status, 2);
}

TEST(Cli, ExitStatusTellsWhatWentWrong) {
  {
    SimulatedDevice device({"--model", "MR-310SKB", "refuse=B"});
    CliResult result = RunCli({"write", "--model", "MR-310SKB", "--port", device.Url(), "--enter",
                               "--wait", "20", "B=19200"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(LastLine(result.err), "red: Set command error!");
  }
  {
    SimulatedDevice device({"--model", "MR-310SKB", "product=ZWE-710SKB"});
    CliResult result =
        RunCli({"read", "--model", "MR-310SKB", "--port", device.Url(), "--enter", "--wait", "20"});
    EXPECT_EQ(result.status, 4);
    EXPECT_EQ(result.out.trimmed(), "ZWE-710SKB");
  }
  {
    SimulatedDevice device({"--model", "TV-520KBS", "--off"});
    CliResult result =
        RunCli({"read", "--model", "TV-520KBS", "--port", device.Url(), "--enter", "--wait", "2"});
    EXPECT_EQ(result.status, 3);
  }
  EXPECT_EQ(RunCli({"read", "--model", "MR-999", "--port", "COM1"}).status, 2);
  EXPECT_EQ(RunCli({"read", "--port", "COM1"}).status, 2);
  EXPECT_EQ(RunCli({"frobnicate"}).status, 2);
}

// A device that never answers has failed once its program-mode command timed out: the
// command ends there, with the time-out as its last report, instead of trying again until
// --wait runs out.
TEST(Cli, ASilentDeviceEndsTheCommandAtItsFirstTimeout) {
  const QString timeout = "red: PROGRAM MODE timeout! \n  Please restart device power!\n";
  for (bool enter : {true, false}) {
    SCOPED_TRACE(enter ? "--enter" : "power restart");
    SimulatedDevice device({"--model", "TV-520KBS", "silent"});
    QStringList args{"read", "--model", "TV-520KBS", "--port", device.Url(), "--wait", "50"};
    if (enter) args << "--enter";
    QProcess* cli = StartCli(args);
    ASSERT_TRUE(cli->waitForStarted(5000));
    QString err;
    if (!enter) {
      while (!err.contains("Waiting for device power restart!") && cli->waitForReadyRead(10000))
        err += QString::fromLatin1(cli->readAllStandardError());
      device.Command("cycle");
    }
    CliResult result = Finish(cli);
    err += result.err;
    EXPECT_EQ(result.status, 1) << err.toStdString();
    EXPECT_TRUE(err.endsWith(timeout)) << err.toStdString();
    EXPECT_EQ(err.count("blue: Waiting for reading PROGRAM MODE!"), 1) << err.toStdString();
  }
}

TEST(Cli, TwoDevicesAreSetUpInParallel) {
  SimulatedDevice first({"--model", "MR-320KBS"});
  SimulatedDevice second({"--model", "KN-610K/PQ"});
  QProcess* a = StartCli({"write", "--model", "MR-320KBS", "--port", first.Url(), "--enter",
                          "--wait", "20", "P=E", "T1=250"});
  QProcess* b = StartCli({"write", "--model", "KN-610K/PQ", "--port", second.Url(), "--enter",
                          "--wait", "20", "B=115200"});
  CliResult ra = Finish(a);
  CliResult rb = Finish(b);
  ASSERT_EQ(ra.status, 0) << ra.err.toStdString();
  ASSERT_EQ(rb.status, 0) << rb.err.toStdString();
  EXPECT_TRUE(first.Show().contains("T1=250"));
  EXPECT_TRUE(second.Show().contains("B=115200"));
}

}  // namespace

TEST(Cli, PortsListsTheNetworkPortsOfTheSettingsFileLastWithoutWritingIt) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QByteArray ini =
      "; bench 3\r\n[TV-CONFIG]\r\nCOMNumber=COM1\r\n[network-ports]\r\n"
      "b=rfc2217://127.0.0.1:7002\r\na=rfc2217://127.0.0.1:7001\r\n";
  {
    QFile file(dir.filePath("SETWRIGHT.ini"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(ini);
  }
  QProcess process;
  process.setWorkingDirectory(dir.path());
  process.start(BinaryDir() + "/cli/setwright-cli", {"ports"});
  ASSERT_TRUE(process.waitForFinished(20000));
  EXPECT_EQ(process.exitCode(), 0);
  QStringList lines =
      QString::fromLatin1(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
  ASSERT_GE(lines.size(), 2);
  EXPECT_EQ(lines[lines.size() - 2], "rfc2217://127.0.0.1:7002");
  EXPECT_EQ(lines.last(), "rfc2217://127.0.0.1:7001");
  QFile file(dir.filePath("SETWRIGHT.ini"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), ini);

  QTemporaryDir empty;
  process.setWorkingDirectory(empty.path());
  process.start(BinaryDir() + "/cli/setwright-cli", {"ports"});
  ASSERT_TRUE(process.waitForFinished(20000));
  EXPECT_EQ(process.exitCode(), 0);
  EXPECT_FALSE(QFile::exists(empty.filePath("SETWRIGHT.ini")));
}
