// One simulated device behind a Telnet COM Port Control Option server. One client at a
// time, like a serial device server port: a second connection is closed at once.
#include "sim/rfc2217_server.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <mutex>

#include "serial/rfc2217_protocol.h"

namespace setwright::sim {

using namespace setwright::rfc2217;

namespace {
// A client that stops reading is dropped rather than buffered for without end.
constexpr qint64 kMaxPendingWrite = 1024 * 1024;
constexpr size_t kMaxOutbox = 1024 * 1024;
constexpr qint64 kReadChunk = 4096;
}  // namespace

struct Rfc2217Server::Impl : IDeviceLink, TelnetParser::Handler {
  Impl(DeviceModel& d, std::string address, uint16_t port)
      : device(d), bindAddress(std::move(address)), requestedPort(port) {}

  DeviceModel& device;
  std::string bindAddress;
  uint16_t requestedPort;
  std::atomic<uint16_t> boundPort{0};
  bool running = false;  // touched by the owner's thread only

  QThread thread;
  QObject* context = nullptr;  // lives on the server thread; owns the server's Qt objects

  // Shared with the model, which may call from any thread.
  std::mutex linkMutex;
  std::string outbox;
  uint32_t modemLines = 0;
  QObject* flushTarget = nullptr;  // null once stopping: no more flushes are queued
  bool flushQueued = false;
  bool clientPresent = false;

  // Server thread only.
  QTcpServer* server = nullptr;
  QTcpSocket* client = nullptr;
  QTimer* advanceTimer = nullptr;
  TelnetParser parser;
  TelnetOptions options;
  bool clientUsesComPort = false;
  uint8_t modemMask = 0xFF;
  int notifiedLines = -1;
  bool rts = false;
  bool suspended = false;
  LineSettings line;
  std::string hostBytes;
  std::chrono::steady_clock::time_point startedAt;

  uint32_t Now() const {
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - startedAt)
                                     .count());
  }

  // IDeviceLink: any thread.
  void Send(const std::string& bytes) override {
    {
      std::lock_guard lock(linkMutex);
      // Nobody listening: the bytes go out on a line with nothing attached.
      if (!clientPresent || outbox.size() + bytes.size() > kMaxOutbox) return;
      outbox += bytes;
    }
    QueueFlush();
  }

  void SetModemLines(uint32_t lines) override {
    {
      std::lock_guard lock(linkMutex);
      modemLines = lines & kModemLineBits;
    }
    QueueFlush();
  }

  void QueueFlush() {
    {
      std::lock_guard lock(linkMutex);
      if (flushQueued || !flushTarget) return;
      flushQueued = true;
      QMetaObject::invokeMethod(
          flushTarget, [this] { Flush(); }, Qt::QueuedConnection);
    }
  }

  // Server thread from here on.
  void Flush() {
    std::string bytes;
    uint32_t lines;
    {
      std::lock_guard lock(linkMutex);
      flushQueued = false;
      if (!suspended) bytes.swap(outbox);
      lines = modemLines;
    }
    if (client && !bytes.empty()) Write(EscapeData(bytes.data(), bytes.size()));
    NotifyModemState(lines, false);
    Reschedule();
  }

  void NotifyModemState(uint32_t lines, bool force) {
    if (!client || !clientUsesComPort) return;
    uint8_t state = static_cast<uint8_t>(lines & kModemLineBits);
    const uint8_t changes = notifiedLines < 0 ? state : (state ^ notifiedLines);
    if (!force && changes == 0) return;
    state |= static_cast<uint8_t>(changes >> 4);  // the change flags sit below the lines
    notifiedLines = lines & kModemLineBits;
    if (!force && (state & modemMask) == 0) return;
    Write(
        ComPortCommand(kServerOffset + NOTIFY_MODEMSTATE, static_cast<uint8_t>(state & modemMask)));
  }

  void Reschedule() {
    const uint32_t now = Now();
    device.Advance(now);
    const int wait = device.MsUntilNextEvent(now);
    if (wait >= 0) {
      advanceTimer->start(wait);
    } else {
      advanceTimer->stop();
    }
  }

  void Write(const std::string& bytes) {
    if (!client || bytes.empty()) return;
    if (client->bytesToWrite() + static_cast<qint64>(bytes.size()) > kMaxPendingWrite) {
      client->abort();
      return;
    }
    client->write(bytes.data(), static_cast<qint64>(bytes.size()));
  }

  bool Listen() {
    startedAt = std::chrono::steady_clock::now();
    server = new QTcpServer(context);
    advanceTimer = new QTimer(context);
    advanceTimer->setSingleShot(true);
    QObject::connect(advanceTimer, &QTimer::timeout, context, [this] { Reschedule(); });
    QObject::connect(server, &QTcpServer::newConnection, context, [this] { Accept(); });
    if (!server->listen(QHostAddress(QString::fromStdString(bindAddress)), requestedPort)) {
      return false;
    }
    boundPort = server->serverPort();
    device.Attach(this);
    Reschedule();
    return true;
  }

  void Accept() {
    while (QTcpSocket* socket = server->nextPendingConnection()) {
      if (client) {
        socket->abort();
        socket->deleteLater();
        continue;
      }
      client = socket;
      {
        std::lock_guard lock(linkMutex);
        clientPresent = true;
        outbox.clear();
        suspended = false;
      }
      parser.Reset();
      options = TelnetOptions();
      options.Support(kOptionBinary, true, true);
      options.Support(kOptionSuppressGoAhead, true, true);
      options.Support(kOptionComPort, true, true);
      clientUsesComPort = false;
      modemMask = 0xFF;
      notifiedLines = -1;
      client->setSocketOption(QAbstractSocket::LowDelayOption, 1);
      QObject::connect(client, &QTcpSocket::readyRead, context, [this] { Read(); });
      QObject::connect(client, &QTcpSocket::disconnected, context, [this] { Drop(); });
      Write(options.Request(DO, kOptionBinary) + options.Request(WILL, kOptionBinary));
    }
  }

  void Drop() {
    if (!client) return;
    client->disconnect(context);
    client->deleteLater();
    client = nullptr;
    {
      std::lock_guard lock(linkMutex);
      clientPresent = false;
      outbox.clear();
    }
    // The client's port is gone, and with it the RTS it drove.
    if (rts) {
      rts = false;
      device.OnRts(false, Now());
    }
    Reschedule();
  }

  void Read() {
    while (client && client->bytesAvailable() > 0) {
      const QByteArray raw = client->read(kReadChunk);
      if (raw.isEmpty()) break;
      hostBytes.clear();
      parser.Feed(raw.constData(), static_cast<size_t>(raw.size()), *this);
      if (!hostBytes.empty()) device.OnHostBytes(hostBytes, Now());
    }
    Reschedule();
  }

  // TelnetParser::Handler
  void OnData(const char* data, size_t size) override { hostBytes.append(data, size); }

  void OnOption(uint8_t verb, uint8_t option) override {
    Write(options.Receive(verb, option));
    if (!clientUsesComPort && options.ThemEnabled(kOptionComPort)) {
      clientUsesComPort = true;
      uint32_t lines;
      {
        std::lock_guard lock(linkMutex);
        lines = modemLines;
      }
      // A client must know the lines before the first change.
      NotifyModemState(lines, true);
    }
  }

  void Answer(uint8_t command, const std::string& value) {
    Write(ComPortCommand(kServerOffset + command, value));
  }
  void Answer(uint8_t command, uint8_t value) {
    Answer(command, std::string(1, static_cast<char>(value)));
  }

  void OnSubnegotiation(const std::string& payload, bool truncated) override {
    if (truncated || payload.size() < 2 || static_cast<uint8_t>(payload[0]) != kOptionComPort) {
      return;
    }
    const uint8_t command = static_cast<uint8_t>(payload[1]);
    const bool hasValue = payload.size() >= 3;
    const uint8_t value = hasValue ? static_cast<uint8_t>(payload[2]) : 0;
    switch (command) {
      case SET_BAUDRATE: {
        if (payload.size() < 6) return;
        uint32_t baud = 0;
        for (int i = 2; i < 6; ++i) baud = (baud << 8) | static_cast<uint8_t>(payload[i]);
        if (baud != 0 && baud <= 0x7FFFFFFF)
          SetLine([&] { line.baudRate = static_cast<int>(baud); });
        Answer(command, Uint32Value(static_cast<uint32_t>(line.baudRate)));
        break;
      }
      case SET_DATASIZE:
        if (value >= 5 && value <= 8) SetLine([&] { line.dataBits = value; });
        Answer(command, static_cast<uint8_t>(line.dataBits));
        break;
      case SET_PARITY:
        if (ParityFromWire(value) >= 0) SetLine([&] { line.parity = ParityFromWire(value); });
        Answer(command, static_cast<uint8_t>(ParityToWire(line.parity)));
        break;
      case SET_STOPSIZE:
        if (StopBitsFromWire(value) >= 0) SetLine([&] { line.stopBits = StopBitsFromWire(value); });
        Answer(command, static_cast<uint8_t>(StopBitsToWire(line.stopBits)));
        break;
      case SET_CONTROL:
        if (!hasValue) return;
        if (value == kControlRtsOn || value == kControlRtsOff) {
          const bool on = value == kControlRtsOn;
          if (on != rts) {
            rts = on;
            device.OnRts(on, Now());
          }
          Answer(command, value);
        } else if (value == kControlQueryRts) {
          Answer(command, rts ? kControlRtsOn : kControlRtsOff);
        } else if (value == kControlQueryFlow) {
          Answer(command, kControlNoFlow);
        } else if (value == kControlQueryDtr) {
          Answer(command, kControlDtrOn);
        } else {
          // Flow control, DTR and break have nothing to act on in the model.
          Answer(command, value);
        }
        break;
      case NOTIFY_LINESTATE:
        Answer(command, static_cast<uint8_t>(0));
        break;
      case NOTIFY_MODEMSTATE: {
        uint32_t lines;
        {
          std::lock_guard lock(linkMutex);
          lines = modemLines;
        }
        NotifyModemState(lines, true);
        break;
      }
      case FLOWCONTROL_SUSPEND:
        SetSuspended(true);
        break;
      case FLOWCONTROL_RESUME:
        SetSuspended(false);
        QueueFlush();
        break;
      case SET_LINESTATE_MASK:
        Answer(command, value);
        break;
      case SET_MODEMSTATE_MASK:
        if (!hasValue) return;
        modemMask = value;
        Answer(command, value);
        break;
      case PURGE_DATA:
        if (value == kPurgeReceive || value == kPurgeBoth) {
          std::lock_guard lock(linkMutex);
          outbox.clear();
        }
        Answer(command, value);
        break;
      default:
        break;
    }
  }

  void SetSuspended(bool on) {
    std::lock_guard lock(linkMutex);
    suspended = on;
  }

  template <typename Change>
  void SetLine(Change change) {
    change();
    device.OnLineSettings(line, Now());
  }

  void Shutdown() {
    device.Attach(nullptr);
    if (client) {
      client->disconnect(context);
      client->abort();
      client = nullptr;
    }
    {
      std::lock_guard lock(linkMutex);
      clientPresent = false;
      outbox.clear();
    }
    delete context;  // with the server, the timer and any socket left
    context = nullptr;
    server = nullptr;
    advanceTimer = nullptr;
  }
};

Rfc2217Server::Rfc2217Server(DeviceModel& device, std::string bindAddress, uint16_t port)
    : impl_(std::make_unique<Impl>(device, std::move(bindAddress), port)) {}

Rfc2217Server::~Rfc2217Server() {
  Stop();
}

bool Rfc2217Server::Start() {
  Impl& d = *impl_;
  if (d.running) return true;
  if (!QCoreApplication::instance()) return false;  // the thread's event loop needs one
  d.thread.setObjectName(QStringLiteral("setwright-sim-rfc2217"));
  d.thread.start();
  d.context = new QObject;
  d.context->moveToThread(&d.thread);
  {
    std::lock_guard lock(d.linkMutex);
    d.flushTarget = d.context;
  }
  bool listening = false;
  QMetaObject::invokeMethod(
      d.context, [&] { listening = d.Listen(); }, Qt::BlockingQueuedConnection);
  d.running = true;
  if (!listening) {
    Stop();
    return false;
  }
  return true;
}

void Rfc2217Server::Stop() {
  Impl& d = *impl_;
  if (!d.running) return;
  {
    std::lock_guard lock(d.linkMutex);
    d.flushTarget = nullptr;
  }
  QMetaObject::invokeMethod(
      d.context, [&] { d.Shutdown(); }, Qt::BlockingQueuedConnection);
  d.thread.quit();
  d.thread.wait();
  {
    // The wait orders the server thread's work before ours through Qt's own lock, which
    // the thread checker cannot see when the thread had ended before the wait began.
    // Shutdown, that thread's last touch of the device and of this object, takes this lock
    // last: taking it here shows the order.
    std::lock_guard lock(d.linkMutex);
  }
  d.running = false;
  d.boundPort = 0;
}

uint16_t Rfc2217Server::Port() const {
  return impl_->boundPort;
}

std::string Rfc2217Server::Url() const {
  const std::string& host = impl_->bindAddress;
  // An IPv6 address goes in brackets, or its colons would read as the port separator.
  const std::string shown = host.find(':') != std::string::npos ? "[" + host + "]" : host;
  return "rfc2217://" + shown + ":" + std::to_string(impl_->boundPort.load());
}

}  // namespace setwright::sim
