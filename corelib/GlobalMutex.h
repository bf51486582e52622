// A lock shared by every process of the machine, keyed by a text (normally
// a file path). The lock is the existence of a named system mutex: whoever
// created the object holds the lock; nobody waits on or owns the mutex
// itself. The lock is counted per process, not per thread: serialising the
// threads of one process is the caller's task. Nothing here throws or logs.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {
class NamedMutex;
}

namespace VemoraCorelib {

class GlobalMutex {
 public:
  static constexpr int kAcquired = 0;
  static constexpr int kHeldElsewhere = 1;
  static constexpr int kError = 2;

  explicit GlobalMutex(const std::string& key);
  // Closes the system object when it is still held, which frees the lock.
  ~GlobalMutex();
  GlobalMutex(const GlobalMutex&) = delete;
  GlobalMutex& operator=(const GlobalMutex&) = delete;

  // True when this process holds the lock afterwards (the count goes up by
  // one). Blocking waits without a time limit, polling every 10 ms; an
  // empty key or a refused system object gives false at once.
  bool lock(bool blocking);
  // True when the count went down; at 0 the system object is closed and the
  // result is whether that succeeded. False in a process that does not hold
  // the lock.
  bool unlock();
  // One attempt to create the system object: kAcquired (count + 1, owner
  // `processId`), kHeldElsewhere or kError.
  int tryAcquire(uint32_t processId);

  // The system name: "Global\" and the key with '/', ':' and '\' as '_'.
  const std::string& name() const { return name_; }
  uint32_t owner() const { return owner_; }
  int32_t count() const { return count_; }

 private:
  bool prepare();

  std::string name_;
  bool prepared_ = false;
  uint32_t owner_ = 0;
  int32_t count_ = 0;
  std::unique_ptr<platform::NamedMutex> handle_;
};

}  // namespace VemoraCorelib
