// Network serial ports: "rfc2217://HOST:PORT", a Telnet connection with the COM Port
// Control Option. The protocol itself is in rfc2217_protocol.*; this file moves its bytes.
#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <atomic>
#include <cctype>

#include "serial/serial_transport.h"

namespace setwright::serial_detail {
namespace {

// A server that stops reading while we keep writing is treated as gone rather than
// buffered for without end.
constexpr qint64 kMaxPendingWrite = 64 * 1024;
// Bytes read per step while the store's room does not limit it (before the port is ready).
constexpr qint64 kReadChunk = 4096;

class NetworkTransport : public Transport {
 public:
  NetworkTransport(const std::string& url, const rfc2217::PortSettings& settings, size_t storeSize,
                   int connectTimeoutMs, ReceiveSink& sink)
      : url_(url), client_(settings), connectTimeoutMs_(connectTimeoutMs), sink_(sink) {
    socket_.setReadBufferSize(static_cast<qint64>(storeSize));
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, &socket_, [this] {
      // A server that agreed to the option but never reports its modem lines is used
      // all the same, with the lines unknown.
      if (agreed_) {
        BecomeReady();
      } else if (socket_.state() == QAbstractSocket::ConnectedState) {
        Fail({OpenFailure::TimedOut, "the server does not answer"});
      } else {
        Fail({OpenFailure::TimedOut, "Connection timed out"});
      }
    });
    QObject::connect(&socket_, &QTcpSocket::connected, &socket_, [this] {
      socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
      Send(client_.Start());
    });
    QObject::connect(&socket_, &QTcpSocket::readyRead, &socket_, [this] { Pull(); });
    QObject::connect(&socket_, &QTcpSocket::disconnected, &socket_, [this] {
      Fail({OpenFailure::Other, "the server closed the connection"});
    });
    QObject::connect(&socket_, &QTcpSocket::errorOccurred, &socket_,
                     [this](QAbstractSocket::SocketError error) { Fail(SocketFailure(error)); });
  }

  ~NetworkTransport() override { Close(); }

  bool OpensAsynchronously() const override { return true; }

  bool Open() override {
    const QUrl url(QString::fromLocal8Bit(url_.c_str()), QUrl::StrictMode);
    const int port = url.port(-1);
    if (!url.isValid() || url.scheme().compare(QStringLiteral("rfc2217"), Qt::CaseInsensitive) ||
        url.host().isEmpty() || port <= 0 || port > 65535) {
      failure_ = {OpenFailure::Other, "not a network port address (rfc2217://HOST:PORT)"};
      return false;
    }
    timer_.start(connectTimeoutMs_);
    socket_.connectToHost(url.host(), static_cast<quint16>(port));
    return true;
  }

  OpenError OpenFailureReason() const override { return failure_; }

  int Write(const char* data, int size) override {
    if (!ready_ || finished_) return -1;
    const std::string escaped = rfc2217::EscapeData(data, static_cast<size_t>(size));
    if (!Send(escaped)) return -1;
    return size;
  }

  void SetRts(bool on) override {
    if (ready_) Send(client_.SetRts(on));
  }

  void SetBaudRate(int baudRate) override {
    if (ready_) Send(client_.SetBaudRate(baudRate));
  }

  std::optional<uint32_t> ModemLines() override {
    if (!ready_ || finished_) return std::nullopt;
    return client_.ModemLines();
  }

  std::optional<uint32_t> ModemLinesFromAnyThread() override {
    const int64_t lines = sharedLines_.load(std::memory_order_acquire);
    if (lines < 0) return std::nullopt;
    return static_cast<uint32_t>(lines);
  }

  void Pull() override {
    while (!finished_ && socket_.bytesAvailable() > 0) {
      // Data before the port is ready (a banner) is dropped, as is anything pending at open.
      const qint64 room = ready_ ? static_cast<qint64>(sink_.FreeSpace()) : kReadChunk;
      if (room == 0) return;
      const QByteArray raw = socket_.read(room);
      if (raw.isEmpty()) return;
      std::string data;
      client_.Feed(raw.constData(), static_cast<size_t>(raw.size()), data);
      if (!Send(client_.TakeOutput())) return;
      ShareModemLines();
      if (ready_) {
        if (!data.empty()) sink_.Receive(data.data(), data.size());
      } else if (client_.Ready()) {
        // The port is reported open once its modem lines are known (the configuration
        // asks for them), so that the first reading is the device's real state and not an
        // unknown one that a late report would turn into a change.
        agreed_ = true;
        if (client_.ModemLines()) BecomeReady();
      } else if (client_.Refused()) {
        Fail({OpenFailure::Other, "the server does not offer the COM port option"});
        return;
      }
    }
  }

  void Close() override {
    finished_ = true;
    ShareModemLines();
    timer_.stop();
    QObject::disconnect(&socket_, nullptr, &socket_, nullptr);
    socket_.abort();
  }

 private:
  bool Send(const std::string& bytes) {
    if (bytes.empty()) return true;
    if (finished_ || socket_.state() != QAbstractSocket::ConnectedState) return false;
    if (socket_.bytesToWrite() + static_cast<qint64>(bytes.size()) > kMaxPendingWrite) {
      Fail({OpenFailure::Other, "the server stopped reading"});
      return false;
    }
    socket_.write(bytes.data(), static_cast<qint64>(bytes.size()));
    socket_.flush();
    return true;
  }

  // The last modem state the server reported, for readers on other threads; unknown until
  // the port is ready and once it has ended.
  void ShareModemLines() {
    const std::optional<uint32_t> lines = client_.ModemLines();
    sharedLines_.store(ready_ && !finished_ && lines ? int64_t{*lines} : -1,
                       std::memory_order_release);
  }

  void BecomeReady() {
    if (ready_ || finished_) return;
    ready_ = true;
    ShareModemLines();
    timer_.stop();
    sink_.OpenFinished(true, {});
  }

  OpenError SocketFailure(QAbstractSocket::SocketError error) const {
    OpenFailure reason = OpenFailure::Other;
    switch (error) {
      case QAbstractSocket::ConnectionRefusedError:
        reason = OpenFailure::Refused;
        break;
      case QAbstractSocket::HostNotFoundError:
        reason = OpenFailure::NameNotResolved;
        break;
      case QAbstractSocket::NetworkError:
        reason = OpenFailure::Unreachable;
        break;
      case QAbstractSocket::SocketTimeoutError:
        reason = OpenFailure::TimedOut;
        break;
      default:
        break;
    }
    return {reason, socket_.errorString().toLocal8Bit().toStdString()};
  }

  // Ends the connection once, as a failed opening or as a lost connection.
  void Fail(const OpenError& why) {
    if (finished_) return;
    finished_ = true;
    ShareModemLines();
    timer_.stop();
    if (ready_) {
      sink_.ConnectionLost();
    } else {
      failure_ = why;
      sink_.OpenFinished(false, why);
    }
  }

  std::string url_;
  rfc2217::Rfc2217Client client_;
  int connectTimeoutMs_;
  ReceiveSink& sink_;
  QTcpSocket socket_;
  QTimer timer_;
  bool agreed_ = false;  // the server agreed to COM-PORT-OPTION
  bool ready_ = false;   // ... and its modem lines are known, or it never told them
  bool finished_ = false;
  std::atomic<int64_t> sharedLines_{-1};
  OpenError failure_;
};

}  // namespace

bool IsNetworkPortName(const std::string& name) {
  static const std::string kScheme = "rfc2217://";
  if (name.size() < kScheme.size()) return false;
  for (size_t i = 0; i < kScheme.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(name[i])) != kScheme[i]) return false;
  }
  return true;
}

std::unique_ptr<Transport> MakeNetworkTransport(const std::string& url,
                                                const rfc2217::PortSettings& settings,
                                                size_t storeSize, int connectTimeoutMs,
                                                ReceiveSink& sink) {
  return std::make_unique<NetworkTransport>(url, settings, storeSize, connectTimeoutMs, sink);
}

}  // namespace setwright::serial_detail
