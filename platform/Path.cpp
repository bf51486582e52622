#include "platform/Path.h"

#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/Env.h"
#include "platform/LastError.h"

namespace platform {

const char* const kNativeRoot = "native:";

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

bool startsWithNativeRoot(const std::string& path) {
  const std::size_t length = std::strlen(kNativeRoot);
  return path.size() >= length && ::strncasecmp(path.c_str(), kNativeRoot, length) == 0 &&
         (path.size() == length || isSeparator(path[length]));
}

std::optional<std::string> nativeCurrentFolder() {
  std::vector<char> buffer(PATH_MAX + 1);
  if (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    setLastErrorFromErrno(errno);
    return std::nullopt;
  }
  return std::string(buffer.data());
}

// The components of a native path, without empty ones and ".".
std::vector<std::string> components(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(start, end - start);
    if (!part.empty() && part != ".") parts.push_back(std::move(part));
    start = end + 1;
  }
  return parts;
}

// An absolute native path without "." and repeated '/'. The folders up to the
// last ".." are resolved by the system (through symbolic links, as opening
// the path would); when they do not exist the ".." stay, so the path still
// fails as the system would fail it.
std::string resolveDots(const std::string& absolute) {
  const std::vector<std::string> parts = components(absolute);
  std::size_t next = 0;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (parts[i] == "..") next = i + 1;
  }
  std::string out;
  for (std::size_t i = 0; i < next; ++i) out += "/" + parts[i];
  if (next > 0) {
    if (char* real = ::realpath(out.c_str(), nullptr)) {
      out = real;
      std::free(real);
      if (out == "/") out.clear();
    }
  }
  for (std::size_t i = next; i < parts.size(); ++i) out += "/" + parts[i];
  if (out.empty() || absolute.back() == '/') out += "/";
  return out;
}

}  // namespace

std::size_t windowsRootLength(const std::string& windowsPath) {
  if (windowsPath.size() >= 2 && windowsPath[1] == ':' && isDriveLetter(windowsPath[0])) return 2;
  return startsWithNativeRoot(windowsPath) ? std::strlen(kNativeRoot) : 0;
}

std::optional<std::string> toNativePath(const std::string& windowsPath) {
  const std::string drive = driveFolder();  // sets the last error; reset below
  setLastError(kErrorSuccess);
  if (windowsPath.size() >= 2 && isSeparator(windowsPath[0]) && isSeparator(windowsPath[1])) {
    setLastError(kErrorBadNetPath);
    return std::nullopt;
  }
  if (startsWithNativeRoot(windowsPath)) {
    const std::string rest = withSlashes(windowsPath.substr(std::strlen(kNativeRoot)));
    return rest.empty() ? std::string("/") : rest;
  }
  if (windowsPath.size() >= 2 && windowsPath[1] == ':' && isDriveLetter(windowsPath[0])) {
    if (windowsPath[0] != 'c' && windowsPath[0] != 'C') {
      setLastError(kErrorPathNotFound);
      return std::nullopt;
    }
    std::string rest = withSlashes(windowsPath.substr(2));
    // "C:name" is relative to the current folder.
    if (rest.empty() || rest[0] != '/') return rest.empty() ? drive + "/" : rest;
    return drive + rest;
  }
  if (!windowsPath.empty() && isSeparator(windowsPath[0])) return drive + withSlashes(windowsPath);
  return withSlashes(windowsPath);
}

std::string toWindowsPath(const std::string& nativePath) {
  if (nativePath.empty() || nativePath[0] != '/') {
    const std::string relative = withBackslashes(nativePath);
    // "C:x" or "native:" as a native name must not read as a root.
    return windowsRootLength(relative) > 0 ? ".\\" + relative : relative;
  }
  const std::string drive = driveFolder();
  setLastError(kErrorSuccess);
  if (drive.empty()) return "C:" + withBackslashes(nativePath);
  if (nativePath == drive) return "C:\\";
  if (nativePath.compare(0, drive.size(), drive) == 0 && nativePath[drive.size()] == '/') {
    return "C:" + withBackslashes(nativePath.substr(drive.size()));
  }
  return kNativeRoot + withBackslashes(nativePath);
}

std::string argumentPath(const std::string& path) {
  if (path.empty() || startsWithNativeRoot(path)) return path;
  if (path.size() >= 3 && windowsRootLength(path) == 2 && isSeparator(path[2])) return path;
  std::string absolute = path;
  if (path[0] != '/') {
    const std::optional<std::string> current = nativeCurrentFolder();
    if (!current) return toWindowsPath(path);
    absolute = *current + "/" + path;
  }
  return toWindowsPath(resolveDots(absolute));
}

std::string currentDirectory() {
  const std::optional<std::string> current = nativeCurrentFolder();
  return current ? toWindowsPath(*current) : std::string();
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
