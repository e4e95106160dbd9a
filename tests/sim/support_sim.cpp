#include "support_sim.h"

#include <stdexcept>
#include <utility>

namespace setwright::sim::testing {

Bench::Bench(std::string_view model, DeviceOptions options)
    : device(SimDevice::Create(model, std::move(options))) {
  if (!device) throw std::invalid_argument("no such model");
  port = std::make_unique<SimPort>(*device);
  port->connectReadEvent(this);
}

Bench::~Bench() {
  port.reset();
}

void Bench::PowerOnAndOpen(uint32_t at) {
  port->Advance(at);
  device->SetPower(true, at);
  port->setReadIntervalTimeout(50);
  port->init("SIM1", 9600, 0, 8, 2, 0, 4096);
  port->open();
  port->setRts(true);
}

void Bench::Write(std::string_view bytes, uint32_t at) {
  port->Advance(at);
  port->writeData(bytes.data(), static_cast<int>(bytes.size()));
}

void Bench::Enter(uint32_t at) {
  Write(device->family() == Family::SerialToKeyboard ? "\r\n@PROG\r\n" : "\r\n", at);
  RunTo(at + 500);
  Take();
}

std::string Bench::Take() {
  std::string all;
  for (const auto& report : reports) all += report;
  reports.clear();
  return all;
}

void Bench::onReadEvent(const char*, unsigned int readBufferLen) {
  std::string bytes(readBufferLen, '\0');
  const int got = port->readData(bytes.data(), static_cast<int>(bytes.size()));
  bytes.resize(got > 0 ? static_cast<size_t>(got) : 0);
  reports.push_back(bytes);
}

}  // namespace setwright::sim::testing
