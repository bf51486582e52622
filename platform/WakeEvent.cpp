#include "platform/WakeEvent.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace platform {

WakeEvent::WakeEvent() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

WakeEvent::~WakeEvent() {
  if (fd_ >= 0) ::close(fd_);
}

void WakeEvent::set() {
  if (fd_ < 0) return;
  const uint64_t one = 1;
  // A full counter already wakes the waiter; nothing to report.
  [[maybe_unused]] const ssize_t n = ::write(fd_, &one, sizeof one);
}

void WakeEvent::clear() {
  if (fd_ < 0) return;
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t n = ::read(fd_, &count, sizeof count);
}

}  // namespace platform
