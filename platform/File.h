// An open file by Windows-form path (CreateFileA / _open with binary mode),
// unbuffered: every write is handed to the system at once and reports its
// error (a full disk is kErrorDiskFull), so nothing waits in a buffer that
// could fail later. Files are shared for reading and writing with every
// other opener, as with FILE_SHARE_READ | FILE_SHARE_WRITE. A folder is
// never opened, and a read-only file (no owner write bit) never for writing
// (kErrorAccessDenied). Descriptors are close-on-exec.
//
// One object is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

class File {
 public:
  enum Flags : uint32_t {
    kRead = 0x1,
    kWrite = 0x2,
    kCreate = 0x4,     // create when missing
    kTruncate = 0x8,   // empty it at open
    kAppend = 0x10,    // every write goes to the end
    kExclusive = 0x20  // with kCreate: fail with kErrorFileExists when it exists
  };

  // nullptr and the last error when it cannot be opened.
  static std::unique_ptr<File> open(const std::string& windowsPath, uint32_t flags);

  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // The current size in bytes, -1 on failure.
  int64_t size() const;
  // Reads up to `length` bytes at `offset`: the count (0 at the end), or -1.
  int64_t readAt(uint64_t offset, char* buffer, size_t length);
  // Writes all `length` bytes at `offset` (at the end with kAppend); false
  // when not all of them could be written.
  bool writeAt(uint64_t offset, const char* data, size_t length);
  // fsync: true once the data is on the disk.
  bool sync();
  // Closes; false when the system reports a late write error. Safe to call
  // twice.
  bool close();

 private:
  explicit File(int fd) : fd_(fd) {}
  int fd_;
};

}  // namespace platform
