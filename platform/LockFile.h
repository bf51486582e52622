// An exclusive lock on a file at a given path, held for as long as the
// object holds it: another holder (in this process or another) is refused
// at once. Backed by flock on the file, which the kernel frees when the
// holder closes it or dies; the file itself is left in place.
#pragma once

#include <string>

namespace platform {

class LockFile {
 public:
  // `path` is a Windows path, mapped as every file function maps it.
  explicit LockFile(std::string path) : path_(std::move(path)) {}
  ~LockFile();
  LockFile(const LockFile&) = delete;
  LockFile& operator=(const LockFile&) = delete;

  // Creates the file when missing and takes the lock without waiting;
  // false (last error kErrorAlreadyExists) while another holder has it, or
  // another error number when the file cannot be opened. Taking a lock this
  // object holds already succeeds.
  bool tryLock();
  void unlock();
  bool held() const { return fd_ >= 0; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  int fd_ = -1;
};

}  // namespace platform
