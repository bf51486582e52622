#include "platform/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/aio_abi.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/FaultPoint.h"
#include "platform/LastError.h"
#include "platform/Path.h"

namespace platform {

namespace {

bool isSeparator(char c) {
  return c == '\\' || c == '/';
}

char lowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Windows pattern match of one name component, ASCII case-insensitive.
bool matchPattern(const std::string& pattern, const std::string& name) {
  size_t p = 0, n = 0, starP = std::string::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() &&
               (pattern[p] == '?' || lowerAscii(pattern[p]) == lowerAscii(name[n]))) {
      ++p;
      ++n;
    } else if (starP != std::string::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::string joinNative(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

int64_t seconds(const struct timespec& t) {
  return static_cast<int64_t>(t.tv_sec);
}

// The attributes of an entry from its own lstat; a link adds what its target
// tells (directory or not), never its write bits.
bool describe(const std::string& nativePath, const std::string& name, FindData& out) {
  struct stat own {};
  if (::lstat(nativePath.c_str(), &own) != 0) return false;
  out.name = name;
  out.created = seconds(own.st_ctim);
  out.accessed = seconds(own.st_atim);
  out.written = seconds(own.st_mtim);
  out.size = 0;
  if (S_ISLNK(own.st_mode)) {
    out.attributes = kFileAttributeReparsePoint;
    struct stat target {};
    if (::stat(nativePath.c_str(), &target) == 0) {
      if (S_ISDIR(target.st_mode)) {
        out.attributes |= kFileAttributeDirectory;
      } else {
        out.size = static_cast<uint64_t>(target.st_size);
      }
    }
    return true;
  }
  uint32_t attributes = 0;
  if (S_ISDIR(own.st_mode)) {
    attributes |= kFileAttributeDirectory;
  } else {
    out.size = static_cast<uint64_t>(own.st_size);
  }
  if ((own.st_mode & S_IWUSR) == 0) attributes |= kFileAttributeReadonly;
  out.attributes = attributes == 0 ? kFileAttributeNormal : attributes;
  return true;
}

bool fail(uint32_t code) {
  setLastError(code);
  return false;
}

bool failErrno() {
  setLastErrorFromErrno(errno);
  return false;
}

bool succeed() {
  setLastError(kErrorSuccess);
  return true;
}

// Finds a name in a folder regardless of ASCII case.
bool findExact(const std::string& folder, const std::string& name, FindData& out) {
  if (describe(joinNative(folder, name), name, out)) return true;
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return false;
  bool found = false;
  while (const dirent* entry = ::readdir(dir)) {
    if (::strcasecmp(entry->d_name, name.c_str()) == 0 &&
        describe(joinNative(folder, entry->d_name), entry->d_name, out)) {
      found = true;
      break;
    }
  }
  ::closedir(dir);
  return found;
}

bool folderExists(const std::string& folder) {
  struct stat info {};
  return ::stat(folder.empty() ? "." : folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::optional<std::string> native(const std::string& path) {
  if (path.empty()) {
    setLastError(kErrorPathNotFound);
    return std::nullopt;
  }
  return toNativePath(path);
}

// The folder part of a native path ("." when it has none).
std::string parentOf(const std::string& nativePath) {
  const size_t slash = nativePath.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : nativePath.substr(0, slash);
}

bool syncNativeFolder(const std::string& folder) {
  if (faultDue(FaultOp::kSync, folder)) return fail(errorFromErrno(EIO));
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return failErrno();
  const bool ok = ::fsync(fd) == 0 || errno == EINVAL || errno == ENOTSUP;
  const int err = errno;
  ::close(fd);
  if (!ok) {
    setLastErrorFromErrno(err);
    return false;
  }
  return succeed();
}

// Copies a regular file's bytes, permission bits and times, then fsyncs the
// target. `flags` decides how the target is created.
bool copyNative(const std::string& from, const std::string& to, int createFlags) {
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return failErrno();
  struct stat info {};
  if (::fstat(in, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(in);
    return fail(kErrorAccessDenied);
  }
  struct stat existing {};
  if (::stat(to.c_str(), &existing) == 0 && existing.st_dev == info.st_dev &&
      existing.st_ino == info.st_ino) {
    ::close(in);
    return fail(kErrorSharingViolation);  // copying a file onto itself
  }
  const int out =
      ::open(to.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | createFlags, info.st_mode & 07777);
  if (out < 0) {
    const int err = errno;
    ::close(in);
    return fail(err == EEXIST ? kErrorFileExists : errorFromErrno(err));
  }
  char buffer[65536];
  bool ok = true;
  int err = 0;
  for (;;) {
    const ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n < 0) ok = false, err = errno;
      break;
    }
    for (ssize_t done = 0; ok && done < n;) {
      const ssize_t w = ::write(out, buffer + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        ok = false;
        err = w == 0 ? ENOSPC : errno;
      } else {
        done += w;
      }
    }
    if (!ok) break;
  }
  if (ok) {
    ::fchmod(out, info.st_mode & 07777);
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    ::futimens(out, times);
    if (::fsync(out) != 0) ok = false, err = errno;
  }
  if (::close(out) != 0 && ok) ok = false, err = errno;
  ::close(in);
  if (!ok) {
    setLastErrorFromErrno(err);
    return false;
  }
  return succeed();
}

std::atomic<uint32_t> copyCounter{0};

// A move across file systems: copy beside the target, sync, rename over it
// (or, without replacing, link it in exclusively), then unlink the source.
bool moveAcross(const std::string& from, const std::string& to, bool replace) {
  const std::string temp =
      to + ".~mv" + std::to_string(::getpid()) + "-" + std::to_string(copyCounter.fetch_add(1));
  if (!copyNative(from, temp, O_EXCL)) {
    const uint32_t code = lastError();
    ::unlink(temp.c_str());
    return fail(code);
  }
  const bool placed =
      replace ? ::rename(temp.c_str(), to.c_str()) == 0 : ::link(temp.c_str(), to.c_str()) == 0;
  const int err = errno;
  if (!placed || !replace) ::unlink(temp.c_str());
  if (!placed) return fail(err == EEXIST ? kErrorAlreadyExists : errorFromErrno(err));
  syncNativeFolder(parentOf(to));
  if (::unlink(from.c_str()) != 0) return failErrno();
  return succeed();
}

// rename without replacing an existing target.
bool renameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return succeed();
  }
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
    return fail(errno == EEXIST ? kErrorAlreadyExists : errorFromErrno(errno));
  }
  // The file system cannot rename exclusively: check, then rename.
  struct stat info {};
  if (::lstat(to.c_str(), &info) == 0) return fail(kErrorAlreadyExists);
  if (::rename(from.c_str(), to.c_str()) != 0) return failErrno();
  return succeed();
}

bool isRegularFile(const std::string& nativePath) {
  struct stat info {};
  return ::lstat(nativePath.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool moveNative(const std::string& from, const std::string& to, uint32_t flags) {
  struct stat source {};
  if (::lstat(from.c_str(), &source) != 0) return failErrno();
  const bool replace = (flags & kMoveFileReplaceExisting) != 0;
  bool moved;
  if (replace) {
    struct stat target {};
    if (::lstat(to.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) {
      return fail(kErrorAccessDenied);  // a folder is never replaced
    }
    const bool faulty = faultDue(FaultOp::kRename, to) || faultDue(FaultOp::kRename, from);
    moved = !faulty && ::rename(from.c_str(), to.c_str()) == 0;
    if (!moved) setLastError(errorFromErrno(faulty ? EIO : errno));
  } else {
    moved = renameNoReplace(from, to);
  }
  if (!moved) {
    if (lastError() != kErrorNotSameDevice) return false;
    if ((flags & kMoveFileCopyAllowed) == 0 || !isRegularFile(from)) return false;
    return moveAcross(from, to, replace);
  }
  if (flags & kMoveFileWriteThrough) syncNativeFolder(parentOf(to));
  return succeed();
}

}  // namespace

bool findFiles(const std::string& pattern, std::vector<FindData>& out) {
  out.clear();
  size_t cut = pattern.find_last_of("\\/");
  const std::string folderPart = cut == std::string::npos ? "" : pattern.substr(0, cut + 1);
  std::string last = cut == std::string::npos ? pattern : pattern.substr(cut + 1);
  if (last.empty()) return fail(kErrorFileNotFound);
  std::string folder;
  if (!folderPart.empty()) {
    const std::optional<std::string> translated = toNativePath(folderPart);
    if (!translated) return false;
    folder = *translated;
  }
  if (!folderExists(folder)) return fail(kErrorPathNotFound);
  if (last.find_first_of("*?") == std::string::npos) {
    FindData entry;
    if (!findExact(folder, last, entry)) return fail(kErrorFileNotFound);
    out.push_back(entry);
    return succeed();
  }
  if (last == "*.*") last = "*";
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return failErrno();
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    FindData data;
    if (matchPattern(last, name) && describe(joinNative(folder, name), name, data)) {
      out.push_back(data);
    }
  }
  ::closedir(dir);
  if (out.empty()) return fail(kErrorFileNotFound);
  return succeed();
}

uint32_t fileAttributes(const std::string& path) {
  const std::optional<std::string> nativePath = native(path);
  if (!nativePath) return kInvalidFileAttributes;
  FindData data;
  if (!describe(*nativePath, "", data)) {
    setLastErrorFromErrno(errno);
    return kInvalidFileAttributes;
  }
  setLastError(kErrorSuccess);
  return data.attributes;
}

bool setFileAttributes(const std::string& path, uint32_t attributes) {
  const std::optional<std::string> nativePath = native(path);
  if (!nativePath) return false;
  struct stat info {};
  if (::lstat(nativePath->c_str(), &info) != 0) return failErrno();
  if (S_ISLNK(info.st_mode)) return succeed();  // a link has no bits of its own
  mode_t mode = info.st_mode & 07777;
  if (attributes & kFileAttributeReadonly) {
    mode &= static_cast<mode_t>(~0222);
  } else {
    mode |= S_IWUSR;
  }
  if (::chmod(nativePath->c_str(), mode) != 0) return failErrno();
  return succeed();
}

std::optional<std::string> fullPathName(const std::string& path) {
  if (path.empty()) {
    setLastError(kErrorInvalidName);
    return std::nullopt;
  }
  if (path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1])) {
    std::string unc = path;
    for (char& c : unc) c = c == '/' ? '\\' : c;
    setLastError(kErrorSuccess);
    return unc;
  }
  const std::size_t rootLength = windowsRootLength(path);
  std::string prefix;  // "X:" or the native root
  std::string rest;
  // A root and its separator ("C:\x", "native:\x"), or the native root alone.
  const bool rooted =
      rootLength > 0 && (rootLength < path.size() ? isSeparator(path[rootLength]) : rootLength > 2);
  if (rooted) {
    prefix = path.substr(0, rootLength);
    rest = path.substr(rootLength);
  } else if (rootLength == 2 && lowerAscii(path[0]) != 'c') {
    prefix = path.substr(0, 2);  // another drive's current folder is its root
    rest = "\\" + path.substr(2);
  } else {
    // Relative, or "C:name" (relative to the current folder, as toNativePath
    // reads it), or a single leading separator (the root of C).
    const std::string relative = rootLength == 2 ? path.substr(2) : path;
    if (!relative.empty() && isSeparator(relative[0])) {
      prefix = "C:";
      rest = relative;
    } else {
      const std::string current = currentDirectory();
      const std::size_t currentRoot = windowsRootLength(current);
      prefix = current.substr(0, currentRoot);
      rest = current.substr(currentRoot) + "\\" + relative;
    }
  }
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= rest.size()) {
    std::size_t end = rest.find_first_of("\\/", start);
    if (end == std::string::npos) end = rest.size();
    const std::string part = rest.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string result = prefix;
  for (const std::string& part : parts) result += "\\" + part;
  if (parts.empty() || isSeparator(path.back())) result += "\\";
  setLastError(kErrorSuccess);
  return result;
}

uint32_t driveType(const std::string& root) {
  setLastError(kErrorSuccess);
  const std::size_t rootLength = windowsRootLength(root);
  if (rootLength > 2) {
    return root.size() <= rootLength + 1 ? kDriveFixed : kDriveNoRootDir;  // the native root
  }
  if (root.size() < 2 || root[1] != ':') return kDriveNoRootDir;
  if (root.size() > 3 || (root.size() == 3 && !isSeparator(root[2]))) return kDriveNoRootDir;
  return lowerAscii(root[0]) == 'c' ? kDriveFixed : kDriveNoRootDir;
}

bool moveFile(const std::string& from, const std::string& to) {
  return moveFileEx(from, to, kMoveFileCopyAllowed);
}

bool moveFileEx(const std::string& from, const std::string& to, uint32_t flags) {
  const std::optional<std::string> source = native(from);
  if (!source) return false;
  const std::optional<std::string> target = native(to);
  if (!target) return false;
  return moveNative(*source, *target, flags);
}

bool copyFile(const std::string& from, const std::string& to, bool failIfExists) {
  const std::optional<std::string> source = native(from);
  if (!source) return false;
  const std::optional<std::string> target = native(to);
  if (!target) return false;
  return copyNative(*source, *target, failIfExists ? O_EXCL : O_TRUNC);
}

bool deleteFile(const std::string& path) {
  const std::optional<std::string> nativePath = native(path);
  if (!nativePath) return false;
  struct stat info {};
  if (::lstat(nativePath->c_str(), &info) != 0) return failErrno();
  if (S_ISDIR(info.st_mode)) return fail(kErrorAccessDenied);
  if (!S_ISLNK(info.st_mode) && (info.st_mode & S_IWUSR) == 0) return fail(kErrorAccessDenied);
  if (faultDue(FaultOp::kUnlink, *nativePath)) return fail(errorFromErrno(EIO));
  if (::unlink(nativePath->c_str()) != 0) return failErrno();
  return succeed();
}

bool createDirectory(const std::string& path) {
  const std::optional<std::string> nativePath = native(path);
  if (!nativePath) return false;
  if (::mkdir(nativePath->c_str(), 0777) != 0) return failErrno();
  return succeed();
}

bool removeDirectory(const std::string& path) {
  const std::optional<std::string> nativePath = native(path);
  if (!nativePath) return false;
  std::string target = *nativePath;
  while (target.size() > 1 && target.back() == '/') target.pop_back();
  struct stat info {};
  if (::lstat(target.c_str(), &info) != 0) return failErrno();
  if (S_ISLNK(info.st_mode)) {
    // A link to a folder is removed itself; its target is never touched.
    struct stat pointed {};
    if (::stat(target.c_str(), &pointed) != 0 || !S_ISDIR(pointed.st_mode)) {
      return fail(kErrorDirectory);
    }
    if (::unlink(target.c_str()) != 0) return failErrno();
    return succeed();
  }
  if (!S_ISDIR(info.st_mode)) return fail(kErrorDirectory);
  if ((info.st_mode & S_IWUSR) == 0) return fail(kErrorAccessDenied);
  if (::rmdir(target.c_str()) != 0) {
    return fail(errno == ENOTEMPTY || errno == EEXIST ? kErrorDirNotEmpty : errorFromErrno(errno));
  }
  return succeed();
}

bool copyPermissions(const std::string& from, const std::string& to) {
  const std::optional<std::string> source = native(from);
  if (!source) return false;
  const std::optional<std::string> target = native(to);
  if (!target) return false;
  struct stat info {};
  if (::stat(source->c_str(), &info) != 0) return failErrno();
  if (::chmod(target->c_str(), info.st_mode & 07777) != 0) return failErrno();
  return succeed();
}

namespace {

constexpr size_t kSyncBatch = 256;

// One asynchronous-I/O context per thread, made at its first batch and kept:
// destroying a context waits for the kernel (tens of milliseconds).
struct SyncContext {
  aio_context_t id = 0;
  bool made = false;
  ~SyncContext() {
    if (made) ::syscall(SYS_io_destroy, id);
  }
  bool get(aio_context_t& out) {
    if (!made) made = ::syscall(SYS_io_setup, static_cast<long>(kSyncBatch), &id) == 0;
    out = id;
    return made;
  }
};
thread_local SyncContext tSyncContext;

// Waits for an fsync (data only, or with the metadata) of every descriptor.
// They are handed to the kernel together (asynchronous fsync requests), so
// their waits overlap and the disk sees a few cache flushes for the whole
// batch instead of one per descriptor; where the kernel cannot take them
// that way, one by one. errors[i] gets the errno of descriptor i (0: done).
void fsyncAll(const std::vector<int>& fds, bool dataOnly, std::vector<int>& errors) {
  // EINVAL and ENOTSUP: the file system keeps nothing to sync.
  const auto result = [](int err) { return err == EINVAL || err == ENOTSUP ? 0 : err; };
  const auto syncOne = [&](size_t i) {
    const int r = dataOnly ? ::fdatasync(fds[i]) : ::fsync(fds[i]);
    errors[i] = r == 0 ? 0 : result(errno);
  };
  errors.assign(fds.size(), 0);
  aio_context_t context = 0;
  long submitted = 0;
  if (fds.size() > 1 && fds.size() <= kSyncBatch && tSyncContext.get(context)) {
    std::vector<iocb> blocks(fds.size());
    std::vector<iocb*> pointers(fds.size());
    for (size_t i = 0; i < fds.size(); ++i) {
      std::memset(&blocks[i], 0, sizeof blocks[i]);
      blocks[i].aio_fildes = static_cast<uint32_t>(fds[i]);
      blocks[i].aio_lio_opcode = dataOnly ? IOCB_CMD_FDSYNC : IOCB_CMD_FSYNC;
      blocks[i].aio_data = i;
      pointers[i] = &blocks[i];
    }
    submitted = ::syscall(SYS_io_submit, context, static_cast<long>(fds.size()), pointers.data());
    if (submitted < 0) submitted = 0;
    std::vector<io_event> events(fds.size());
    for (long done = 0; done < submitted;) {
      const long got = ::syscall(SYS_io_getevents, context, 1L, static_cast<long>(events.size()),
                                 events.data(), nullptr);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        // The outcome of what is still out is unknown: each counts as failed.
        for (long i = 0; i < submitted; ++i) errors[static_cast<size_t>(i)] = errno;
        break;
      }
      for (long e = 0; e < got; ++e) {
        const io_event& event = events[static_cast<size_t>(e)];
        const long long res = static_cast<long long>(event.res);
        if (res < 0) errors[static_cast<size_t>(event.data)] = result(static_cast<int>(-res));
      }
      done += got;
    }
  }
  // What the kernel did not take is synced one by one.
  for (size_t i = static_cast<size_t>(submitted); i < fds.size(); ++i) syncOne(i);
}

// Opens every path (files or folders) in batches, so a large batch never
// runs out of descriptors, and syncs each batch at once. errors[i] gets the
// errno of path i (0: synced).
void syncPaths(const std::vector<std::string>& paths, bool folders, std::vector<int>& errors) {
  errors.assign(paths.size(), 0);
  for (size_t begin = 0; begin < paths.size(); begin += kSyncBatch) {
    std::vector<int> fds;
    std::vector<size_t> index;
    const size_t end = std::min(paths.size(), begin + kSyncBatch);
    for (size_t i = begin; i < end; ++i) {
      std::optional<std::string> native = toNativePath(paths[i]);
      if (native && native->empty()) native = ".";
      if (native && faultDue(FaultOp::kSync, *native)) {
        errors[i] = EIO;
        continue;
      }
      const int fd =
          native ? ::open(native->c_str(), O_RDONLY | O_CLOEXEC | (folders ? O_DIRECTORY : 0)) : -1;
      if (fd < 0) {
        errors[i] = native ? errno : ENOENT;
        continue;
      }
      // Starts the write-back of every file before the first wait.
      if (!folders) ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
      fds.push_back(fd);
      index.push_back(i);
    }
    std::vector<int> results;
    fsyncAll(fds, !folders, results);
    for (size_t k = 0; k < fds.size(); ++k) {
      errors[index[k]] = results[k];
      ::close(fds[k]);
    }
  }
}

bool syncAll(const std::vector<std::string>& paths, bool folders, std::vector<uint32_t>* errors) {
  std::vector<int> codes;
  syncPaths(paths, folders, codes);
  int first = 0;
  if (errors != nullptr) errors->assign(paths.size(), 0);
  for (size_t i = 0; i < codes.size(); ++i) {
    if (codes[i] == 0) continue;
    if (first == 0) first = codes[i];
    if (errors != nullptr) (*errors)[i] = errorFromErrno(codes[i]);
  }
  if (first != 0) {
    setLastErrorFromErrno(first);
    return false;
  }
  return succeed();
}

}  // namespace

bool syncFiles(const std::vector<std::string>& paths, std::vector<uint32_t>* errors) {
  return syncAll(paths, false, errors);
}

bool syncFolders(const std::vector<std::string>& paths, std::vector<uint32_t>* errors) {
  return syncAll(paths, true, errors);
}

bool syncFolder(const std::string& path) {
  if (path.empty()) return syncNativeFolder(".");
  const std::optional<std::string> nativePath = toNativePath(path);
  if (!nativePath) return false;
  return syncNativeFolder(nativePath->empty() ? "." : *nativePath);
}

}  // namespace platform
