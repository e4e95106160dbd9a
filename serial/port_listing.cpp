// The plain system listing over Qt Serial Port and the listing kept in memory.
#include "serial/port_listing.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <chrono>

namespace setwright {

namespace {

std::string HardwareId(const QSerialPortInfo& port) {
  if (!port.hasVendorIdentifier() || !port.hasProductIdentifier()) return {};
  QString id = QStringLiteral("USB VID:PID=%1:%2")
                   .arg(port.vendorIdentifier(), 4, 16, QLatin1Char('0'))
                   .arg(port.productIdentifier(), 4, 16, QLatin1Char('0'))
                   .toUpper();
  if (!port.serialNumber().isEmpty()) id += QStringLiteral(" SER=") + port.serialNumber();
  return id.toStdString();
}

QString Hex4(quint16 value) {
  return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0'));
}

// Links of /dev/serial/by-id/, by the device they point to.
std::vector<std::pair<QString, QString>> StableNames() {
  std::vector<std::pair<QString, QString>> names;
#ifdef Q_OS_LINUX
  const QDir dir(QStringLiteral("/dev/serial/by-id"));
  for (const QFileInfo& link : dir.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot))
    names.emplace_back(link.canonicalFilePath(), link.absoluteFilePath());
#endif
  return names;
}

}  // namespace

std::vector<SerialPortInfo> SystemPortLister::List() {
  std::vector<SerialPortInfo> listing;
  const auto stableNames = StableNames();
  for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts()) {
#ifdef Q_OS_WIN
    const QString name = port.portName();  // "COM3"; the system location is "\\.\COM3"
#else
    // Device paths open the port on every system; the short name does not. The system
    // lists a device a moment longer than its node exists while it is being removed.
    const QString name = port.systemLocation();
    if (!QFileInfo::exists(name)) continue;
#endif
    SerialPortInfo info{name.toLocal8Bit().toStdString(),
                        port.description().toLocal8Bit().toStdString(), HardwareId(port)};
    if (port.hasVendorIdentifier()) info.vendorId = Hex4(port.vendorIdentifier()).toStdString();
    if (port.hasProductIdentifier()) info.productId = Hex4(port.productIdentifier()).toStdString();
    info.serialNumber = port.serialNumber().toLocal8Bit().toStdString();
    const QString device = QFileInfo(port.systemLocation()).canonicalFilePath();
    for (const auto& [target, link] : stableNames) {
      if (!device.isEmpty() && target == device) info.stableName = link.toLocal8Bit().toStdString();
    }
    listing.push_back(std::move(info));
  }
  return listing;
}

TimedRefreshNotifier::TimedRefreshNotifier(int64_t periodMs, Clock now)
    : periodMs_(periodMs), now_(std::move(now)) {}

bool TimedRefreshNotifier::TakeChanged() {
  const int64_t now = now_();
  if (started_ && now - last_ < periodMs_) return false;
  started_ = true;
  last_ = now;
  return true;
}

int64_t TimedRefreshNotifier::SteadyMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

CachedPortLister::CachedPortLister(IPortLister& source,
                                   std::unique_ptr<IPortChangeNotifier> notifier)
    : source_(source), notifier_(std::move(notifier)) {}

std::vector<SerialPortInfo> CachedPortLister::List() {
  std::lock_guard lock(mutex_);
  // The notifier is asked on every call, also the first, so that changes already known
  // when the listing is first taken are not reported again later.
  const bool changed = notifier_->TakeChanged();
  if (!valid_ || changed) {
    listing_ = source_.List();
    valid_ = true;
  }
  return listing_;
}

}  // namespace setwright
