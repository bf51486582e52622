// Holds one level of an unnamed Monopoly (taken with enforcePolling) for a
// scope and releases it on every path out. held() is false when the lock
// could not be taken (the Monopoly is being destroyed); the guarded work
// must then be skipped.
#pragma once

#include "common/Monopoly.h"

namespace Vemora {

class MonopolyGuard {
 public:
  explicit MonopolyGuard(Monopoly& lock) : lock_(lock), held_(lock.enforcePolling()) {}
  ~MonopolyGuard() {
    if (held_) lock_.relax();
  }
  MonopolyGuard(const MonopolyGuard&) = delete;
  MonopolyGuard& operator=(const MonopolyGuard&) = delete;

  bool held() const { return held_; }

 private:
  Monopoly& lock_;
  const bool held_;
};

}  // namespace Vemora
