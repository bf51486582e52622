#include "relayhub/Message.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>

#include "platform/Clock.h"
#include "platform/Env.h"
#include "platform/SystemInfo.h"
#include "platform/Thread.h"

namespace Vemora {

namespace {

std::atomic<uint32_t> g_idSeed{0};
std::atomic<uint32_t> g_idCounter{0};

uint64_t nowTick() { return platform::monotonicMs(); }
int64_t nowSeconds() { return platform::unixTime(); }

std::string lowerCopy(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string hostName() {
  if (auto env = platform::getEnv("vemora_hostname")) return *env;
  return platform::SystemInfo::computerName().value_or("");
}

uint32_t hash32(const std::string& text) {
  uint32_t h = 0;
  for (char c : text) h = h * 37u + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(c)));
  return h;
}

// Held within the signed 32-bit range, below "never" unless it is never.
int32_t clampSeconds(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, 0, Message::kNeverSeconds - 1));
}

}  // namespace

Message::Message() { setDefaults(0); }

Message::Message(uint32_t id) { setDefaults(id); }

void Message::setDefaults(uint32_t id) {
  id_ = id != 0 ? id : makeId();
  const int64_t now = nowSeconds();
  creationTime_ = clampSeconds(now);
  timeout_ = clampSeconds(now + 3600);
  creationTicks_ = nowTick();
  timeoutTicks_ = kDefaultTimeoutTicks;
}

uint32_t Message::makeId() {
  uint32_t seed = g_idSeed.load();
  if (seed == 0) {
    // An odd seed makes seed x counter run through every value before it
    // repeats, and can never be 0 (an empty host name hashes to 0).
    const uint32_t made = (hash32(hostName()) * platform::processId()) | 1u;
    g_idSeed.compare_exchange_strong(seed, made);
    seed = g_idSeed.load();
  }
  uint32_t id = 0;
  while (id == 0) id = seed * (g_idCounter.fetch_add(1) + 1u);
  return id;
}

void Message::setSource(const std::string& name, const std::string& host) {
  source_ = Address(lowerCopy(name), lowerCopy(host));
}

void Message::setTarget(const Address& target) {
  target_ = Address(lowerCopy(target.name), lowerCopy(target.host));
}

void Message::setTimeout(uint32_t seconds) {
  if (seconds == 0) {
    timeout_ = kNeverSeconds;
    timeoutTicks_ = kNeverTicks;
    return;
  }
  timeout_ = clampSeconds(nowSeconds() + seconds);
  timeoutTicks_ = static_cast<uint64_t>(seconds) * 1000u;
}

bool Message::hasTimedOut() const {
  if (timeoutTicks_ == kNeverTicks) return false;
  return nowTick() - creationTicks_ >= timeoutTicks_;
}

uint64_t Message::deadlineTicks() const {
  if (timeoutTicks_ == kNeverTicks) return kNeverTicks;
  if (timeoutTicks_ > kNeverTicks - 1 - creationTicks_) return kNeverTicks - 1;
  return creationTicks_ + timeoutTicks_;
}

uint64_t Message::remainingMs(uint64_t nowTick) const {
  if (timeoutTicks_ == kNeverTicks) return kNeverTicks;
  const uint64_t elapsed = nowTick - creationTicks_;
  return elapsed >= timeoutTicks_ ? 0 : timeoutTicks_ - elapsed;
}

bool Message::isUncached() const {
  return header_ == "RAVEN" || header_.find("NOCACHE") != std::string::npos;
}

std::string Message::typeName(int type) {
  switch (type) {
    case kCentral: return "CENTRAL";
    case kRequest: return "REQUEST";
    case kData: return "DATA";
    case kStatement: return "STATEMENT";
    case kDist: return "DIST";
    default: return "UNDEF";
  }
}

std::string Message::priorityName(int priority) {
  switch (priority) {
    case kNormal: return "NORMAL";
    case kHigh: return "HIGH";
    case kLow: return "LOW";
    default: return "UNDEF";
  }
}

std::string Message::idToText(uint32_t id) { return std::to_string(id); }

}  // namespace Vemora
