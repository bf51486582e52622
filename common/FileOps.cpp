#include "common/FileOps.h"

#include <memory>
#include <vector>

#include "common/FileInfo.h"
#include "platform/Clock.h"
#include "platform/File.h"
#include "platform/FileSystem.h"

namespace Vemora {

namespace {

// The library's attribute bits and the system's, for every bit the library
// knows; `settable` marks those that setAttributes passes on.
struct AttributeBit {
  uint32_t library;
  uint32_t system;
  bool settable;
};

constexpr AttributeBit kBits[] = {
    {FileInfo::kArchive, platform::kFileAttributeArchive, true},
    {FileInfo::kCompressed, platform::kFileAttributeCompressed, false},
    {FileInfo::kDirectory, platform::kFileAttributeDirectory, false},
    {FileInfo::kEncrypted, platform::kFileAttributeEncrypted, false},
    {FileInfo::kHidden, platform::kFileAttributeHidden, true},
    {FileInfo::kOffline, platform::kFileAttributeOffline, true},
    {FileInfo::kReadOnly, platform::kFileAttributeReadonly, true},
    {FileInfo::kSystem, platform::kFileAttributeSystem, true},
    {FileInfo::kTemporary, platform::kFileAttributeTemporary, true},
    {FileInfo::kNormal, platform::kFileAttributeNormal, true},
    {FileInfo::kSparse, platform::kFileAttributeSparseFile, false},
};

uint32_t libraryBits(uint32_t system) {
  uint32_t bits = 0;
  for (const AttributeBit& bit : kBits) {
    if (system & bit.system) bits |= bit.library;
  }
  return bits;
}

// Times the library cannot hold (before 1970, after 2038) read as 0.
DateTime timeOf(int64_t seconds) {
  if (seconds < 0 || seconds > 2147483647) return DateTime(0);
  return DateTime(static_cast<int32_t>(seconds));
}

std::string withoutTrailingBackslash(const std::string& path) {
  if (!path.empty() && path.back() == '\\') return path.substr(0, path.size() - 1);
  return path;
}

}  // namespace

bool FileOps::stat(const std::string& path, FileInfo& out) {
  std::vector<platform::FindData> found;
  if (path.empty() || !platform::findFiles(path, found)) {
    out.found = false;
    return false;
  }
  const platform::FindData& first = found.front();
  out.found = true;
  out.fullPath = platform::fullPathName(path).value_or(path);
  out.attributes = libraryBits(first.attributes);
  out.created = timeOf(first.created);
  out.accessed = timeOf(first.accessed);
  out.written = timeOf(first.written);
  out.size = 0;
  if (first.attributes & platform::kFileAttributeDirectory) return true;
  // The entry found, in its stored spelling (the path may differ in case or
  // be a pattern).
  const size_t cut = path.find_last_of("\\/");
  const std::string entry =
      (cut == std::string::npos ? std::string() : path.substr(0, cut + 1)) + first.name;
  std::unique_ptr<platform::File> file = platform::File::open(entry, platform::File::kRead);
  if (!file) return false;
  out.size = file->size();
  if (out.size < 0) {
    out.size = 0;
    return false;
  }
  return true;
}

bool FileOps::exists(const std::string& path) {
  const std::string trimmed = withoutTrailingBackslash(path);
  if (trimmed.empty()) return false;
  if (trimmed.back() == ':') {
    // A drive whose root the system does not know is missing.
    const uint32_t type = platform::driveType(trimmed);
    return type != platform::kDriveUnknown && type != platform::kDriveNoRootDir;
  }
  FileInfo info;
  return stat(trimmed, info);
}

bool FileOps::pathExists(const std::string& path) {
  return exists(path);
}

bool FileOps::isDirectory(const std::string& path) {
  std::string trimmed = withoutTrailingBackslash(path);
  if (!trimmed.empty() && trimmed.back() == '/') trimmed.pop_back();
  if (trimmed.empty()) return false;
  std::vector<platform::FindData> found;
  if (!platform::findFiles(trimmed, found)) return false;
  return (found.front().attributes & platform::kFileAttributeDirectory) != 0;
}

bool FileOps::move(const std::string& from, const std::string& to, bool overwrite) {
  const uint32_t flags = platform::kMoveFileReplaceExisting | platform::kMoveFileCopyAllowed |
                         platform::kMoveFileWriteThrough;
  for (int attempt = 1;; ++attempt) {
    const bool moved =
        overwrite ? platform::moveFileEx(from, to, flags) : platform::moveFile(from, to);
    if (moved) return true;
    if (attempt == kMoveAttempts) return false;
    platform::sleepMs(kMoveRetryMs);
  }
}

bool FileOps::copy(const std::string& from, const std::string& to, bool overwrite) {
  return platform::copyFile(from, to, !overwrite);
}

bool FileOps::deleteFile(const std::string& path) {
  return platform::deleteFile(path);
}

bool FileOps::createDirectory(const std::string& path) {
  return platform::createDirectory(path);
}

bool FileOps::removeDirectory(const std::string& path) {
  return platform::removeDirectory(path);
}

bool FileOps::setAttributes(const std::string& path, uint32_t bits) {
  uint32_t system = 0;
  for (const AttributeBit& bit : kBits) {
    if (bit.settable && (bits & bit.library)) system |= bit.system;
  }
  return platform::setFileAttributes(path, system);
}

}  // namespace Vemora
