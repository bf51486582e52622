#include "common/Monopoly.h"

#include "platform/NamedMutex.h"
#include "platform/Thread.h"

namespace Vemora {

Monopoly::Monopoly() = default;

Monopoly::Monopoly(const std::string& name) {
  setName(name);
}

Monopoly::~Monopoly() {
  if (named_) {
    relax();
    return;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  destroying_ = true;
  changed_.notify_all();
  // Waiters touch this object until they return: let them leave first.
  changed_.wait(lock, [this] { return waiters_ == 0; });
}

bool Monopoly::setName(const std::string& name) {
  if (level() > 0 || handle_) return false;
  std::string stored = name;
  for (char& c : stored) {
    if (c == '/' || c == '\\') c = '_';
  }
  name_ = stored;
  named_ = true;
  return true;
}

bool Monopoly::enforce() {
  return named_ ? enforceNamed() : acquireUnnamed();
}

bool Monopoly::enforcePolling() {
  if (named_) return false;
  return acquireUnnamed();
}

bool Monopoly::relax() {
  if (level() == 0) return true;
  if (named_) return relaxNamed();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (level_.load() == 0) return true;
    if (level_.fetch_sub(1) == 1) owner_ = 0;
  }
  changed_.notify_all();
  return true;
}

bool Monopoly::acquireUnnamed() {
  const uint32_t me = platform::currentThreadId();
  std::unique_lock<std::mutex> lock(mutex_);
  if (destroying_) return false;
  if (owner_ == me && level_.load() > 0) {
    level_.fetch_add(1);
    return true;
  }
  ++waiters_;
  changed_.wait(lock, [this] { return destroying_ || level_.load() == 0; });
  --waiters_;
  if (destroying_) {
    changed_.notify_all();  // the destructor waits for the last waiter
    return false;
  }
  owner_ = me;
  level_.store(1);
  return true;
}

bool Monopoly::enforceNamed() {
  if (level_.fetch_add(1) != 0) return true;
  if (name_.empty() || handle_) {
    level_.fetch_sub(1);
    return false;
  }
  auto mutex = std::make_unique<platform::NamedMutex>(name_);
  if (!mutex->tryLock()) {
    level_.fetch_sub(1);
    return false;
  }
  handle_ = std::move(mutex);
  handleOwner_ = platform::currentThreadId();
  return true;
}

bool Monopoly::relaxNamed() {
  if (level_.load() > 1) {
    level_.fetch_sub(1);
    return true;
  }
  if (!handle_ || handleOwner_ != platform::currentThreadId()) return false;
  handle_->unlock();
  handle_.reset();
  handleOwner_ = 0;
  level_.store(0);
  return true;
}

}  // namespace Vemora
