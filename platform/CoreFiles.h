// Runtime-library and Windows calls of the core library's file helpers that
// the shared file-system stand-in does not cover: _access, _open with
// _lseeki64/_telli64, GetWindowsDirectoryA, GetLongPathNameA and the stdio
// stream's last direction. Paths are Windows-form (see Path.h).
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace platform {

// _access: mode 0 existence, 2 write, 4 read, 6 both. 0 when allowed, -1
// otherwise (the last error set).
int accessPath(const std::string& path, int mode);

// _open(_O_BINARY | _O_RDONLY), _lseeki64 to the end, _telli64, _close: the
// size of a file, nullopt when it cannot be opened (a folder included).
std::optional<uint64_t> openedFileSize(const std::string& path);

// GetWindowsDirectoryA: always "C:\Windows" here.
std::optional<std::string> windowsDirectory();

// GetLongPathNameA: there are no short names, so an existing path comes
// back as given; nullopt (kErrorFileNotFound) when it does not exist.
std::optional<std::string> longPathName(const std::string& path);

// Whether the stream's last operation was a write / a read, so that a
// switch of direction can be preceded by fseek(0, SEEK_CUR).
bool lastOperationWasWrite(std::FILE* file);
bool lastOperationWasRead(std::FILE* file);

// Whether both paths name one existing file (the same device and inode),
// however they are written.
bool sameFile(const std::string& a, const std::string& b);

}  // namespace platform
