#include "platform/StdioOpen.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/LastError.h"
#include "platform/Path.h"

namespace platform {

std::FILE* openStdio(const std::string& windowsPath, const char* mode) {
  const std::optional<std::string> native = toNativePath(windowsPath);
  if (!native) return nullptr;
  struct stat info {};
  if (::stat(native->c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    setLastError(kErrorAccessDenied);
    return nullptr;
  }
  std::FILE* file = std::fopen(native->c_str(), mode);
  if (file == nullptr) {
    setLastErrorFromErrno(errno);
    return nullptr;
  }
  setLastError(kErrorSuccess);
  return file;
}

}  // namespace platform
