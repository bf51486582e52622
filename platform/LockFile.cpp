#include "platform/LockFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "platform/LastError.h"
#include "platform/Path.h"

namespace platform {

LockFile::~LockFile() {
  unlock();
}

bool LockFile::tryLock() {
  if (fd_ >= 0) {
    setLastError(kErrorSuccess);
    return true;
  }
  const std::optional<std::string> native = toNativePath(path_);
  if (!native) return false;  // the last error says why
  const int fd = ::open(native->c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) {
    setLastErrorFromErrno(errno);
    return false;
  }
  int r = 0;
  do {
    r = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (r != 0 && errno == EINTR);
  if (r != 0) {
    const int err = errno;
    ::close(fd);
    setLastError(err == EWOULDBLOCK ? kErrorAlreadyExists : errorFromErrno(err));
    return false;
  }
  fd_ = fd;
  setLastError(kErrorSuccess);
  return true;
}

void LockFile::unlock() {
  if (fd_ < 0) return;
  ::close(fd_);  // closing drops the flock
  fd_ = -1;
}

}  // namespace platform
