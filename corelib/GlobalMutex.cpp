#include "corelib/GlobalMutex.h"

#include "platform/Clock.h"
#include "platform/LastError.h"
#include "platform/NamedMutex.h"
#include "platform/Thread.h"

namespace VemoraCorelib {

namespace {

constexpr uint32_t kPollMs = 10;

}  // namespace

GlobalMutex::GlobalMutex(const std::string& key) : name_(key) {}

GlobalMutex::~GlobalMutex() = default;

bool GlobalMutex::prepare() {
  if (prepared_) return true;
  if (name_.empty()) return false;
  for (char& c : name_) {
    if (c == '/' || c == ':' || c == '\\') c = '_';
  }
  name_ = "Global\\" + name_;
  prepared_ = true;
  return true;
}

int GlobalMutex::tryAcquire(uint32_t processId) {
  if (!prepare()) return kError;  // a direct attempt uses the same system name as lock()
  auto handle = std::make_unique<platform::NamedMutex>(name_);
  if (!handle->tryLock()) {
    return platform::lastError() == platform::kErrorAlreadyExists ? kHeldElsewhere : kError;
  }
  handle_ = std::move(handle);
  ++count_;
  owner_ = processId;
  return kAcquired;
}

bool GlobalMutex::lock(bool blocking) {
  if (!prepare()) return false;
  const uint32_t self = platform::processId();
  if (owner_ == self) {
    ++count_;
    return true;
  }
  for (;;) {
    const int result = tryAcquire(self);
    if (result == kAcquired) return true;
    if (result == kError || !blocking) return false;
    platform::sleepMs(kPollMs);
  }
}

bool GlobalMutex::unlock() {
  if (!prepared_ || owner_ != platform::processId()) return false;
  if (--count_ > 0) return true;
  count_ = 0;
  handle_->unlock();
  const bool closed = platform::lastError() == platform::kErrorSuccess;
  handle_.reset();
  owner_ = 0;
  return closed;
}

}  // namespace VemoraCorelib
