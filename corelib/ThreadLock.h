// Recursive in-process lock with an owner thread and a nesting level, taken
// blocking or non-blocking and released only by its owner. Every step
// writes a trace at level flood (8) through the ThreadLock module logger.
#pragma once

#include <atomic>
#include <cstdint>

namespace platform {
class CriticalSection;
}

namespace VemoraCorelib {

class ThreadLock {
 public:
  // The system lock is set up here, so first use needs no set-up race.
  ThreadLock();
  // Releases the lock when the destroying thread holds it (at any level).
  // A lock that another thread still holds is never torn down under it: its
  // system lock is parked for the rest of the process instead.
  virtual ~ThreadLock();
  ThreadLock(const ThreadLock&) = delete;
  ThreadLock& operator=(const ThreadLock&) = delete;

  // True when the calling thread holds the lock afterwards (the level goes
  // up by one). Non-blocking: false at once when another thread holds it.
  bool lock(bool blocking);
  // Only the owner may unlock: false for another thread or a free lock.
  // True when the level went down by one (released at level 0).
  bool unlock();

  // Thread id of the owner, 0 when free.
  uint32_t owner() const { return owner_.load(); }
  // Nesting level (0 when free); exact for the owner.
  int32_t level() const { return level_.load(); }

 private:
  std::atomic<uint32_t> owner_{0};
  std::atomic<int32_t> level_{0};
  platform::CriticalSection* section_;
};

}  // namespace VemoraCorelib
