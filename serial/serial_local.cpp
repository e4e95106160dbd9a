// Local ports through Qt Serial Port.
#include <QByteArray>
#include <QElapsedTimer>
#include <QSerialPort>
#include <mutex>
#include <optional>
#include <type_traits>

#include "serial/serial_transport.h"

namespace setwright::serial_detail {
namespace {

// The system handle as the platform steps take it: a descriptor, or a HANDLE on Windows.
template <typename Handle>
intptr_t HandleValue(Handle handle) {
  if constexpr (std::is_pointer_v<Handle>) {
    return reinterpret_cast<intptr_t>(handle);
  } else {
    return static_cast<intptr_t>(handle);
  }
}

// Time writeData may take before it gives up on bytes the driver does not take.
constexpr int kWriteTimeoutMs = 2000;

class LocalTransport : public Transport {
 public:
  LocalTransport(const std::string& name, const rfc2217::PortSettings& settings, size_t storeSize,
                 ReceiveSink& sink)
      : name_(name), settings_(settings), sink_(sink) {
    port_.setPortName(QString::fromLocal8Bit(name.c_str()));
    // Bounded: beyond this Qt stops reading and the driver holds the rest.
    port_.setReadBufferSize(static_cast<qint64>(storeSize));
    QObject::connect(&port_, &QSerialPort::readyRead, &port_, [this] { Pull(); });
    QObject::connect(
        &port_, &QSerialPort::errorOccurred, &port_, [this](QSerialPort::SerialPortError error) {
          // A USB adapter pulled out or a hung-up line: reading fails for good,
          // and Qt would report it again on every turn of the event loop.
          if ((error == QSerialPort::ReadError || error == QSerialPort::ResourceError) && opened_ &&
              !lost_) {
            lost_ = true;
            sink_.ConnectionLost();
          }
        });
  }

  ~LocalTransport() override { Close(); }

  bool Open() override {
    if (!ApplySettings()) {
      failure_ = {OpenFailure::Other, "line settings refused"};
      return false;
    }
    if (!port_.open(QIODevice::ReadWrite)) {
      failure_ = PlatformOpenFailure(name_, QtGuess());
      return false;
    }
    if (!PreparePlatformPort(HandleValue(port_.handle()), settings_.flowControl == 2)) {
      port_.close();
      failure_ = PortLockedError();
      return false;
    }
    // The device's power is told by CTS after the program raises RTS; until then RTS is low.
    // DTR stays as the system set it.
    if (settings_.flowControl != 1) port_.setRequestToSend(false);
    port_.clear(QSerialPort::AllDirections);
    port_.clearError();
    opened_ = true;
    {
      std::lock_guard lock(handleMutex_);
      handle_ = HandleValue(port_.handle());
    }
    return true;
  }

  OpenError OpenFailureReason() const override { return failure_; }

  int Write(const char* data, int size) override {
    if (!port_.isOpen()) return -1;
    const qint64 queued = port_.write(data, size);
    if (queued < 0) return -1;
    QElapsedTimer timer;
    timer.start();
    while (port_.bytesToWrite() > 0 && timer.elapsed() < kWriteTimeoutMs) {
      if (!port_.waitForBytesWritten(static_cast<int>(kWriteTimeoutMs - timer.elapsed()))) break;
    }
    return static_cast<int>(queued - port_.bytesToWrite());
  }

  void SetRts(bool on) override {
    if (port_.isOpen()) port_.setRequestToSend(on);
  }

  void SetBaudRate(int baudRate) override {
    if (port_.isOpen()) port_.setBaudRate(baudRate);
  }

  std::optional<uint32_t> ModemLines() override {
    if (!port_.isOpen()) return std::nullopt;
    return PlatformModemLines(HandleValue(port_.handle()));
  }

  std::optional<uint32_t> ModemLinesFromAnyThread() override {
    // The descriptor is given up under the same lock before the port closes it, so it is
    // never one that the system has handed out again.
    std::lock_guard lock(handleMutex_);
    if (!handle_) return std::nullopt;
    return PlatformModemLines(*handle_);
  }

  void Pull() override {
    while (port_.isOpen() && port_.bytesAvailable() > 0) {
      const size_t room = sink_.FreeSpace();
      if (room == 0) return;
      QByteArray bytes = port_.read(static_cast<qint64>(room));
      if (bytes.isEmpty()) return;
      sink_.Receive(bytes.constData(), static_cast<size_t>(bytes.size()));
    }
  }

  void Close() override {
    opened_ = false;
    {
      std::lock_guard lock(handleMutex_);
      handle_.reset();
    }
    if (!port_.isOpen()) return;
    QObject::disconnect(&port_, nullptr, &port_, nullptr);
    // Input is dropped. What was written is left to drain: writeData returned only after
    // the driver took it, and without flow control it leaves within the byte times. With
    // flow control a stopped line could hold up the close, so then output goes too.
    port_.clear(settings_.flowControl == 0 ? QSerialPort::Input : QSerialPort::AllDirections);
    port_.close();
  }

 private:
  OpenError QtGuess() const {
    const std::string text = port_.errorString().toLocal8Bit().toStdString();
    switch (port_.error()) {
      case QSerialPort::DeviceNotFoundError:
        return {OpenFailure::NoSuchPort, text};
      case QSerialPort::PermissionError:
        return {OpenFailure::PermissionDenied, text};
      case QSerialPort::OpenError:
        return {OpenFailure::Busy, text};
      default:
        return {OpenFailure::Other, text};
    }
  }

  bool ApplySettings() {
    QSerialPort::Parity parity;
    switch (settings_.parity) {
      case 0:
        parity = QSerialPort::NoParity;
        break;
      case 1:
        parity = QSerialPort::OddParity;
        break;
      case 2:
        parity = QSerialPort::EvenParity;
        break;
      case 3:
        parity = QSerialPort::MarkParity;
        break;
      case 4:
        parity = QSerialPort::SpaceParity;
        break;
      default:
        return false;
    }
    QSerialPort::StopBits stop;
    switch (settings_.stopBits) {
      case 0:
        stop = QSerialPort::OneStop;
        break;
      case 1:
        stop = QSerialPort::OneAndHalfStop;
        break;
      case 2:
        stop = QSerialPort::TwoStop;
        break;
      default:
        return false;
    }
    QSerialPort::FlowControl flow;
    switch (settings_.flowControl) {
      case 0:
        flow = QSerialPort::NoFlowControl;
        break;
      case 1:
        flow = QSerialPort::HardwareControl;
        break;
      case 2:
        flow = QSerialPort::SoftwareControl;
        break;
      default:
        return false;
    }
    if (settings_.dataBits < 5 || settings_.dataBits > 8 || settings_.baudRate <= 0) return false;
    return port_.setBaudRate(settings_.baudRate) &&
           port_.setDataBits(static_cast<QSerialPort::DataBits>(settings_.dataBits)) &&
           port_.setParity(parity) && port_.setStopBits(stop) && port_.setFlowControl(flow);
  }

  std::string name_;
  rfc2217::PortSettings settings_;
  ReceiveSink& sink_;
  QSerialPort port_;
  OpenError failure_;
  std::mutex handleMutex_;
  std::optional<intptr_t> handle_;  // the open port's descriptor, for other threads
  bool opened_ = false;
  bool lost_ = false;
};

}  // namespace

std::unique_ptr<Transport> MakeLocalTransport(const std::string& name,
                                              const rfc2217::PortSettings& settings,
                                              size_t storeSize, ReceiveSink& sink) {
  return std::make_unique<LocalTransport>(name, settings, storeSize, sink);
}

}  // namespace setwright::serial_detail
