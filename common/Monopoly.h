// The library's one lock class, in one of two modes fixed at construction:
//  - unnamed: an in-process recursive lock with an owner thread and a
//    nesting level. enforce() blocks; enforcePolling() also waits but gives
//    up when the object is being destroyed. Destroying it wakes every waiter
//    (they return false) and waits until they have left, so a waiter never
//    touches a freed lock. Shared by the threads it guards.
//  - named: a system-wide named mutex, taken on the first enforce() and
//    refused (false, no wait) while any other holder, in this process or
//    another, has it; the system frees it when the holder ends. Nested
//    enforce() calls only count. One thread uses a named Monopoly at a time.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace platform {
class NamedMutex;
}

namespace Vemora {

class Monopoly {
 public:
  // Unnamed mode.
  Monopoly();
  // Named mode; the name is stored through setName.
  explicit Monopoly(const std::string& name);
  virtual ~Monopoly();
  Monopoly(const Monopoly&) = delete;
  Monopoly& operator=(const Monopoly&) = delete;

  // Refused (false, nothing changed) while held; else stores the name with
  // every '/' and '\' replaced by '_', switches to named mode, true (also
  // for an empty name).
  bool setName(const std::string& name);

  // Acquires one level: blocking in unnamed mode (re-entry by the owner
  // counts), never blocking in named mode. False when the named mutex is
  // held elsewhere or the name is empty, or when an unnamed Monopoly is
  // being destroyed.
  bool enforce();
  // Unnamed mode only (false at once when named): waits for the lock, giving
  // up (false) when the object is being destroyed.
  bool enforcePolling();
  // Releases one level; true on a free Monopoly. A named Monopoly released
  // by another thread than the one that took the mutex: false, level kept.
  bool relax();

  uint32_t level() const { return level_.load(std::memory_order_acquire); }
  bool isNamed() const { return named_; }
  // Threads now waiting in enforce / enforcePolling (diagnostics and tests).
  int waiting() const { return waiters_.load(std::memory_order_acquire); }
  const std::string& name() const { return name_; }

 private:
  bool enforceNamed();
  bool relaxNamed();
  bool acquireUnnamed();

  // Unnamed mode.
  std::mutex mutex_;
  std::condition_variable changed_;
  uint32_t owner_ = 0;  // guarded by mutex_
  bool destroying_ = false;
  std::atomic<int> waiters_{0};
  // Named mode.
  std::unique_ptr<platform::NamedMutex> handle_;
  uint32_t handleOwner_ = 0;
  bool named_ = false;
  std::atomic<uint32_t> level_{0};
  std::string name_;
};

}  // namespace Vemora
