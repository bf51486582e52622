// FileTools operations: listing, tree walks, permissions, deleting,
// removing, comparing, copying, moving and creating folders.
#include <algorithm>
#include <deque>
#include <vector>

#include "corelib/FileTools.h"
#include "corelib/StringTools.h"
#include "corelib/WildcardMatch.h"
#include "platform/Clock.h"
#include "platform/CoreFiles.h"
#include "platform/FileSystem.h"
#include "platform/LastError.h"

namespace VemoraCorelib::FileTools {

namespace {

constexpr int kAttempts = 2;
constexpr uint32_t kRetryPauseMs = 25;

// A symbolic link: removed or counted itself, never walked into.
bool isLink(const std::string& path) {
  const uint32_t attributes = platform::fileAttributes(path);
  return attributes != platform::kInvalidFileAttributes &&
         (attributes & platform::kFileAttributeReparsePoint) != 0;
}

bool isRegularFileOrLink(const std::string& path) {
  const uint32_t attributes = platform::fileAttributes(path);
  return attributes != platform::kInvalidFileAttributes &&
         (attributes & platform::kFileAttributeDirectory) == 0;
}

std::string joined(const std::string& folder, const std::string& name) {
  std::string path = folder;
  addTrailingSeparator(path);
  return path + name;
}

// _chmod: only the write bit counts; without it the entry becomes read-only.
bool changeMode(const std::string& path, int flags) {
  const bool writable = (flags & 2) != 0;
  return platform::setFileAttributes(
      path, writable ? platform::kFileAttributeNormal : platform::kFileAttributeReadonly);
}

void report(ProgressCallback progress, const std::string& name, int code, uint64_t done,
            uint64_t total) {
  if (progress != nullptr) progress(name, code, done, total);
}

// Walks one folder of a permission change; false when a subfolder cannot
// be changed (the walk then stops).
bool changeFolderEntries(const std::string& folder, int flags, std::deque<std::string>& queue,
                         ProgressCallback progress, uint64_t& index, uint64_t total,
                         bool& allFilesChanged) {
  std::set<std::string> files, folders;
  if (!listDirectory(folder, "*", &files, &folders)) return true;
  for (const std::string& name : files) {
    const std::string full = folder + "\\" + name;
    const bool changed = changeMode(full, flags);
    if (!changed) allFilesChanged = false;
    if (progress != nullptr) report(progress, full, changed ? 1 : 0, ++index, total);
  }
  for (const std::string& name : folders) {
    const std::string full = folder + "\\" + name;
    if (!changeMode(full, flags)) return false;
    if (!isLink(full)) queue.push_back(full);
  }
  return true;
}

bool sameRoot(std::string a, std::string b) {
  std::string rootA = root(toBackslashes(a));
  std::string rootB = root(toBackslashes(b));
  return StringTools::toLower(rootA) == StringTools::toLower(rootB);
}

// Clears the CR switch for its lifetime, so that CR bytes are copied.
class CarriageReturnsKept {
 public:
  CarriageReturnsKept() : saved_(skipCarriageReturns.exchange(false)) {}
  ~CarriageReturnsKept() { skipCarriageReturns.store(saved_); }
  CarriageReturnsKept(const CarriageReturnsKept&) = delete;
  CarriageReturnsKept& operator=(const CarriageReturnsKept&) = delete;

 private:
  bool saved_;
};

bool copyBytes(std::FILE* source, std::FILE* destination, const std::string& destinationName,
               uint64_t size, uint64_t chunk, ProgressCallback progress) {
  uint64_t remaining = size;
  std::string buffer;
  while (remaining > 0) {
    if (!readBytes(source, buffer, static_cast<std::size_t>(chunk)) ||
        !writeText(destination, buffer)) {
      return false;
    }
    remaining -= buffer.size();
    if (remaining < chunk) chunk = remaining;
    report(progress, destinationName, 0, size - remaining, size);
  }
  return true;
}

// Opens, copies and closes; a destination whose close fails (its buffered
// bytes not written) is a failed copy.
bool copyContents(const std::string& source, const std::string& destination, uint64_t size,
                  uint64_t chunk, ProgressCallback progress) {
  CarriageReturnsKept keepCarriageReturns;
  std::FILE* in = openForRead(source);
  std::FILE* out = in != nullptr ? openForWrite(destination) : nullptr;
  bool copied =
      in != nullptr && out != nullptr && copyBytes(in, out, destination, size, chunk, progress);
  if (out != nullptr && std::fclose(out) != 0) copied = false;
  if (in != nullptr) std::fclose(in);
  return copied;
}

int compareStreams(std::FILE* a, std::FILE* b) {
  for (;;) {
    char byteA, byteB;
    const bool gotA = readByte(a, byteA);
    const bool gotB = readByte(b, byteB);
    if (!gotA) return gotB ? -1 : 0;
    if (!gotB) return 1;
    const auto signedA = static_cast<signed char>(byteA);
    const auto signedB = static_cast<signed char>(byteB);
    if (signedA != signedB) return signedA < signedB ? -1 : 1;
  }
}

bool createFolderPrefix(const std::string& prefix) {
  if (isDirectory(prefix) || isShortcut(prefix)) return true;
  if (exists(prefix)) return false;
  // A creation that fails because someone else made the folder meanwhile
  // still leaves a folder.
  platform::createDirectory(prefix);
  return isDirectory(prefix);
}

}  // namespace

bool listDirectory(std::string folder, const std::string& glob, std::set<std::string>* files,
                   std::set<std::string>* folders) {
  if (!isDirectory(folder)) return false;
  stripTrailingSeparators(folder);
  makeAbsolute(folder, currentDirectory());
  std::vector<platform::FindData> entries;
  if (!platform::findFiles(folder + "\\*", entries)) {
    return platform::lastError() == platform::kErrorFileNotFound;
  }
  for (const platform::FindData& entry : entries) {
    if (entry.name == "." || entry.name == "..") continue;
    if (!WildcardMatch(entry.name, glob, 0, std::string::npos)) continue;
    const bool isFolder = (entry.attributes & platform::kFileAttributeDirectory) != 0;
    std::set<std::string>* target = isFolder ? folders : files;
    if (target != nullptr) target->insert(entry.name);
  }
  return true;
}

std::set<std::string> listFiles(const std::string& folder, const std::string& glob) {
  std::set<std::string> files;
  listDirectory(folder, glob, &files, nullptr);
  return files;
}

std::set<std::string> listDirectories(const std::string& folder, const std::string& glob) {
  std::set<std::string> folders;
  listDirectory(folder, glob, nullptr, &folders);
  return folders;
}

bool countTree(const std::string& folder, const std::string& folderGlob,
               const std::string& fileGlob, uint64_t& folderCount, uint64_t& fileCount) {
  if (!isDirectory(folder)) return false;
  folderCount = 0;
  fileCount = 0;
  std::deque<std::string> queue{folder};
  while (!queue.empty()) {
    const std::string current = queue.front();
    queue.pop_front();
    fileCount += listFiles(current, fileGlob).size();
    const std::set<std::string> subfolders = listDirectories(current, folderGlob);
    folderCount += subfolders.size();
    for (const std::string& name : subfolders) {
      const std::string full = joined(current, name);
      if (!isLink(full)) queue.push_back(full);
    }
  }
  return true;
}

bool setPermissions(const std::string& path, int flags, bool recursive, ProgressCallback progress) {
  if (!changeMode(path, flags)) return false;
  if (!recursive || !isDirectory(path) || isLink(path)) return true;
  uint64_t total = 0;
  if (progress != nullptr) {
    uint64_t folders = 0;
    countTree(path, "*", "*", folders, total);
  }
  std::string start = path;
  std::deque<std::string> queue{stripTrailingSeparators(start)};
  uint64_t index = 0;
  bool allFilesChanged = true;
  while (!queue.empty()) {
    const std::string folder = queue.front();
    queue.pop_front();
    if (!changeFolderEntries(folder, flags, queue, progress, index, total, allFilesChanged)) {
      return false;
    }
  }
  return allFilesChanged;
}

bool deleteFile(const std::string& path, bool force) {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (platform::deleteFile(path)) return true;
    if (platform::lastError() == platform::kErrorAccessDenied && force &&
        setPermissions(path, 2, false) && platform::deleteFile(path)) {
      return true;
    }
    platform::sleepMs(kRetryPauseMs);
  }
  return false;
}

bool removeDirectory(const std::string& path, bool recursive, bool force,
                     ProgressCallback progress) {
  if (!isDirectory(path)) return false;
  if (platform::accessPath(path, 4) != 0 && !(force && setPermissions(path, 2, false))) {
    return false;
  }
  // A link is removed itself; what it points at is never cleared.
  if (recursive && !isLink(path) && !clearDirectory(path, force, progress)) return false;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (platform::removeDirectory(path)) return true;
    platform::sleepMs(kRetryPauseMs);
  }
  return false;
}

bool clearDirectory(const std::string& path, bool force, ProgressCallback progress) {
  std::set<std::string> files, folders;
  if (!isDirectory(path) || !listDirectory(path, "*", &files, &folders)) return false;
  std::string base = path;
  stripTrailingSeparators(base);
  uint64_t index = 0;
  for (const std::string& name : files) {
    const bool deleted = deleteFile(base + "\\" + name, force);
    report(progress, name, deleted ? 3 : 1, ++index, files.size());
  }
  // Folder reports count on past the files, so their total covers both.
  const uint64_t total = files.size() + folders.size();
  for (const std::string& name : folders) {
    const bool removed = removeDirectory(base + "\\" + name, true, force, nullptr);
    report(progress, name, removed ? 2 : 0, ++index, total);
  }
  return true;
}

int compareFiles(const std::string& a, const std::string& b) {
  if (!exists(a)) return exists(b) ? -1 : 0;
  if (!exists(b)) return 1;
  std::FILE* fileA = openForRead(a);
  std::FILE* fileB = openForRead(b);
  int result;
  if (fileA == nullptr || fileB == nullptr) {
    result = fileA != nullptr ? 1 : (fileB != nullptr ? -1 : 0);
  } else {
    result = compareStreams(fileA, fileB);
  }
  if (fileA != nullptr) std::fclose(fileA);
  if (fileB != nullptr) std::fclose(fileB);
  return result;
}

bool copyFile(const std::string& source, const std::string& destination, bool overwrite,
              unsigned chunk, bool verify, ProgressCallback progress) {
  if (source.empty() || !isRegularFileOrLink(source)) return false;
  if (exists(destination) && (!overwrite || platform::sameFile(source, destination))) {
    return false;  // never truncates the source by copying it onto itself
  }
  const uint64_t size = fileSize(source);
  const uint64_t step = std::min<uint64_t>(std::max(chunk, 1024u), size);
  const bool copied = copyContents(source, destination, size, step, progress);
  if (verify) return compareFiles(source, destination) == 0;
  return copied;
}

bool moveFile(const std::string& source, const std::string& destination, bool overwrite,
              unsigned chunk, bool verify, ProgressCallback progress) {
  if (source.empty() || !isRegularFileOrLink(source)) return false;
  const bool destinationExists = exists(destination);
  if (destinationExists && !overwrite) return false;
  // Deleting the destination first would delete the source itself.
  if (destinationExists && platform::sameFile(source, destination)) return false;
  if (!sameRoot(source, destination)) {
    return copyFile(source, destination, false, chunk, verify, progress) &&
           deleteFile(source, false);
  }
  uint32_t flags = platform::kMoveFileCopyAllowed | platform::kMoveFileWriteThrough;
  if (destinationExists && isDirectory(destination)) {
    // Only an empty folder gives way (even a read-only one): a file never
    // replaces a whole tree.
    if (!removeDirectory(destination, false, true)) return false;
  } else if (destinationExists) {
    // One rename replaces the file, read-only or not, so that the old or the
    // new file is in place at every moment.
    flags |= platform::kMoveFileReplaceExisting;
  }
  return platform::moveFileEx(source, destination, flags);
}

bool createDirectories(std::string path) {
  if (path.empty()) return false;
  normalizePath(path);
  if (path.empty()) return true;  // the current folder
  if (path.back() != '\\') {
    path = parentDirectory(path);
  } else {
    path.pop_back();
  }
  const bool leading = !path.empty() && path.front() == '\\';
  std::string current;
  for (const std::string& component : StringTools::split(path, '\\', 0, true)) {
    current = current.empty() && !leading ? component : current + "\\" + component;
    if (!createFolderPrefix(current)) return false;
  }
  return true;
}

}  // namespace VemoraCorelib::FileTools
