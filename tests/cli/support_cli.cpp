#include "support_cli.h"

#include <gtest/gtest.h>

#include <cstdlib>

QString BinaryDir() {
  return QString::fromLocal8Bit(std::getenv("SETWRIGHT_BINARY_DIR"));
}

SimulatedDevice::SimulatedDevice(const QStringList& args, int count) {
  process_.setProgram(BinaryDir() + "/sim/setwright-sim");
  process_.setArguments(
      QStringList{"--port", "0"} + args +
      (count > 1 ? QStringList{"--count", QString::number(count)} : QStringList{}));
  process_.start();
  EXPECT_TRUE(process_.waitForStarted(10000));
  // The first lines on its output are the devices' URLs.
  while (urls_.size() < count) {
    while (!process_.canReadLine() && process_.waitForReadyRead(10000)) {
    }
    if (!process_.canReadLine()) break;
    urls_ << QString::fromLatin1(process_.readLine()).trimmed();
  }
}

SimulatedDevice::~SimulatedDevice() {
  Command("quit");
  if (!process_.waitForFinished(5000)) process_.kill();
  process_.waitForFinished(2000);
}

void SimulatedDevice::Command(const QString& line) {
  process_.write((line + "\n").toLatin1());
  process_.waitForBytesWritten(2000);
}

QString SimulatedDevice::Ask(const QString& line) {
  process_.readAll();
  Command(line);
  QString text;
  while (process_.waitForReadyRead(2000)) {
    text += QString::fromLatin1(process_.readAll());
    if (text.contains("\n") && !process_.waitForReadyRead(200)) break;
  }
  return text;
}
