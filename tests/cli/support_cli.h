// What the tests of the programs share: where the build put them, and a setwright-sim
// process serving one device (or --count N devices) on loopback ports.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// The build folder the test programs are run from.
QString BinaryDir();

class SimulatedDevice {
 public:
  explicit SimulatedDevice(const QStringList& args, int count = 1);
  ~SimulatedDevice();
  QString Url(int i = 0) const { return urls_.value(i); }
  void Command(const QString& line);
  // What the console answers to a command.
  QString Ask(const QString& line);
  // The device's stored settings, as its console prints them.
  QString Show() { return Ask("show"); }
  QProcess& process() { return process_; }

 private:
  QProcess process_;
  QStringList urls_;
};
