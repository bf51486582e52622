#include "platform/Path.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <vector>

#include "platform/Env.h"
#include "platform/LastError.h"

namespace platform {

namespace {

bool isSeparator(char c) {
  return c == '\\' || c == '/';
}

// The folder that stands for drive C, without a trailing '/' ("" for "/").
std::string driveFolder() {
  std::string folder = getEnv("VEMORA_DRIVE_C").value_or("/");
  if (folder.empty()) folder = "/";
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder == "/" ? std::string() : folder;
}

std::string withSlashes(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

std::string withBackslashes(std::string path) {
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

bool isDriveLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

std::optional<std::string> toNativePath(const std::string& windowsPath) {
  const std::string drive = driveFolder();  // sets the last error; reset below
  setLastError(kErrorSuccess);
  if (windowsPath.size() >= 2 && isSeparator(windowsPath[0]) && isSeparator(windowsPath[1])) {
    setLastError(kErrorBadNetPath);
    return std::nullopt;
  }
  if (windowsPath.size() >= 2 && windowsPath[1] == ':' && isDriveLetter(windowsPath[0])) {
    if (windowsPath[0] != 'c' && windowsPath[0] != 'C') {
      setLastError(kErrorPathNotFound);
      return std::nullopt;
    }
    std::string rest = withSlashes(windowsPath.substr(2));
    // "C:name" is relative to the current folder of drive C, which is ours.
    if (rest.empty() || rest[0] != '/') return rest.empty() ? drive + "/" : rest;
    return drive + rest;
  }
  if (!windowsPath.empty() && isSeparator(windowsPath[0])) return drive + withSlashes(windowsPath);
  return withSlashes(windowsPath);
}

std::string toWindowsPath(const std::string& nativePath) {
  if (nativePath.empty() || nativePath[0] != '/') return withBackslashes(nativePath);
  const std::string drive = driveFolder();
  setLastError(kErrorSuccess);
  if (drive.empty()) return "C:" + withBackslashes(nativePath);
  if (nativePath == drive) return "C:\\";
  if (nativePath.compare(0, drive.size(), drive) == 0 && nativePath[drive.size()] == '/') {
    return "C:" + withBackslashes(nativePath.substr(drive.size()));
  }
  return withBackslashes(nativePath);
}

std::string currentDirectory() {
  std::vector<char> buffer(PATH_MAX + 1);
  if (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    const int err = errno;
    setLastErrorFromErrno(err);
    return std::string();
  }
  return toWindowsPath(buffer.data());
}

std::string programPath() {
  std::vector<char> buffer(PATH_MAX + 1);
  const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n < 0) {
    const int err = errno;
    setLastErrorFromErrno(err);
    return std::string();
  }
  return toWindowsPath(std::string(buffer.data(), static_cast<size_t>(n)));
}

}  // namespace platform
