#include "sim/device_options.h"

#include <charconv>
#include <utility>

namespace setwright::sim {

namespace {

bool ReadNumber(std::string_view text, long min, long max, long* out) {
  long value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < min || value > max) {
    return false;
  }
  *out = value;
  return true;
}

bool Fail(std::string* error, std::string text) {
  if (error) *error = std::move(text);
  return false;
}

}  // namespace

bool ApplyFault(DeviceOptions& options, std::string_view text, bool on, std::string* error) {
  const DeviceOptions defaults;
  const size_t eq = text.find('=');
  const std::string_view name = text.substr(0, eq);
  const std::string_view value = eq == std::string_view::npos ? "" : text.substr(eq + 1);
  auto needsValue = [&]() { return Fail(error, "fault " + std::string(name) + " needs a value"); };
  long number = 0;

  if (name == "product") {
    if (on && value.empty()) return needsValue();
    options.productModel = on ? std::string(value) : defaults.productModel;
  } else if (name == "wrong-banner") {
    options.wrongBanner = on;
  } else if (name == "refuse") {
    if (on && value.empty()) return needsValue();
    options.refusedKey = on ? std::string(value) : defaults.refusedKey;
  } else if (name == "forget") {
    if (on && value.empty()) return needsValue();
    options.forgottenKey = on ? std::string(value) : defaults.forgottenKey;
  } else if (name == "silent") {
    options.silent = on;
  } else if (name == "split") {
    if (!on) {
      options.splitPieces = defaults.splitPieces;
      options.splitGapMs = defaults.splitGapMs;
    } else {
      const size_t slash = value.find('/');
      const std::string_view pieces = value.substr(0, slash);
      long gap = defaults.splitGapMs;
      if (!ReadNumber(pieces, 2, 64, &number) ||
          (slash != std::string_view::npos &&
           !ReadNumber(value.substr(slash + 1), 0, 10000, &gap))) {
        return Fail(error, "split needs PIECES (2-64) and optionally /GAP in ms");
      }
      options.splitPieces = static_cast<int>(number);
      options.splitGapMs = static_cast<uint32_t>(gap);
    }
  } else if (name == "slow") {
    if (!on) {
      options.extraDelayMs = defaults.extraDelayMs;
    } else if (!ReadNumber(value, 0, 600000, &number)) {
      return Fail(error, "slow needs a delay in ms");
    } else {
      options.extraDelayMs = static_cast<uint32_t>(number);
    }
  } else if (name == "double-ack") {
    options.doubleAck = on;
  } else if (name == "cut-end") {
    if (!on) {
      options.endBannerChars = defaults.endBannerChars;
    } else if (!ReadNumber(value, 0, 100, &number)) {
      return Fail(error, "cut-end needs a number of characters");
    } else {
      options.endBannerChars = static_cast<int>(number);
    }
  } else if (name == "id") {
    if (!on) {
      options.identification = IdentificationLine::AsModel;
    } else if (value == "on") {
      options.identification = IdentificationLine::Always;
    } else if (value == "off") {
      options.identification = IdentificationLine::Never;
    } else {
      return Fail(error, "id needs on or off");
    }
  } else if (name == "no-del") {
    options.delimiterLine = !on;
  } else if (name == "no-paired") {
    options.pairedSection = !on;
  } else if (name == "busy") {
    options.busy = on;
  } else {
    return Fail(error, "unknown fault " + std::string(name));
  }
  return true;
}

std::vector<std::string> DescribeFaults(const DeviceOptions& options) {
  const DeviceOptions defaults;
  std::vector<std::string> out;
  if (!options.productModel.empty()) out.push_back("product=" + options.productModel);
  if (options.wrongBanner) out.push_back("wrong-banner");
  if (!options.refusedKey.empty()) out.push_back("refuse=" + options.refusedKey);
  if (!options.forgottenKey.empty()) out.push_back("forget=" + options.forgottenKey);
  if (options.silent) out.push_back("silent");
  if (options.splitPieces > 1) {
    out.push_back("split=" + std::to_string(options.splitPieces) + "/" +
                  std::to_string(options.splitGapMs));
  }
  if (options.extraDelayMs) out.push_back("slow=" + std::to_string(options.extraDelayMs));
  if (options.doubleAck) out.push_back("double-ack");
  if (options.endBannerChars >= 0) {
    out.push_back("cut-end=" + std::to_string(options.endBannerChars));
  }
  if (options.identification == IdentificationLine::Always) out.push_back("id=on");
  if (options.identification == IdentificationLine::Never) out.push_back("id=off");
  if (!options.delimiterLine) out.push_back("no-del");
  if (!options.pairedSection) out.push_back("no-paired");
  if (options.busy) out.push_back("busy");
  return out;
}

}  // namespace setwright::sim
