#include "platform/File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "platform/LastError.h"
#include "platform/Path.h"

namespace platform {

namespace {

int openFlags(uint32_t flags) {
  int result = O_CLOEXEC;
  const bool reads = (flags & File::kRead) != 0;
  const bool writes = (flags & (File::kWrite | File::kAppend)) != 0;
  result |= reads && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY;
  if (flags & File::kCreate) result |= O_CREAT;
  if (flags & File::kTruncate) result |= O_TRUNC;
  if (flags & File::kAppend) result |= O_APPEND;
  if ((flags & File::kExclusive) && (flags & File::kCreate)) result |= O_EXCL;
  return result;
}

}  // namespace

std::unique_ptr<File> File::open(const std::string& windowsPath, uint32_t flags) {
  const std::optional<std::string> native = toNativePath(windowsPath);
  if (!native) return nullptr;
  if (native->empty()) {
    setLastError(kErrorPathNotFound);
    return nullptr;
  }
  const int mode = openFlags(flags);
  if ((flags & (kWrite | kAppend)) != 0) {
    // As CreateFileA: a file without its owner's write bit is read-only,
    // also for a privileged process, and is neither written nor truncated.
    struct stat existing {};
    if (::stat(native->c_str(), &existing) == 0 && S_ISREG(existing.st_mode) &&
        (existing.st_mode & S_IWUSR) == 0) {
      setLastError(kErrorAccessDenied);
      return nullptr;
    }
  }
  int fd;
  do {
    fd = ::open(native->c_str(), mode, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    setLastError(errno == EEXIST ? kErrorFileExists : errorFromErrno(errno));
    return nullptr;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    ::close(fd);
    setLastError(kErrorAccessDenied);
    return nullptr;
  }
  setLastError(kErrorSuccess);
  return std::unique_ptr<File>(new File(fd));
}

File::~File() {
  close();
}

int64_t File::size() const {
  struct stat info {};
  if (fd_ < 0 || ::fstat(fd_, &info) != 0) {
    setLastError(fd_ < 0 ? kErrorInvalidHandle : errorFromErrno(errno));
    return -1;
  }
  setLastError(kErrorSuccess);
  return static_cast<int64_t>(info.st_size);
}

int64_t File::readAt(uint64_t offset, char* buffer, size_t length) {
  if (fd_ < 0) {
    setLastError(kErrorInvalidHandle);
    return -1;
  }
  ssize_t n;
  do {
    n = ::pread(fd_, buffer, length, static_cast<off_t>(offset));
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    setLastErrorFromErrno(errno);
    return -1;
  }
  setLastError(kErrorSuccess);
  return n;
}

bool File::writeAt(uint64_t offset, const char* data, size_t length) {
  if (fd_ < 0) {
    setLastError(kErrorInvalidHandle);
    return false;
  }
  const bool appends = (::fcntl(fd_, F_GETFL) & O_APPEND) != 0;
  size_t done = 0;
  while (done < length) {
    // With O_APPEND the system writes at the end whatever the offset.
    const ssize_t n =
        appends ? ::write(fd_, data + done, length - done)
                : ::pwrite(fd_, data + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // A write that makes no progress means the disk is full.
      setLastError(n == 0 ? kErrorDiskFull : errorFromErrno(errno));
      return false;
    }
    done += static_cast<size_t>(n);
  }
  setLastError(kErrorSuccess);
  return true;
}

bool File::sync() {
  if (fd_ < 0) {
    setLastError(kErrorInvalidHandle);
    return false;
  }
  if (::fsync(fd_) != 0) {
    setLastErrorFromErrno(errno);
    return false;
  }
  setLastError(kErrorSuccess);
  return true;
}

bool File::close() {
  if (fd_ < 0) return true;
  const int fd = fd_;
  fd_ = -1;
  // Linux releases the descriptor even when close fails; never retry.
  if (::close(fd) != 0 && errno != EINTR) {
    setLastErrorFromErrno(errno);
    return false;
  }
  setLastError(kErrorSuccess);
  return true;
}

}  // namespace platform
