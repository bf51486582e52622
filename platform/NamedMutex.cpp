#include "platform/NamedMutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <functional>

#include "platform/Clock.h"
#include "platform/LastError.h"
#include "platform/LockFolder.h"

namespace platform {

namespace {

constexpr size_t kMaxPlainName = 160;

// A file name for a mutex name: lower-cased (names compare case-
// insensitively), every byte outside [a-z0-9._-] as %XX, long names cut
// and followed by a hash of the whole name.
std::string fileNameFor(const std::string& name) {
  std::string lowered;
  for (char c : name) lowered += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  std::string file = "m-";
  for (unsigned char c : lowered) {
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-') {
      file += static_cast<char>(c);
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      file += hex;
    }
  }
  if (file.size() > kMaxPlainName) {
    char hash[24];
    std::snprintf(hash, sizeof hash, "~%016zx", std::hash<std::string>{}(lowered));
    file = file.substr(0, kMaxPlainName) + hash;
  }
  return file + ".lock";
}

}  // namespace

NamedMutex::NamedMutex(std::string name) : name_(std::move(name)) {}

// Leaves the last error alone: a caller reads why a lock failed after the
// object that failed is gone.
NamedMutex::~NamedMutex() {
  if (fd_ >= 0) ::close(fd_);  // closing drops the flock
}

bool NamedMutex::tryLock() {
  return lock(0);
}

bool NamedMutex::lock(uint32_t timeoutMs) {
  if (held_) {
    setLastError(kErrorSuccess);
    return true;
  }
  if (!prepareLockFolder()) return false;
  const std::string folder = lockFolder();
  const std::string path = folder + "/" + fileNameFor(name_);
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd < 0) {
    setLastErrorFromErrno(errno);
    return false;
  }
  ::fchmod(fd, 0666);  // let other users' processes open it too (may fail: not ours)
  const uint64_t deadline = monotonicMs() + timeoutMs;
  for (;;) {
    const int how = timeoutMs == UINT32_MAX ? LOCK_EX : LOCK_EX | LOCK_NB;
    if (::flock(fd, how) == 0) break;
    const int err = errno;
    if (err == EINTR) continue;
    if (err != EWOULDBLOCK || monotonicMs() >= deadline) {
      ::close(fd);
      setLastError(err == EWOULDBLOCK ? kErrorAlreadyExists : errorFromErrno(err));
      return false;
    }
    realSleepMs(5);
  }
  fd_ = fd;
  held_ = true;
  setLastError(kErrorSuccess);
  return true;
}

void NamedMutex::unlock() {
  if (fd_ >= 0) {
    ::close(fd_);  // closing drops the flock
    fd_ = -1;
  }
  held_ = false;
  setLastError(kErrorSuccess);
}

bool NamedMutex::held() const {
  return held_;
}

}  // namespace platform
