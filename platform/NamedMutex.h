// Named system-wide mutexes: taking one fails while another holder has it,
// in this process or another; the kernel frees it when the holder closes it
// or dies. Backed by flock on a file in the lock folder (platform/LockFolder.h:
// VEMORA_LOCK_DIR, or a folder only the current user can write), never
// unlinked.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// One object is used by one thread at a time; two objects of the same name
// exclude each other, also inside one process.
class NamedMutex {
 public:
  // Names compare case-insensitively, as Windows object names do; a
  // "Global\" or "Local\" prefix is part of the name.
  explicit NamedMutex(std::string name);
  ~NamedMutex();
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;

  // Takes the mutex without waiting; false (last error kErrorAlreadyExists)
  // while another holder has it.
  bool tryLock();
  // Takes the mutex, waiting up to `timeoutMs` (UINT32_MAX: for ever); false
  // (kErrorAlreadyExists) when the time ran out, or another error number when
  // the lock folder is unusable (prepareLockFolder tells why) or the lock
  // file cannot be opened. Taking a mutex this object already holds
  // succeeds without counting (not recursive).
  bool lock(uint32_t timeoutMs);
  // Releases the mutex; nothing happens when it is not held.
  void unlock();
  bool held() const;
  const std::string& name() const { return name_; }

 private:
  std::string name_;
  int fd_ = -1;
  bool held_ = false;
};

}  // namespace platform
