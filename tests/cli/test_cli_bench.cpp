// apply and station as a technician runs them: setwright-cli against setwright-sim processes.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <csignal>
#include <cstdlib>
#include <memory>

#include "support_cli.h"
namespace {

using Sim = SimulatedDevice;

struct Result {
  int status = -1;
  QString out, err;
};

QProcess* Start(const QStringList& args) {
  auto* process = new QProcess;
  process->setProgram(BinaryDir() + "/cli/setwright-cli");
  process->setArguments(args);
  process->start();
  EXPECT_TRUE(process->waitForStarted(5000));
  return process;
}

Result Finish(QProcess* process, const QString& outSoFar = {}) {
  std::unique_ptr<QProcess> owner(process);
  Result result;
  if (!process->waitForFinished(90000)) {
    process->kill();
    process->waitForFinished(2000);
    ADD_FAILURE() << "setwright-cli did not end";
  }
  result.status = process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
  result.out = outSoFar + QString::fromLatin1(process->readAllStandardOutput());
  result.err = QString::fromLatin1(process->readAllStandardError());
  return result;
}

// Waits until the program's standard error holds `text`; reading it again later gives only
// what came after.
bool WaitOnStandardError(QProcess* process, const QString& text) {
  process->setReadChannel(QProcess::StandardError);
  QString err;
  while (!err.contains(text) && process->waitForReadyRead(10000))
    err += QString::fromLatin1(process->readAllStandardError());
  process->setReadChannel(QProcess::StandardOutput);
  return err.contains(text);
}

Result RunCli(const QStringList& args) {
  return Finish(Start(args));
}

std::vector<QJsonObject> ReportObjects(const QString& path) {
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
  std::vector<QJsonObject> objects;
  for (const QByteArray& line : file.readAll().split('\n')) {
    if (line.isEmpty()) continue;
    QJsonDocument doc = QJsonDocument::fromJson(line);
    EXPECT_TRUE(doc.isObject()) << line.toStdString();
    objects.push_back(doc.object());
  }
  return objects;
}

QJsonObject SettingsOf(const QString& readJson) {
  return QJsonDocument::fromJson(readJson.toLatin1()).object().value("settings").toObject();
}

// The settings read from one unit, applied to another and read back there, are the profile.
TEST(CliBench, ProfileRoundTrip) {
  Sim source({"--model", "MR-310SKB"});
  Sim target({"--model", "MR-310SKB"});
  for (const char* line : {"set B=19200", "set MODE=3", "set DEL=0D", "set CMD=#"})
    source.Command(line);
  QTemporaryDir dir;
  const QString profile = dir.filePath("bench.json");
  const QString report = dir.filePath("units.jsonl");

  Result read =
      RunCli({"read", "--model", "MR-310SKB", "--port", source.Url(), "--enter", "--json"});
  ASSERT_EQ(read.status, 0) << read.err.toStdString();
  {
    QFile file(profile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(read.out.toLatin1());
  }
  Result apply = RunCli({"apply", "--profile", profile, "--port", target.Url(), "--enter",
                         "--verify", "--wait", "30", "--report", report});
  ASSERT_EQ(apply.status, 0) << apply.err.toStdString() << apply.out.toStdString();
  EXPECT_TRUE(apply.out.startsWith("#1 " + target.Url() + " MR-310SKB 00:1A:7D:31:00:01 ok "))
      << apply.out.toStdString();
  // On a pipe, progress comes as one line per event.
  EXPECT_TRUE(apply.err.contains(target.Url() + " MR-310SKB: writing 1 of 4"))
      << apply.err.toStdString();
  EXPECT_TRUE(apply.err.contains(target.Url() + " MR-310SKB: verifying"));

  Result again =
      RunCli({"read", "--model", "MR-310SKB", "--port", target.Url(), "--enter", "--json"});
  ASSERT_EQ(again.status, 0) << again.err.toStdString();
  EXPECT_EQ(SettingsOf(again.out), SettingsOf(read.out)) << again.out.toStdString();
  EXPECT_EQ(SettingsOf(again.out).value("DEL").toString(), "0D");

  auto objects = ReportObjects(report);
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_EQ(objects[0].value("outcome").toString(), "ok");
  EXPECT_EQ(objects[0].value("verify").toString(), "ok");
  EXPECT_EQ(objects[0].value("changed").toArray().size(), 4);
  EXPECT_TRUE(objects[0].value("time").toString().endsWith("Z"));
}

TEST(CliBench, OneGoodOneSilentOneOtherModel) {
  Sim good({"--model", "MR-310SKB"});
  Sim silent({"--model", "MR-310SKB", "silent"});
  Sim other({"--model", "KN-610K/PQ"});
  QTemporaryDir dir;
  const QString profile = dir.filePath("p.json");
  const QString report = dir.filePath("units.jsonl");
  {
    QFile file(profile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"model": "MR-310SKB", "settings": {"B": "38400", "LF": "2"}})");
  }
  Result apply =
      RunCli({"apply", "--profile", profile, "--port", good.Url(), "--port", silent.Url(), "--port",
              other.Url(), "--enter", "--verify", "--wait", "5", "--report", report});
  EXPECT_EQ(apply.status, 1) << apply.err.toStdString();
  EXPECT_EQ(apply.out.count('\n'), 3) << apply.out.toStdString();
  auto objects = ReportObjects(report);
  ASSERT_EQ(objects.size(), 3u);
  std::map<QString, QJsonObject> byPort;
  for (const auto& o : objects) byPort[o.value("port").toString()] = o;
  EXPECT_EQ(byPort[good.Url()].value("outcome").toString(), "ok");
  EXPECT_EQ(byPort[silent.Url()].value("outcome").toString(), "failed");
  EXPECT_EQ(byPort[silent.Url()].value("reason").toString(),
            "PROGRAM MODE timeout! Please restart device power!");
  EXPECT_EQ(byPort[other.Url()].value("outcome").toString(), "failed");
  EXPECT_EQ(byPort[other.Url()].value("reason").toString(), "another model answered: KN-610K/PQ");
}

// One setwright-sim --count 3 serves three units with their own MAC addresses; one apply
// provisions them all.
TEST(CliBench, ApplyToABenchOfThreeUnitsOfOneSimulator) {
  Sim bench({"--model", "MR-320KBS"}, 3);
  ASSERT_FALSE(bench.Url(2).isEmpty());
  QTemporaryDir dir;
  const QString profile = dir.filePath("p.json");
  {
    QFile file(profile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"model": "MR-320KBS", "settings": {"B": "4800", "T1": "120"}})");
  }
  QProcess* apply = Start({"apply", "--profile", profile, "--port", bench.Url(0), "--port",
                           bench.Url(1), "--port", bench.Url(2), "--verify", "--wait", "30"});
  // Without --enter every port waits for its unit's power restart; all three at once.
  ASSERT_TRUE(WaitOnStandardError(apply, bench.Url(2) + " MR-320KBS: waiting for power restart"));
  bench.Command("cycle all 300");
  Result result = Finish(apply);
  ASSERT_EQ(result.status, 0) << result.err.toStdString();
  for (int i = 0; i < 3; ++i)
    EXPECT_TRUE(result.out.contains(
        QString(" %1 MR-320KBS 00:1A:7D:32:00:0%2 ok ").arg(bench.Url(i)).arg(i + 1)))
        << result.out.toStdString();
}

// A port that waiting cannot bring fails at once with its reason; exit status 5 when that is
// the only kind of failure, 1 when a unit failed as well.
TEST(CliBench, PortThatCannotOpenFailsAtOnce) {
  QTemporaryDir dir;
  const QString profile = dir.filePath("p.json");
  {
    QFile file(profile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"model": "MR-310SKB", "settings": {"B": "19200"}})");
  }
  const QString nowhere = "rfc2217://no-such-host.invalid:2217";
  Sim good({"--model", "MR-310SKB"});
  Result one = RunCli({"apply", "--profile", profile, "--port", nowhere, "--port", good.Url(),
                       "--enter", "--wait", "30"});
  EXPECT_EQ(one.status, 5) << one.err.toStdString() << one.out.toStdString();
  EXPECT_TRUE(one.out.contains(" " + nowhere + " MR-310SKB - failed ")) << one.out.toStdString();
  EXPECT_TRUE(one.out.contains(": " + nowhere + ": ")) << one.out.toStdString();

  Sim other({"--model", "TV-520KBS"});
  Result two = RunCli({"apply", "--profile", profile, "--port", nowhere, "--port", other.Url(),
                       "--enter", "--wait", "30"});
  EXPECT_EQ(two.status, 1) << two.err.toStdString() << two.out.toStdString();
}

TEST(CliBench, RefusedProfileTouchesNoPort) {
  Sim unit({"--model", "MR-310SKB"});
  QTemporaryDir dir;
  const QString profile = dir.filePath("p.json");
  const QString trace = dir.filePath("wire.trace");
  {
    QFile file(profile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"model": "MR-310SKB", "settings": {"B": "9600", "P": "X"}})");
  }
  Result apply = RunCli({"apply", "--profile", profile, "--port", unit.Url(), "--port",
                         "rfc2217://127.0.0.1:1", "--enter", "--trace", trace});
  EXPECT_EQ(apply.status, 2);
  EXPECT_TRUE(apply.err.contains("P=X refused; allowed values: N, E, O"))
      << apply.err.toStdString();
  EXPECT_TRUE(apply.out.isEmpty());
  EXPECT_FALSE(QFile::exists(trace));
}

// Three units switched on one after another on one port, then SIGTERM: the summary.
TEST(CliBench, StationCountsUnitsAndSummarisesOnSigterm) {
  Sim bench({"--model", "MR-310SKB", "--off"});
  QTemporaryDir dir;
  const QString profile = dir.filePath("p.json");
  const QString report = dir.filePath("units.jsonl");
  {
    QFile file(profile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"model": "MR-310SKB", "settings": {"B": "19200", "COM": "U"}})");
  }
  QProcess* station = Start(
      {"station", "--profile", profile, "--port", bench.Url(), "--verify", "--report", report});
  QString out;
  auto waitFor = [&](const QString& text) {
    while (!out.contains(text) && station->waitForReadyRead(20000))
      out += QString::fromLatin1(station->readAllStandardOutput());
    return out.contains(text);
  };
  // The port is watched once the station reports that it waits for a unit.
  EXPECT_TRUE(WaitOnStandardError(station, "waiting for power restart"));
  for (int n = 1; n <= 3; ++n) {
    // A fresh unit in place of the last one; the off time lets the station see the power go.
    if (n > 1) bench.Command("new");
    bench.Command(n > 1 ? "cycle 300" : "on");
    if (!waitFor(QString("#%1 ").arg(n))) {
      station->kill();
      Finish(station);
      FAIL() << "no result for unit " << n << ": " << out.toStdString();
    }
  }
  ::kill(static_cast<pid_t>(station->processId()), SIGTERM);
  Result result = Finish(station, out);
  EXPECT_EQ(result.status, 0) << result.err.toStdString();
  QStringList lines = result.out.split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 5) << result.out.toStdString();
  for (int n = 1; n <= 3; ++n)
    EXPECT_TRUE(lines[n - 1].startsWith(
        QString("#%1 %2 MR-310SKB 00:1A:7D:31:00:0%1 ok ").arg(n).arg(bench.Url())))
        << lines[n - 1].toStdString();
  EXPECT_EQ(lines[3], "summary: 3 ok, 0 failed");
  EXPECT_EQ(lines[4], "  " + bench.Url() + ": 3 ok, 0 failed");
  EXPECT_EQ(ReportObjects(report).size(), 3u);
}

TEST(CliBench, TraceOfAReadHoldsTheCommandThenTheDump) {
  Sim unit({"--model", "MR-320KBS"});
  QTemporaryDir dir;
  const QString trace = dir.filePath("wire.trace");
  QProcess* read = Start(
      {"read", "--model", "MR-320KBS", "--port", unit.Url(), "--wait", "20", "--trace", trace});
  // The port is open once the unit, already on, must be restarted.
  ASSERT_TRUE(WaitOnStandardError(read, "Waiting for device power restart!"));
  unit.Command("cycle 300");
  Result result = Finish(read);
  ASSERT_EQ(result.status, 0) << result.err.toStdString();
  QFile file(trace);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString text = QString::fromLatin1(file.readAll());
  const QString port = " " + unit.Url() + " ";
  const qsizetype command = text.indexOf(port + "> 0d 0a  |..|");
  const qsizetype banner = text.indexOf(port + "< 0d 0a 2a 20 2a 20 2a 20 50 52 4f 47 52 41 4d 20");
  const qsizetype success = text.indexOf(port + "report green Enter PROGRAM MODE success!");
  EXPECT_GE(command, 0) << text.toStdString();
  EXPECT_LT(command, banner);
  EXPECT_LT(banner, success);
  for (const QString& line : text.split('\n', Qt::SkipEmptyParts))
    EXPECT_TRUE(line.startsWith("+")) << line.toStdString();
}

}  // namespace
