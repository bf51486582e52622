// A recursive in-process lock standing in for a Windows CRITICAL_SECTION:
// the owning thread may enter it again; every enter needs a leave by the
// same thread (a leave by any other thread is ignored). A thread that ends
// while holding it leaves it held. Destroying one while a thread waits in
// enter() is not allowed (callers check first).
#pragma once

#include <memory>

namespace platform {

class CriticalSection {
 public:
  CriticalSection();
  ~CriticalSection();
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  // EnterCriticalSection: waits until the calling thread holds the lock.
  void enter();
  // TryEnterCriticalSection: true when the calling thread now holds it.
  bool tryEnter();
  // LeaveCriticalSection: only by the holder.
  void leave();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
