#include "relayhub/Message.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "common/DateTime.h"
#include "common/InventoryOps.h"
#include "common/ObjectFiler.h"
#include "common/StringOps.h"
#include "common/StringStream.h"
#include "common/TickTimer.h"
#include "platform/Clock.h"
#include "platform/Thread.h"

namespace Vemora {

namespace {

std::atomic<uint32_t> g_idSeed{0};
std::atomic<uint32_t> g_idCounter{0};

uint64_t nowTick() { return static_cast<uint64_t>(TickTimer().now()); }
int64_t nowSeconds() { return platform::unixTime(); }

std::string hostName() {
  std::string domain, host, architecture, os;
  InventoryOps::getSystemInfo(domain, host, architecture, os);
  return host;
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
    const uint32_t made = (StringOps::hash(hostName()) * platform::processId()) | 1u;
    g_idSeed.compare_exchange_strong(seed, made);
    seed = g_idSeed.load();
  }
  uint32_t id = 0;
  while (id == 0) id = seed * (g_idCounter.fetch_add(1) + 1u);
  return id;
}

void Message::setSource(const std::string& name, const std::string& host) {
  source_ = Address(StringOps::lowerCopy(name), StringOps::lowerCopy(host));
}

void Message::setTarget(const Address& target) {
  target_ = Address(StringOps::lowerCopy(target.name), StringOps::lowerCopy(target.host));
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

std::string Message::idToText(uint32_t id) { return StringOps::fromUInt(id); }

void Message::toStream(StringStream& stream) const {
  const int64_t now = nowSeconds();
  const uint64_t tick = nowTick();
  const int32_t created = static_cast<int32_t>(
      std::clamp<int64_t>(int64_t{creationTime_} - now, INT32_MIN, INT32_MAX));
  const int32_t timeout =
      timeout_ == kNeverSeconds
          ? kNeverSeconds
          : static_cast<int32_t>(std::clamp<int64_t>(int64_t{timeout_} - now, INT32_MIN,
                                                     kNeverSeconds - 1));
  stream.putUInt(id_)
      .putString(source_.name)
      .putString(source_.host)
      .putString(target_.name)
      .putString(target_.host)
      .putInt(type_)
      .putInt(priority_)
      .putString(header_)
      .putString(data_)
      .putLong(created)
      .putLong(timeout)
      .putBool(broadcast_)
      .putBool(notify_)
      .putUInt64(remainingMs(tick));
}

int Message::fromStream(StringStream& stream) {
  const int64_t now = nowSeconds();
  int taken = 0;
  // Counts the items a get consumed; a get on an exhausted stream takes none.
  auto step = [&](auto&& get) {
    if (stream.atEnd()) return;
    get();
    ++taken;
  };
  step([&] { stream.getUInt(id_); });
  step([&] { stream.getString(source_.name); });
  step([&] { stream.getString(source_.host); });
  step([&] { stream.getString(target_.name); });
  step([&] { stream.getString(target_.host); });
  step([&] { stream.getInt(type_); });
  step([&] { stream.getInt(priority_); });
  step([&] { stream.getString(header_); });
  step([&] { stream.getString(data_); });
  // The wall-clock fields travel relative to the sender's clock; a missing
  // or mismatched item leaves the field (INT32_MIN marks "not read").
  int32_t created = INT32_MIN;
  step([&] { stream.getLong(created); });
  if (created != INT32_MIN) creationTime_ = clampSeconds(int64_t{created} + now);
  int32_t timeout = INT32_MIN;
  step([&] { stream.getLong(timeout); });
  if (timeout != INT32_MIN) {
    timeout_ = timeout == kNeverSeconds ? kNeverSeconds : clampSeconds(int64_t{timeout} + now);
  }
  step([&] { stream.getBool(broadcast_); });
  step([&] { stream.getBool(notify_); });
  creationTicks_ = nowTick();
  if (stream.atEnd()) {
    deriveTimeoutTicks(false, 0, now);
  } else {
    uint64_t remaining = timeoutTicks_;
    stream.getUInt64(remaining);
    ++taken;
    deriveTimeoutTicks(true, remaining, now);
  }
  return taken;
}

void Message::deriveTimeoutTicks(bool haveRemaining, uint64_t remaining, int64_t nowSeconds) {
  // Remaining times beyond what a 64-bit tick count can hold are held there.
  constexpr uint64_t kMaxMs = static_cast<uint64_t>(INT64_MAX) / 1000u;
  if (haveRemaining) {
    timeoutTicks_ = remaining == kNeverTicks ? kNeverTicks : std::min(remaining, kMaxMs);
    return;
  }
  if (timeout_ == kNeverSeconds) {
    timeoutTicks_ = kNeverTicks;
    return;
  }
  const int64_t left = std::max<int64_t>(0, int64_t{timeout_} - nowSeconds);
  timeoutTicks_ = static_cast<uint64_t>(left) * 1000u;
}

namespace {

bool putAddress(ObjectFiler& filer, ObjectFiler::ObjectNode* parent, const char* key,
                const Address& address) {
  ObjectFiler::ObjectNode* node = filer.addObject(parent, key);
  if (node == nullptr) return false;
  ObjectFiler::ValueNode* name = filer.addValue(node, "Name");
  if (name == nullptr) return false;
  name->setString(address.name);
  ObjectFiler::ValueNode* host = filer.addValue(node, "Host");
  if (host == nullptr) return false;
  host->setString(address.host);
  return true;
}

void getAddress(ObjectFiler& filer, ObjectFiler::ObjectNode* parent, const char* key,
                Address& address) {
  ObjectFiler::ObjectNode* node = filer.getObject(parent, key);
  if (node == nullptr) return;
  if (auto* v = filer.getValue(node, "Name")) address.name = v->value();
  if (auto* v = filer.getValue(node, "Host")) address.host = v->value();
}

}  // namespace

bool Message::save(ObjectFiler& filer) const {
  ObjectFiler::ObjectNode* node = filer.addObject(nullptr, "Message");
  if (node == nullptr) return false;
  auto value = [&](const char* key) { return filer.addValue(node, key); };
  ObjectFiler::ValueNode* v = value("ID");
  if (v == nullptr) return false;
  v->setUInt(id_);
  if (!putAddress(filer, node, "Source", source_)) return false;
  if (!putAddress(filer, node, "Target", target_)) return false;
  if ((v = value("Type")) == nullptr) return false;
  v->setInt(type_);
  if ((v = value("Priority")) == nullptr) return false;
  v->setInt(priority_);
  if ((v = value("Header")) == nullptr) return false;
  v->setString(header_);
  if ((v = value("Data")) == nullptr) return false;
  v->setString(data_);
  if ((v = value("CreationTime")) == nullptr) return false;
  v->setInt(creationTime_);
  if ((v = value("Timeout")) == nullptr) return false;
  v->setInt(timeout_);
  if ((v = value("Broadcast")) == nullptr) return false;
  v->setBool(broadcast_);
  if ((v = value("Notify")) == nullptr) return false;
  v->setBool(notify_);
  if ((v = value("TimeoutTicks")) == nullptr) return false;
  v->setUInt(remainingMs(nowTick()));
  return true;
}

bool Message::load(ObjectFiler& filer) {
  ObjectFiler::ObjectNode* node = filer.getObject(nullptr, "Message");
  if (node == nullptr) return false;
  auto value = [&](const char* key) { return filer.getValue(node, key); };
  if (auto* v = value("ID")) id_ = static_cast<uint32_t>(v->getUInt());
  getAddress(filer, node, "Source", source_);
  getAddress(filer, node, "Target", target_);
  auto int32Of = [](int64_t x) {
    return static_cast<int32_t>(std::clamp<int64_t>(x, INT32_MIN, INT32_MAX));
  };
  if (auto* v = value("Type")) type_ = int32Of(v->getInt());
  if (auto* v = value("Priority")) priority_ = int32Of(v->getInt());
  if (auto* v = value("Header")) header_ = v->value();
  if (auto* v = value("Data")) data_ = v->value();
  if (auto* v = value("CreationTime")) creationTime_ = int32Of(v->getInt());
  if (auto* v = value("Timeout")) timeout_ = int32Of(v->getInt());
  if (auto* v = value("Broadcast")) broadcast_ = v->getBool();
  if (auto* v = value("Notify")) notify_ = v->getBool();
  creationTicks_ = nowTick();
  ObjectFiler::ValueNode* ticks = value("TimeoutTicks");
  deriveTimeoutTicks(ticks != nullptr, ticks != nullptr ? ticks->getUInt() : 0, nowSeconds());
  return true;
}

std::string Message::dump(const std::string& prefix) const {
  std::string out;
  out += prefix + "ID      : " + idToText(id_) + "\n";
  out += prefix + "Type    : " + typeName(type_) + "\n";
  out += prefix + "Priority: " + priorityName(priority_) + "\n";
  out += prefix + "Source  : " + source_.toText() + "\n";
  out += prefix + "Target  : " + target_.toText() + "\n";
  out += prefix + "Created : " + DateTime(creationTime_).toString(false, false) + "\n";
  out += prefix + "Timeout : ";
  if (timeoutTicks_ == kNeverTicks) {
    out += "Never";
  } else {
    const uint64_t left = remainingMs(nowTick());
    out += left == 0 ? std::string("TIMED OUT!") : "In " + std::to_string(left / 1000) + " seconds";
  }
  out += "\n";
  out += prefix + "Header  : " + header_ + "\n";
  if (broadcast_) out += prefix + "(Broadcast message)\n";
  out += prefix + "Data:\n";
  for (char c : data_) {
    const unsigned char b = static_cast<unsigned char>(c);
    if (b == 9 || b == 10 || (b >= 32 && b <= 126)) {
      out += c;
    } else {
      out += "&#" + std::to_string(static_cast<int>(static_cast<signed char>(c))) + ";";
    }
  }
  return out;
}

}  // namespace Vemora
