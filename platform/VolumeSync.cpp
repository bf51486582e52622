#include "platform/VolumeSync.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "platform/LastError.h"
#include "platform/Path.h"

namespace platform {

VolumeSync::~VolumeSync() {
  close();
}

bool VolumeSync::open(const std::string& path) {
  close();
  const std::optional<std::string> native = toNativePath(path);
  if (!native) return false;
  const char* folder = native->empty() ? "." : native->c_str();
  fd_ = ::open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0) {
    setLastErrorFromErrno(errno);
    return false;
  }
  setLastError(0);
  return true;
}

bool VolumeSync::sync() {
  if (fd_ < 0) {
    setLastErrorFromErrno(EBADF);
    return false;
  }
  if (::syncfs(fd_) != 0) {
    setLastErrorFromErrno(errno);
    return false;
  }
  setLastError(0);
  return true;
}

void VolumeSync::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace platform
