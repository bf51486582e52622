#include "platform/CriticalSection.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace platform {

// The holder and its nesting count are plain state under a short-lived
// mutex, so a thread that ends while it holds the section leaves it held
// (as Windows does) instead of owning a system mutex past its life.
struct CriticalSection::Impl {
  std::mutex mutex;
  std::condition_variable released;
  std::thread::id holder;
  unsigned count = 0;
};

CriticalSection::CriticalSection() : impl_(std::make_unique<Impl>()) {}
CriticalSection::~CriticalSection() = default;

void CriticalSection::enter() {
  const std::thread::id me = std::this_thread::get_id();
  std::unique_lock<std::mutex> hold(impl_->mutex);
  if (impl_->count > 0 && impl_->holder == me) {
    ++impl_->count;
    return;
  }
  impl_->released.wait(hold, [this] { return impl_->count == 0; });
  impl_->holder = me;
  impl_->count = 1;
}

bool CriticalSection::tryEnter() {
  const std::thread::id me = std::this_thread::get_id();
  std::lock_guard<std::mutex> hold(impl_->mutex);
  if (impl_->count > 0 && impl_->holder != me) return false;
  impl_->holder = me;
  ++impl_->count;
  return true;
}

void CriticalSection::leave() {
  const std::thread::id me = std::this_thread::get_id();
  std::lock_guard<std::mutex> hold(impl_->mutex);
  if (impl_->count == 0 || impl_->holder != me) return;  // only the holder leaves
  if (--impl_->count == 0) {
    impl_->holder = std::thread::id();
    impl_->released.notify_one();
  }
}

}  // namespace platform
