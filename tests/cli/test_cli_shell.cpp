// The programs in a shell: --help and --version, option forms, error messages, exit status 5
// for a port that waiting cannot bring, JSON for scripts, signals, and the status line on a
// terminal.
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
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "support_cli.h"
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

QString Cli() {
  return BinaryDir() + "/cli/setwright-cli";
}

struct Result {
  int status = -1;
  QString out;
  QString err;
  milliseconds took{0};
};

Result Finish(QProcess& process, Clock::time_point started) {
  Result result;
  if (process.state() != QProcess::NotRunning && !process.waitForFinished(60000)) {
    process.kill();
    process.waitForFinished(2000);
    ADD_FAILURE() << "the program did not end";
  }
  result.took = std::chrono::duration_cast<milliseconds>(Clock::now() - started);
  result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  result.out = QString::fromUtf8(process.readAllStandardOutput());
  result.err = QString::fromUtf8(process.readAllStandardError());
  return result;
}

Result RunProgram(const QString& program, const QStringList& args) {
  QProcess process;
  const auto started = Clock::now();
  process.start(program, args);
  return Finish(process, started);
}

TEST(Shell, HelpAndVersionOnAllThreePrograms) {
  struct Case {
    QString program;
    const char* name;
  } cases[] = {
      {Cli(), "setwright-cli"},
      {BinaryDir() + "/sim/setwright-sim", "setwright-sim"},
      {BinaryDir() + "/setwright", "setwright"},
  };
  for (const Case& c : cases) {
    for (const char* help : {"--help", "-h"}) {
      // Without a display: the desktop program answers before it looks for one.
      QProcess process;
      QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
      env.remove("DISPLAY");
      env.remove("WAYLAND_DISPLAY");
      env.remove("QT_QPA_PLATFORM");
      process.setProcessEnvironment(env);
      const auto started = Clock::now();
      process.start(c.program, {help});
      Result r = Finish(process, started);
      EXPECT_EQ(r.status, 0) << c.name << " " << help << r.err.toStdString();
      EXPECT_TRUE(r.out.startsWith("Usage: ") || r.out.startsWith("usage: ") ||
                  r.out.startsWith("Usage:\n"))
          << c.name << ": " << r.out.toStdString();
      EXPECT_TRUE(r.err.isEmpty()) << c.name << ": " << r.err.toStdString();
    }
    Result v = RunProgram(c.program, {"--version"});
    EXPECT_EQ(v.status, 0) << c.name;
    EXPECT_EQ(v.out, QString(c.name) + " " + SETWRIGHT_VERSION + "\n");
  }
  Result help = RunProgram(Cli(), {"--help"});
  EXPECT_TRUE(help.out.contains("  5  cannot open the port")) << help.out.toStdString();
}

TEST(Shell, ErrorsNameTheBadArgumentAndPointToHelp) {
  const QString hint = "Try 'setwright-cli --help' for more information.\n";
  struct Case {
    QStringList args;
    QString message;
  } cases[] = {
      {{"frobnicate"}, "setwright-cli: unknown command 'frobnicate'\n"},
      {{"read", "--frob"}, "setwright-cli: unknown option '--frob'\n"},
      {{"read", "--model"}, "setwright-cli: missing value after '--model'\n"},
      {{"read", "--model=MR-310SKB"}, "setwright-cli: --port is required\n"},
      {{"read", "--port", "COM1"}, "setwright-cli: --model is required\n"},
      {{"read", "--model", "MR-310SKB", "--port", "COM1", "--wait=soon"},
       "setwright-cli: --wait soon: needs a number of seconds above 0\n"},
      {{}, "setwright-cli: no command given\n"},
  };
  for (const Case& c : cases) {
    Result r = RunProgram(Cli(), c.args);
    EXPECT_EQ(r.status, 2) << c.args.join(' ').toStdString();
    EXPECT_EQ(r.err, c.message + hint) << c.args.join(' ').toStdString();
    EXPECT_TRUE(r.out.isEmpty());
  }
}

TEST(Shell, OptionsTakeEitherFormAndComeBeforeOrAfterTheCommand) {
  SimulatedDevice device({"--model", "KN-610K/PQ"});
  const QString port = device.Url();
  const QStringList forms[] = {
      {"read", "--model=KN-610K/PQ", "--port=" + port, "--enter", "--wait=20"},
      {"--model", "KN-610K/PQ", "--port", port, "--enter", "read", "--wait", "20"},
  };
  for (const QStringList& args : forms) {
    Result r = RunProgram(Cli(), args);
    EXPECT_EQ(r.status, 0) << args.join(' ').toStdString() << "\n" << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("\nT1=")) << r.out.toStdString();
  }
}

TEST(Shell, PortsJsonListsEveryPortWithItsDetails) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  {
    QFile file(dir.filePath("SETWRIGHT.ini"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[NETWORK-PORTS]\r\nbench=rfc2217://127.0.0.1:7002\r\n");
  }
  QProcess process;
  process.setWorkingDirectory(dir.path());
  const auto started = Clock::now();
  process.start(Cli(), {"ports", "--json"});
  Result r = Finish(process, started);
  ASSERT_EQ(r.status, 0) << r.err.toStdString();
  QJsonParseError error;
  const QJsonDocument doc = QJsonDocument::fromJson(r.out.toUtf8(), &error);
  ASSERT_EQ(error.error, QJsonParseError::NoError) << r.out.toStdString();
  ASSERT_TRUE(doc.isArray());
  const QJsonArray ports = doc.array();
  ASSERT_FALSE(ports.isEmpty());
  for (const QJsonValue& value : ports) {
    const QJsonObject port = value.toObject();
    for (const char* key : {"port", "description", "hardware_id", "usb_vid", "usb_pid",
                            "serial_number", "by_id", "network"})
      EXPECT_TRUE(port.contains(key)) << key << " missing in " << r.out.toStdString();
  }
  const QJsonObject last = ports.last().toObject();
  EXPECT_EQ(last["port"].toString(), "rfc2217://127.0.0.1:7002");
  EXPECT_TRUE(last["network"].toBool());
}

TEST(Shell, AnotherModelIsAJsonObjectWithJson) {
  SimulatedDevice device({"--model", "MR-310SKB", "product=ZWE-710SKB"});
  Result r = RunProgram(Cli(), {"read", "--model", "MR-310SKB", "--port", device.Url(), "--enter",
                                "--wait", "20", "--json"});
  EXPECT_EQ(r.status, 4) << r.err.toStdString();
  const QJsonObject error = QJsonDocument::fromJson(r.out.toUtf8()).object();
  EXPECT_EQ(error["error"].toString(), "another model") << r.out.toStdString();
  EXPECT_EQ(error["model"].toString(), "ZWE-710SKB");
  EXPECT_EQ(error["expected"].toString(), "MR-310SKB");
}

// A port that waiting cannot bring ends the command at once, long before --wait.
TEST(Shell, PortsThatCannotBeOpenedEndWithStatusFiveAtOnce) {
  struct Case {
    const char* model;
    QString port;
    const char* reasonLine;
    const char* jsonReason;
  } cases[] = {
      {"TV-520KBS", "/dev/ttyNoSuchPort7",
       "  /dev/ttyNoSuchPort7: No such file or directory - check the cable and the port's name\n",
       "no such port"},
      {"MR-320KBS", "rfc2217://no-such-host.invalid:2217",
       "  rfc2217://no-such-host.invalid:2217: ", "name not resolved"},
  };
  for (const Case& c : cases) {
    Result r = RunProgram(Cli(), {"read", "--model", c.model, "--port", c.port, "--wait", "30"});
    EXPECT_EQ(r.status, 5) << c.model << r.err.toStdString();
    EXPECT_LT(r.took, milliseconds(15000)) << c.model;
    const QString report = QString("red: Open COM failed! Close using COM APP!\n") + c.reasonLine;
    EXPECT_EQ(r.err.count(report), 1) << r.err.toStdString();

    Result json =
        RunProgram(Cli(), {"read", "--model", c.model, "--port", c.port, "--wait", "30", "--json"});
    EXPECT_EQ(json.status, 5);
    const QJsonObject error = QJsonDocument::fromJson(json.out.toUtf8()).object();
    EXPECT_EQ(error["error"].toString(), "cannot open the port") << json.out.toStdString();
    EXPECT_EQ(error["reason"].toString(), c.jsonReason);
  }
  // A serial-to-keyboard device brings its own port up: its missing port is waited for.
  Result wait = RunProgram(
      Cli(), {"read", "--model", "MR-310SKB", "--port", "/dev/ttyNoSuchPort7", "--wait", "1"});
  EXPECT_EQ(wait.status, 3) << wait.err.toStdString();
}

#ifndef _WIN32
TEST(Shell, APortTheUserMayNotOpenEndsWithStatusFiveAndTheRemedy) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
    GTEST_SKIP() << "cannot create a pseudo-terminal here";
  const QString slave = QString::fromLocal8Bit(::ptsname(master));
  QProcess process;
  if (::geteuid() == 0) {
    // Root opens anything: the command runs as "nobody", to whom the terminal is closed.
    ::chmod(::ptsname(master), 0600);
    process.setChildProcessModifier([] {
      if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(99);
    });
  } else {
    ::chmod(::ptsname(master), 0);
  }
  const auto started = Clock::now();
  process.start(Cli(), {"read", "--model", "KN-610K/PQ", "--port", slave, "--wait", "30"});
  Result r = Finish(process, started);
  ::close(master);
  if (r.status == 99) GTEST_SKIP() << "cannot run the command as another user";
  EXPECT_EQ(r.status, 5) << r.err.toStdString();
  EXPECT_LT(r.took, milliseconds(15000));
  EXPECT_EQ(r.err.count("red: Open COM failed! Close using COM APP!\n  " + slave +
                        ": Permission denied - add your user to the 'dialout' group and log in "
                        "again\n"),
            1)
      << r.err.toStdString();
}

// Waits until the process's standard error contains the text; returns what came.
QString WaitForErr(QProcess& process, const QString& text, QString sofar = {}) {
  process.setReadChannel(QProcess::StandardError);
  while (!sofar.contains(text) && process.waitForReadyRead(20000))
    sofar += QString::fromUtf8(process.readAllStandardError());
  return sofar;
}

TEST(Shell, SigtermInProgramModeLeavesItWithEscAndExits143) {
  // Slow replies keep the write under way long enough to be interrupted.
  SimulatedDevice device({"--model", "MR-310SKB", "slow=1000"});
  QProcess cli;
  cli.start(Cli(), {"write", "--model", "MR-310SKB", "--port", device.Url(), "--enter", "--wait",
                    "30", "B=19200"});
  ASSERT_TRUE(cli.waitForStarted(5000));
  QString err = WaitForErr(cli, "green: Enter PROGRAM MODE success!");
  ASSERT_TRUE(err.contains("green: Enter PROGRAM MODE success!")) << err.toStdString();
  ASSERT_TRUE(device.Ask("status").contains("program mode yes"));
  const auto started = Clock::now();
  ::kill(static_cast<pid_t>(cli.processId()), SIGTERM);
  Result r = Finish(cli, started);
  EXPECT_EQ(r.status, 143) << (err + r.err).toStdString();
  EXPECT_LT(r.took, milliseconds(5000));
  // The ESC took the device out of program mode without storing the new speed.
  EXPECT_TRUE(device.Ask("status").contains("program mode no"));
  EXPECT_TRUE(device.Ask("show").contains("B=9600"));
}

TEST(Shell, SigintAndSighupWhileWaitingEndAtOnceWithTheirStatus) {
  SimulatedDevice device({"--model", "TV-520KBS"});
  struct Case {
    int signal;
    int status;
  } cases[] = {{SIGINT, 130}, {SIGHUP, 129}};
  for (const Case& c : cases) {
    QProcess cli;
    cli.start(Cli(), {"read", "--model", "TV-520KBS", "--port", device.Url(), "--wait", "60"});
    ASSERT_TRUE(cli.waitForStarted(5000));
    WaitForErr(cli, "Waiting for device power restart!");
    const auto started = Clock::now();
    ::kill(static_cast<pid_t>(cli.processId()), c.signal);
    Result r = Finish(cli, started);
    EXPECT_EQ(r.status, c.status);
    EXPECT_LT(r.took, milliseconds(5000));
  }
}

TEST(Shell, TheSimulatorEndsCleanlyOnSigterm) {
  QProcess sim;
  sim.start(BinaryDir() + "/sim/setwright-sim", {"--model", "MR-320KBS", "--port", "0"});
  ASSERT_TRUE(sim.waitForStarted(5000));
  ASSERT_TRUE(sim.waitForReadyRead(10000));
  const auto started = Clock::now();
  ::kill(static_cast<pid_t>(sim.processId()), SIGTERM);
  Result r = Finish(sim, started);
  EXPECT_EQ(r.status, 143);
  EXPECT_LT(r.took, milliseconds(5000));
}

// On a terminal the wait shows one status line with the time left; on a pipe it does not.
TEST(Shell, WaitingShowsAStatusLineOnATerminalOnly) {
  SimulatedDevice device({"--model", "TV-520KBS", "--off"});
  const QStringList args{"read", "--model", "TV-520KBS", "--port", device.Url(), "--wait", "2"};
  Result piped = RunProgram(Cli(), args);
  EXPECT_EQ(piped.status, 3);
  EXPECT_FALSE(piped.err.contains("s left")) << piped.err.toStdString();
  EXPECT_FALSE(piped.err.contains("\033")) << piped.err.toStdString();

  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
    GTEST_SKIP() << "cannot create a pseudo-terminal here";
  const std::string slave = ::ptsname(master);
  QProcess cli;
  cli.setChildProcessModifier([slave] {
    const int fd = ::open(slave.c_str(), O_RDWR | O_NOCTTY);
    if (fd >= 0) ::dup2(fd, 2);
  });
  const auto started = Clock::now();
  cli.start(Cli(), args);
  std::string terminal;
  while (cli.state() != QProcess::NotRunning || terminal.empty()) {
    pollfd p{master, POLLIN, 0};
    if (::poll(&p, 1, 100) > 0) {
      char buf[4096];
      const ssize_t n = ::read(master, buf, sizeof buf);
      if (n > 0) terminal.append(buf, static_cast<size_t>(n));
    }
    cli.waitForFinished(0);
    if (Clock::now() - started > std::chrono::seconds(30)) break;
  }
  Result r = Finish(cli, started);
  ::close(master);
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(terminal.find("\r\033[Kwaiting for the device's power restart \u2026 2 s left"),
            std::string::npos)
      << terminal;
  EXPECT_NE(terminal.find("power restart \u2026 1 s left"), std::string::npos) << terminal;
  // The reports stay on lines of their own: the status line is erased before each.
  EXPECT_NE(terminal.find("\r\033[Kno TV-520KBS answered"), std::string::npos) << terminal;
}
#endif

}  // namespace
