// What FileOps::stat tells about a path.
#pragma once

#include <cstdint>
#include <string>

#include "common/DateTime.h"

namespace Vemora {

struct FileInfo {
  // Attribute bits of the library.
  static constexpr uint32_t kArchive = 0x1;
  static constexpr uint32_t kCompressed = 0x2;
  static constexpr uint32_t kDirectory = 0x4;
  static constexpr uint32_t kEncrypted = 0x8;
  static constexpr uint32_t kHidden = 0x10;
  static constexpr uint32_t kOffline = 0x20;
  static constexpr uint32_t kReadOnly = 0x40;
  static constexpr uint32_t kSystem = 0x80;
  static constexpr uint32_t kTemporary = 0x100;
  static constexpr uint32_t kNormal = 0x200;
  static constexpr uint32_t kSparse = 0x1000;

  bool found = false;
  std::string fullPath;
  int64_t size = 0;  // 0 for a directory
  uint32_t attributes = 0;
  // UTC, to the second; 1970-01-01 00:00:00 when a time cannot be converted.
  DateTime created{0};
  DateTime accessed{0};
  DateTime written{0};
};

}  // namespace Vemora
