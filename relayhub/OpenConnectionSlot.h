// One place in the daemon's count of open connections. The listener takes a
// slot for every connection it queues; the slot gives the place back when the
// connection entry holding it goes away, whichever path erases the entry
// (protocol end, failed step, a quit of the handler, shutdown), so the count
// can never drift upwards and lock agents out.
#pragma once

#include <atomic>
#include <cstdint>

namespace Vemora {

class OpenConnectionSlot {
 public:
  OpenConnectionSlot() = default;
  // Raises `count` by one; the slot lowers it again when released.
  explicit OpenConnectionSlot(std::atomic<int32_t>* count) : count_(count) {
    if (count_ != nullptr) count_->fetch_add(1);
  }
  ~OpenConnectionSlot() { release(); }
  OpenConnectionSlot(const OpenConnectionSlot&) = delete;
  OpenConnectionSlot& operator=(const OpenConnectionSlot&) = delete;
  OpenConnectionSlot(OpenConnectionSlot&& other) noexcept : count_(other.count_) {
    other.count_ = nullptr;
  }
  OpenConnectionSlot& operator=(OpenConnectionSlot&& other) noexcept {
    if (this != &other) {
      release();
      count_ = other.count_;
      other.count_ = nullptr;
    }
    return *this;
  }

  // Gives the place back now (once).
  void release() {
    if (count_ != nullptr) count_->fetch_sub(1);
    count_ = nullptr;
  }
  bool held() const { return count_ != nullptr; }

 private:
  std::atomic<int32_t>* count_ = nullptr;
};

}  // namespace Vemora
