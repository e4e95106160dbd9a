#include "support_devices.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace setwright::testing {

void EchoDevice::Attach(sim::IDeviceLink* link) {
  std::lock_guard lock(mutex_);
  link_ = link;
}

void EchoDevice::OnHostBytes(const std::string& bytes, uint32_t nowMs) {
  sim::IDeviceLink* link;
  {
    std::lock_guard lock(mutex_);
    received_ += bytes;
    if (received_.size() >= 4 && received_.compare(received_.size() - 4, 4, "PING") == 0) {
      pongAt_ = nowMs + 30;
      return;
    }
    link = link_;
  }
  if (link) link->Send(bytes);
}

void EchoDevice::OnRts(bool on, uint32_t) {
  sim::IDeviceLink* link;
  bool follow;
  {
    std::lock_guard lock(mutex_);
    rts_ = on;
    ++rtsChanges_;
    link = link_;
    follow = followRts_;
  }
  if (link && follow) link->SetModemLines(on ? 0x30 : 0x00);
}

void EchoDevice::OnLineSettings(const sim::LineSettings& settings, uint32_t) {
  std::lock_guard lock(mutex_);
  settings_ = settings;
}

void EchoDevice::Advance(uint32_t nowMs) {
  sim::IDeviceLink* link = nullptr;
  {
    std::lock_guard lock(mutex_);
    if (pongAt_ >= 0 && nowMs >= pongAt_) {
      pongAt_ = -1;
      link = link_;
    }
  }
  if (link) link->Send("PONG");
}

int EchoDevice::MsUntilNextEvent(uint32_t nowMs) {
  std::lock_guard lock(mutex_);
  if (pongAt_ < 0) return -1;
  return nowMs >= pongAt_ ? 0 : static_cast<int>(pongAt_ - nowMs);
}

void EchoDevice::SetLines(uint32_t lines) {
  sim::IDeviceLink* link;
  {
    std::lock_guard lock(mutex_);
    link = link_;
  }
  if (link) link->SetModemLines(lines);
}

void EchoDevice::SetFollowRts(bool follow) {
  std::lock_guard lock(mutex_);
  followRts_ = follow;
}

bool EchoDevice::rts() {
  std::lock_guard lock(mutex_);
  return rts_;
}

int EchoDevice::rtsChanges() {
  std::lock_guard lock(mutex_);
  return rtsChanges_;
}

sim::LineSettings EchoDevice::settings() {
  std::lock_guard lock(mutex_);
  return settings_;
}

std::string EchoDevice::received() {
  std::lock_guard lock(mutex_);
  return received_;
}

ScriptedPeer::ScriptedPeer(QByteArray greeting, QByteArray stream, bool dropAfterGreeting,
                           QByteArray later, int laterMs)
    : greeting_(std::move(greeting)),
      stream_(std::move(stream)),
      drop_(dropAfterGreeting),
      later_(std::move(later)),
      laterMs_(laterMs) {
  thread_.start();
  context_ = new QObject;
  context_->moveToThread(&thread_);
  QMetaObject::invokeMethod(
      context_,
      [this] {
        server_ = new QTcpServer(context_);
        server_->listen(QHostAddress::LocalHost, 0);
        port_ = server_->serverPort();
        QObject::connect(server_, &QTcpServer::newConnection, context_, [this] {
          while (QTcpSocket* socket = server_->nextPendingConnection()) {
            socket->write(greeting_);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
              const QByteArray bytes = socket->readAll();
              std::lock_guard lock(mutex_);
              received_ += bytes;
            });
            if (!later_.isEmpty()) {
              QTimer::singleShot(laterMs_, socket, [this, socket] { socket->write(later_); });
            }
            if (drop_) {
              socket->flush();
              socket->disconnectFromHost();
              continue;
            }
            if (stream_.isEmpty()) continue;
            // Keeps the client's pipe full: more as soon as the last lot left.
            auto more = [this, socket] {
              if (socket->bytesToWrite() > 0) return;
              socket->write(stream_);
              std::lock_guard lock(mutex_);
              sent_ += stream_.size();
            };
            QObject::connect(socket, &QTcpSocket::bytesWritten, socket, more);
            more();
          }
        });
      },
      Qt::BlockingQueuedConnection);
}

ScriptedPeer::~ScriptedPeer() {
  QMetaObject::invokeMethod(
      context_, [this] { delete context_; }, Qt::BlockingQueuedConnection);
  thread_.quit();
  thread_.wait();
}

QByteArray ScriptedPeer::Received() {
  std::lock_guard lock(mutex_);
  return received_;
}

qint64 ScriptedPeer::BytesSent() {
  std::lock_guard lock(mutex_);
  return sent_;
}

}  // namespace setwright::testing
