// The thin layer over the system's file functions. Paths may use '\' or
// '/'. Nothing throws or logs; results are bool. Thread-safe (no state).
#pragma once

#include <cstdint>
#include <string>

namespace Vemora {

struct FileInfo;

class FileOps {
 public:
  FileOps() = delete;

  // Looks the path up (a path with '*' or '?' describes its first match).
  // Not found: out.found false, result false. Found: found, fullPath,
  // attributes and times filled; the size of a file is measured by opening
  // it for reading, and when that fails the result is false although found
  // is true.
  static bool stat(const std::string& path, FileInfo& out);
  // One trailing '\' is removed; "X:" is a drive that exists when the system
  // knows a root there; "" does not exist; else stat's result.
  static bool exists(const std::string& path);
  static bool pathExists(const std::string& path);
  // One trailing '\' and then one '/' removed; true for a directory.
  static bool isDirectory(const std::string& path);

  // Up to 6 attempts, 2000 ms apart. Without overwrite an existing target is
  // never replaced; with it the target is replaced atomically (and across
  // file systems by copy and delete).
  static bool move(const std::string& from, const std::string& to, bool overwrite);
  // Fails when the target exists and overwrite is false.
  static bool copy(const std::string& from, const std::string& to, bool overwrite);
  static bool deleteFile(const std::string& path);
  // No parents are created.
  static bool createDirectory(const std::string& path);
  static bool removeDirectory(const std::string& path);
  // The settable bits of FileInfo (archive, hidden, offline, read-only,
  // system, temporary, normal); the others are dropped.
  static bool setAttributes(const std::string& path, uint32_t bits);

  // Attempts and wait of move.
  static constexpr int kMoveAttempts = 6;
  static constexpr uint32_t kMoveRetryMs = 2000;
};

}  // namespace Vemora
