// Scale of the production bench: setwright-cli apply --enter --verify of one profile on 1 and
// on N (32) simulated units served by one setwright-sim --count N, then N sessions of a
// station idly waiting for a power restart. Prints the wall time of each apply and their
// ratio, the peak resident memory of the N-port process, and its share of one core while idle.
//
//   provision_bench [--units N] [--idle SECONDS] [--bin BUILD_DIR]
//
// BUILD_DIR holds cli/setwright-cli and sim/setwright-sim (default: the directory above the
// one this program runs from).
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <cstring>
#include <string>

#ifdef Q_OS_UNIX
#include <signal.h>
#include <sys/resource.h>
#endif

namespace {

struct Figures {
  double maxRssMb = -1;    // of the largest child waited for so far
  double cpuSeconds = -1;  // user and system time of the children waited for so far
};

Figures Children() {
  Figures f;
#ifdef Q_OS_UNIX
  rusage usage{};
  if (getrusage(RUSAGE_CHILDREN, &usage) == 0) {
    f.maxRssMb = usage.ru_maxrss / 1024.0;  // kilobytes on Linux
    f.cpuSeconds = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
                   usage.ru_stime.tv_usec / 1e6;
  }
#endif
  return f;
}

QStringList PortArgs(const QStringList& urls, int count) {
  QStringList args;
  for (int i = 0; i < count; ++i) args << "--port" << urls[i];
  return args;
}

// Runs setwright-cli to its end; returns the wall time in seconds, or -1 on failure.
double RunCli(const QString& cli, const QStringList& args) {
  QProcess process;
  process.setProgram(cli);
  process.setArguments(args);
  process.setStandardErrorFile(QProcess::nullDevice());
  QElapsedTimer timer;
  timer.start();
  process.start();
  if (!process.waitForFinished(300000) || process.exitCode() != 0) {
    std::fprintf(stderr, "provision_bench: setwright-cli %s failed (exit %d)\n%s",
                 args.join(' ').toLocal8Bit().constData(), process.exitCode(),
                 process.readAllStandardOutput().constData());
    return -1;
  }
  return timer.nsecsElapsed() / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  int units = 32;
  int idleSeconds = 30;
  QString bin = QDir(QCoreApplication::applicationDirPath() + "/..").absolutePath();
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--units")) units = std::atoi(argv[i + 1]);
    if (!std::strcmp(argv[i], "--idle")) idleSeconds = std::atoi(argv[i + 1]);
    if (!std::strcmp(argv[i], "--bin")) bin = QString::fromLocal8Bit(argv[i + 1]);
  }
  if (units < 1) units = 1;
  const QString cli = bin + "/cli/setwright-cli";
  const QString simProgram = bin + "/sim/setwright-sim";

  QProcess sim;
  sim.setProgram(simProgram);
  sim.setArguments({"--model", "MR-310SKB", "--port", "0", "--count", QString::number(units)});
  sim.start();
  QStringList urls;
  while (urls.size() < units && sim.waitForReadyRead(10000))
    while (sim.canReadLine()) urls << QString::fromLatin1(sim.readLine()).trimmed();
  if (urls.size() < units) {
    std::fprintf(stderr, "provision_bench: %s did not serve %d units\n",
                 simProgram.toLocal8Bit().constData(), units);
    return 1;
  }

  QTemporaryDir dir;
  const QString profile = dir.filePath("profile.json");
  {
    QFile file(profile);
    file.open(QIODevice::WriteOnly);
    file.write(R"({"model": "MR-310SKB", "settings": {"B": "19200", "P": "E", "CMD": "#"}})");
  }
  // Units of the two runs start from the same settings: the single run takes the last unit,
  // which the bench run sets again to the same values (it writes only END there).
  const QStringList apply = {"apply", "--profile", profile, "--enter", "--verify", "--wait", "60"};
  std::printf("apply --enter --verify of one profile, MR-310SKB units of setwright-sim\n");
  const double one = RunCli(cli, apply + PortArgs(urls.mid(units - 1), 1));
  if (one < 0) return 1;
  sim.write("set all B=9600\nset all P=N\nset all CMD=@\n");
  sim.waitForBytesWritten(2000);
  QThread::msleep(200);
  const double many = RunCli(cli, apply + PortArgs(urls, units));
  if (many < 0) return 1;
  const Figures afterBench = Children();
  std::printf("  1 unit:    %.2f s\n", one);
  std::printf("  %d units:  %.2f s\n", units, many);
  std::printf("  ratio:     %.3f (goal <= 1.15)\n", many / one);
  if (afterBench.maxRssMb >= 0)
    std::printf("  peak RSS of the %d-port process: %.1f MB (goal <= 64 MB)\n", units,
                afterBench.maxRssMb);

#ifdef Q_OS_UNIX
  // A station on every port, with every unit left switched on: nothing to do but watch. Its
  // processor time is taken for a short run and for one `idleSeconds` longer, so that the
  // difference leaves out opening the ports and ending.
  auto stationCpu = [&](int seconds) {
    QProcess station;
    station.setProgram(cli);
    station.setArguments(QStringList{"station", "--profile", profile} + PortArgs(urls, units));
    station.setStandardOutputFile(QProcess::nullDevice());
    station.setStandardErrorFile(QProcess::nullDevice());
    const Figures before = Children();
    station.start();
    station.waitForStarted();
    QThread::sleep(static_cast<unsigned long>(seconds));
    ::kill(static_cast<pid_t>(station.processId()), SIGTERM);
    station.waitForFinished(30000);
    return Children().cpuSeconds - before.cpuSeconds;
  };
  const double shortRun = stationCpu(3);
  const double longRun = stationCpu(3 + idleSeconds);
  const double share = (longRun - shortRun) / idleSeconds * 100.0;
  std::printf("idle: %d sessions waiting for a power restart for %d s\n", units, idleSeconds);
  std::printf("  CPU: %.2f %% of one core (goal <= 3 %%), %.3f %% a session\n", share,
              share / units);
#endif
  sim.write("quit\n");
  sim.waitForFinished(5000);
  return 0;
}
