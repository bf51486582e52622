#include "platform/LockFolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include "platform/Env.h"
#include "platform/LastError.h"

namespace platform {

namespace {

std::optional<std::string> givenFolder() {
  std::optional<std::string> given = getEnv("VEMORA_LOCK_DIR");
  if (!given || given->empty()) return std::nullopt;
  return given;
}

std::string defaultFolder() {
  return defaultLockFolder(::geteuid(), getEnv("XDG_RUNTIME_DIR"));
}

bool refuse(std::string* problem, const std::string& text, uint32_t code) {
  if (problem != nullptr) *problem = text;
  setLastError(code);
  return false;
}

std::string octal(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

// A default folder someone else could have made or could write would hand
// every lock of this user to that someone.
bool checkSafe(const std::string& folder, const struct stat& info, std::string* problem) {
  if (S_ISLNK(info.st_mode)) {
    return refuse(problem, "the lock folder " + folder + " is a symbolic link", kErrorAccessDenied);
  }
  if (!S_ISDIR(info.st_mode)) {
    return refuse(problem, "the lock folder " + folder + " is not a folder", kErrorAccessDenied);
  }
  if (info.st_uid != ::geteuid()) {
    return refuse(problem,
                  "the lock folder " + folder + " belongs to user " + std::to_string(info.st_uid) +
                      ", not to user " + std::to_string(::geteuid()),
                  kErrorAccessDenied);
  }
  if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    return refuse(problem,
                  "the lock folder " + folder + " is writable by other users (mode " +
                      octal(info.st_mode) + ")",
                  kErrorAccessDenied);
  }
  return true;
}

}  // namespace

std::string defaultLockFolder(unsigned user, const std::optional<std::string>& runtimeDir) {
  if (user == 0) return "/run/vemora";
  if (runtimeDir && !runtimeDir->empty() && (*runtimeDir)[0] == '/') return *runtimeDir + "/vemora";
  return "/tmp/vemora-" + std::to_string(user);
}

std::string lockFolder() {
  const std::optional<std::string> given = givenFolder();
  return given ? *given : defaultFolder();
}

bool prepareLockFolder(std::string* problem) {
  const std::optional<std::string> given = givenFolder();
  return prepareLockFolderAt(given ? *given : defaultFolder(), !given, problem);
}

bool prepareLockFolderAt(const std::string& folder, bool checked, std::string* problem) {
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    const int err = errno;
    return refuse(problem,
                  "the lock folder " + folder + " cannot be created: " + std::strerror(err),
                  errorFromErrno(err));
  }
  // A given folder may be a link to a shared one; a default one may not.
  struct stat info {};
  if ((checked ? ::lstat(folder.c_str(), &info) : ::stat(folder.c_str(), &info)) != 0) {
    const int err = errno;
    return refuse(problem, "the lock folder " + folder + " cannot be read: " + std::strerror(err),
                  errorFromErrno(err));
  }
  if (checked) {
    if (!checkSafe(folder, info, problem)) return false;
  } else if (!S_ISDIR(info.st_mode)) {
    return refuse(problem, "the lock folder " + folder + " is not a folder", kErrorPathNotFound);
  }
  setLastError(kErrorSuccess);
  return true;
}

}  // namespace platform
