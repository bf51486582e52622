// File-system calls of the Windows API that the shared library's file
// functions use (FindFirstFileA/FindNextFileA, GetFileAttributesA,
// SetFileAttributesA, GetFullPathNameA, GetDriveTypeA, MoveFileA,
// MoveFileExA, CopyFileA, DeleteFileA, CreateDirectoryA, RemoveDirectoryA),
// over POSIX. Paths are Windows-form and translated with toNativePath.
//
// Promises kept from Windows:
//   - finding: the last path component is a pattern ("*" any run, "?" one
//     character, "*.*" the same as "*") matched without regard to ASCII case;
//     "." and ".." are listed when they match; an exact name is found in any
//     case. Entries come in the order the system lists them.
//   - attributes: directory; read-only when the owner has no write bit;
//     normal for any other file. A symbolic link reports its target's
//     directory bit plus kFileAttributeReparsePoint, and is never followed
//     by setFileAttributes, deleteFile or removeDirectory (they act on the
//     link itself).
//   - deleteFile refuses a read-only file and a folder (kErrorAccessDenied),
//     as DeleteFileA does; removeDirectory refuses a read-only folder.
//   - moveFile never replaces an existing target (kErrorAlreadyExists);
//     moveFileEx with kMoveFileReplaceExisting replaces it atomically
//     (rename); across file systems kMoveFileCopyAllowed copies, fsyncs and
//     unlinks the source. moveFile also moves a file across file systems.
//   - copyFile creates the target exclusively unless it may overwrite; it
//     keeps the source's permission bits and last-write time, and fsyncs.
// Every function sets the per-thread last error (0 on success).
//
// Cannot do: sharing modes (a file opened elsewhere is never "in use"),
// hidden/system/archive/offline/temporary attributes (accepted, not kept),
// drives other than C and the native root (they report kDriveNoRootDir),
// 8.3 short names.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// FILE_ATTRIBUTE_* bits.
constexpr uint32_t kFileAttributeReadonly = 0x1;
constexpr uint32_t kFileAttributeHidden = 0x2;
constexpr uint32_t kFileAttributeSystem = 0x4;
constexpr uint32_t kFileAttributeDirectory = 0x10;
constexpr uint32_t kFileAttributeArchive = 0x20;
constexpr uint32_t kFileAttributeNormal = 0x80;
constexpr uint32_t kFileAttributeTemporary = 0x100;
constexpr uint32_t kFileAttributeSparseFile = 0x200;
constexpr uint32_t kFileAttributeReparsePoint = 0x400;
constexpr uint32_t kFileAttributeCompressed = 0x800;
constexpr uint32_t kFileAttributeOffline = 0x1000;
constexpr uint32_t kFileAttributeEncrypted = 0x4000;
constexpr uint32_t kInvalidFileAttributes = 0xFFFFFFFFu;

// GetDriveTypeA results.
constexpr uint32_t kDriveUnknown = 0;
constexpr uint32_t kDriveNoRootDir = 1;
constexpr uint32_t kDriveFixed = 3;

// MoveFileExA flags.
constexpr uint32_t kMoveFileReplaceExisting = 0x1;
constexpr uint32_t kMoveFileCopyAllowed = 0x2;
constexpr uint32_t kMoveFileWriteThrough = 0x8;

// ERROR_DIRECTORY: the path is not a folder.
constexpr uint32_t kErrorDirectory = 267;

// One entry of a find (WIN32_FIND_DATAA): times in seconds since
// 1970-01-01T00:00:00 UTC (created is the status-change time).
struct FindData {
  std::string name;
  uint32_t attributes = 0;
  uint64_t size = 0;
  int64_t created = 0;
  int64_t accessed = 0;
  int64_t written = 0;
};

// FindFirstFileA + FindNextFileA: every entry matching `pattern` (a folder
// and a last component that may hold wildcards). False with
// kErrorFileNotFound when nothing matches, kErrorPathNotFound when the
// folder does not exist.
bool findFiles(const std::string& pattern, std::vector<FindData>& out);

// GetFileAttributesA: the attributes, or kInvalidFileAttributes.
uint32_t fileAttributes(const std::string& path);
// SetFileAttributesA: read-only removes every write bit, its absence gives
// the owner the write bit back; other bits are accepted and dropped.
bool setFileAttributes(const std::string& path, uint32_t attributes);

// GetFullPathNameA: the absolute Windows-form path ("C:\..." or
// "native:\...", '\' separators, "." and ".." resolved by text); a relative
// path (and "C:name") is taken from the current folder, wherever it is;
// nullopt for an empty path.
std::optional<std::string> fullPathName(const std::string& path);

// GetDriveTypeA of a root such as "C:" or "C:\": kDriveFixed for C and the
// native root ("native:"), kDriveNoRootDir for any other letter or text.
uint32_t driveType(const std::string& root);

bool moveFile(const std::string& from, const std::string& to);
bool moveFileEx(const std::string& from, const std::string& to, uint32_t flags);
bool copyFile(const std::string& from, const std::string& to, bool failIfExists);
bool deleteFile(const std::string& path);
bool createDirectory(const std::string& path);
bool removeDirectory(const std::string& path);

// Gives `to` the permission bits of `from` (both must exist), as a
// replacing move keeps the security of the file it replaces.
bool copyPermissions(const std::string& from, const std::string& to);

// fsync of a folder, so that a rename in it survives a power loss. True
// also when the file system cannot sync folders.
bool syncFolder(const std::string& path);

// Brings the data of every file in `paths` to the disk (fdatasync of each),
// or the entries of every folder (fsync of each). The syncs of a batch are
// handed to the system together, so the disk sees a few cache flushes for
// the whole batch instead of one per path, and their waits overlap. True
// when every path was synced; one that cannot be opened or synced makes it
// false (the others are still synced) with the last error set to the first
// failure. `errors`, when given, gets each path's Windows error (0: synced).
bool syncFiles(const std::vector<std::string>& paths, std::vector<uint32_t>* errors = nullptr);
bool syncFolders(const std::vector<std::string>& paths, std::vector<uint32_t>* errors = nullptr);

}  // namespace platform
