#include "platform/CoreFiles.h"

#include <fcntl.h>
#include <stdio_ext.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/LastError.h"
#include "platform/Path.h"

namespace platform {

int accessPath(const std::string& path, int mode) {
  const std::optional<std::string> native = toNativePath(path);
  if (!native) return -1;
  int how = F_OK;
  if (mode & 2) how |= W_OK;
  if (mode & 4) how |= R_OK;
  if (::access(native->c_str(), how) != 0) {
    setLastErrorFromErrno(errno);
    return -1;
  }
  setLastError(kErrorSuccess);
  return 0;
}

std::optional<uint64_t> openedFileSize(const std::string& path) {
  const std::optional<std::string> native = toNativePath(path);
  if (!native) return std::nullopt;
  const int fd = ::open(native->c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    setLastErrorFromErrno(errno);
    return std::nullopt;
  }
  struct stat info {};
  const off_t end = ::fstat(fd, &info) == 0 && !S_ISDIR(info.st_mode) ? ::lseek(fd, 0, SEEK_END)
                                                                      : static_cast<off_t>(-1);
  ::close(fd);
  if (end < 0) {
    setLastError(kErrorAccessDenied);
    return std::nullopt;
  }
  setLastError(kErrorSuccess);
  return static_cast<uint64_t>(end);
}

std::optional<std::string> windowsDirectory() {
  setLastError(kErrorSuccess);
  return std::string("C:\\Windows");
}

std::optional<std::string> longPathName(const std::string& path) {
  if (accessPath(path, 0) != 0) {
    setLastError(kErrorFileNotFound);
    return std::nullopt;
  }
  return path;
}

bool lastOperationWasWrite(std::FILE* file) {
  return file != nullptr && __fwriting(file) != 0 && __freading(file) == 0;
}

bool lastOperationWasRead(std::FILE* file) {
  return file != nullptr && __freading(file) != 0 && __fwriting(file) == 0;
}

bool sameFile(const std::string& a, const std::string& b) {
  const std::optional<std::string> nativeA = toNativePath(a);
  const std::optional<std::string> nativeB = toNativePath(b);
  if (!nativeA || !nativeB) return false;
  struct stat infoA {
  }, infoB{};
  if (::stat(nativeA->c_str(), &infoA) != 0 || ::stat(nativeB->c_str(), &infoB) != 0) {
    return false;
  }
  return infoA.st_dev == infoB.st_dev && infoA.st_ino == infoB.st_ino;
}

}  // namespace platform
