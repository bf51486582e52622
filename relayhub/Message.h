// The relayed message: who sent it, to whom, what it holds and how long it
// stays valid. Held by value in boxes, lists and maps; copied freely.
#pragma once

#include <cstdint>
#include <string>

#include "relayhub/Address.h"

namespace Vemora {

class StringStream;
class ObjectFiler;

class Message {
 public:
  // Type codes.
  static constexpr int32_t kCentral = 1;
  static constexpr int32_t kRequest = 2;
  static constexpr int32_t kData = 3;
  static constexpr int32_t kStatement = 4;
  static constexpr int32_t kDist = 5;
  // Priority codes.
  static constexpr int32_t kNormal = 0;
  static constexpr int32_t kHigh = 1;
  static constexpr int32_t kLow = 2;
  // Timeout (wall clock) that stands for "never".
  static constexpr int32_t kNeverSeconds = 2147483647;
  // Time-out ticks that stand for "never".
  static constexpr uint64_t kNeverTicks = UINT64_MAX;
  // Default time-out: one hour.
  static constexpr uint64_t kDefaultTimeoutTicks = 3600000;

  // The defaults, with a new id.
  Message();
  // The defaults with the given id; 0 means a new id.
  explicit Message(uint32_t id);
  virtual ~Message() = default;
  Message(const Message&) = default;
  Message& operator=(const Message&) = default;

  // A new process-wide id: seed x counter (mod 2^32), never 0. Thread-safe.
  static uint32_t makeId();
  void newId() { id_ = makeId(); }

  // Setters of source and target lower-case the copied name and host.
  void setSource(const std::string& name, const std::string& host);
  void setTarget(const Address& target);
  // Takes the target exactly as given (a box's own key).
  void setTargetExact(const Address& target) { target_ = target; }
  void setSourceExact(const Address& source) { source_ = source; }
  void setId(uint32_t id) { id_ = id; }
  void setType(int32_t type) { type_ = type; }
  void setPriority(int32_t priority) { priority_ = priority; }
  void setHeader(const std::string& header) { header_ = header; }
  void setData(const std::string& data) { data_ = data; }
  void setBroadcast(bool on) { broadcast_ = on; }
  void setNotify(bool on) { notify_ = on; }
  // 0: never. Otherwise Timeout = now + seconds (clamped below "never") and
  // the tick time-out is seconds x 1000 ms, formed in 64 bits.
  void setTimeout(uint32_t seconds);
  // Direct access to the clocks, for restore and tests.
  void setCreationTime(int32_t seconds) { creationTime_ = seconds; }
  void setTimeoutTime(int32_t seconds) { timeout_ = seconds; }
  void setCreationTicks(uint64_t ticks) { creationTicks_ = ticks; }
  void setTimeoutTicks(uint64_t ticks) { timeoutTicks_ = ticks; }

  uint32_t getId() const { return id_; }
  const Address& getSource() const { return source_; }
  const Address& getTarget() const { return target_; }
  Address& getTarget() { return target_; }
  int32_t getType() const { return type_; }
  int32_t getPriority() const { return priority_; }
  const std::string& getHeader() const { return header_; }
  const std::string& getData() const { return data_; }
  int32_t getCreationTime() const { return creationTime_; }
  int32_t getTimeout() const { return timeout_; }
  uint64_t getCreationTicks() const { return creationTicks_; }
  uint64_t getTimeoutTicks() const { return timeoutTicks_; }
  bool isBroadcast() const { return broadcast_; }
  bool isNotify() const { return notify_; }

  // True when the message's target name or host holds "*" or "?".
  bool hasWildcardTarget() const { return target_.hasWildcard(); }
  // (now tick - creation tick) >= time-out ticks; "never" never times out.
  bool hasTimedOut() const;
  // The tick at which it times out (saturating); kNeverTicks for never.
  uint64_t deadlineTicks() const;
  // Milliseconds left at the given tick (0 when passed; kNeverTicks for never).
  uint64_t remainingMs(uint64_t nowTick) const;

  // Header "RAVEN", or one that contains "NOCACHE": never held unconfirmed.
  bool isUncached() const;

  // Puts the 14 wire fields in their order.
  void toStream(StringStream& stream) const;
  // Gets them back; a missing or mismatched item leaves its field. Returns
  // the number of fields taken (0: the stream held no message field at all).
  int fromStream(StringStream& stream);

  // Stored form: an object "Message" under the root of the tree.
  bool save(ObjectFiler& filer) const;
  bool load(ObjectFiler& filer);

  // The multi-line text used in trace lines and the connections log.
  std::string dump(const std::string& prefix) const;

  static std::string typeName(int type);
  static std::string priorityName(int priority);
  static std::string idToText(uint32_t id);

 private:
  void setDefaults(uint32_t id);
  // The tick time-out from a remaining-milliseconds value, or, without one,
  // from the wall-clock Timeout.
  void deriveTimeoutTicks(bool haveRemaining, uint64_t remainingMs, int64_t nowSeconds);

  uint32_t id_ = 0;
  Address source_;
  Address target_;
  int32_t type_ = 0;
  int32_t priority_ = 0;
  std::string header_;
  std::string data_;
  int32_t creationTime_ = 0;
  int32_t timeout_ = 0;
  uint64_t creationTicks_ = 0;
  uint64_t timeoutTicks_ = kDefaultTimeoutTicks;
  bool broadcast_ = false;
  bool notify_ = false;
};

}  // namespace Vemora
