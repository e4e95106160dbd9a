// Small device models and a misbehaving TCP peer for the network port tests.
#pragma once

#include <QByteArray>
#include <QThread>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "sim/device_model.h"

class QObject;
class QTcpServer;

namespace setwright::testing {

// Echoes what the host writes, answers "PING" with "PONG" 30 ms (model time) later, raises
// CTS and DSR while RTS is on, and records what the host asked for.
class EchoDevice : public sim::DeviceModel {
 public:
  void Attach(sim::IDeviceLink* link) override;
  void OnHostBytes(const std::string& bytes, uint32_t nowMs) override;
  void OnRts(bool on, uint32_t nowMs) override;
  void OnLineSettings(const sim::LineSettings& settings, uint32_t nowMs) override;
  void Advance(uint32_t nowMs) override;
  int MsUntilNextEvent(uint32_t nowMs) override;

  // Sets the modem lines as the device would (CTS 0x10, DSR 0x20, RI 0x40, DCD 0x80).
  void SetLines(uint32_t lines);
  void SetFollowRts(bool follow);

  bool rts();
  int rtsChanges();
  sim::LineSettings settings();
  std::string received();

 private:
  std::mutex mutex_;
  sim::IDeviceLink* link_ = nullptr;
  bool rts_ = false;
  int rtsChanges_ = 0;
  bool followRts_ = true;
  sim::LineSettings settings_;
  std::string received_;
  int64_t pongAt_ = -1;
};

// A TCP peer that plays a fixed script: on each connection it sends `greeting`, then
// `stream` again and again (when not empty) until the client goes; `dropAfterGreeting`
// closes the connection instead. `later` goes out `laterMs` after the greeting.
class ScriptedPeer {
 public:
  ScriptedPeer(QByteArray greeting, QByteArray stream, bool dropAfterGreeting = false,
               QByteArray later = {}, int laterMs = 0);
  ~ScriptedPeer();
  uint16_t Port() const { return port_; }
  std::string Url() const { return "rfc2217://127.0.0.1:" + std::to_string(port_); }
  qint64 BytesSent();
  // Everything the clients sent, in order.
  QByteArray Received();

 private:
  QThread thread_;
  QObject* context_ = nullptr;
  QTcpServer* server_ = nullptr;
  QByteArray greeting_;
  QByteArray stream_;
  bool drop_;
  QByteArray later_;
  int laterMs_;
  QByteArray received_;
  uint16_t port_ = 0;
  std::mutex mutex_;
  qint64 sent_ = 0;
};

}  // namespace setwright::testing
