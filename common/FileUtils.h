// File functions built on FileOps and BasicFile: listings, whole-file read,
// write and append, recursive creation and removal, path-part helpers.
// Paths may use '\' or '/'; the separator added is '\'. Nothing throws or
// logs. Thread-safe (no state of their own); two writers of one file are
// the callers' business.
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "common/DateTime.h"
#include "common/DirectoryEntry.h"

namespace Vemora {

class FileUtils {
 public:
  FileUtils() = delete;

  // The entries of `directory` matching `pattern` ("*", "*.txt", ...), "."
  // and ".." included, in the order the system lists them; empty when
  // nothing matches.
  static std::list<DirectoryEntry> listDirectory(const std::string& directory,
                                                 const std::string& pattern);
  static std::list<DirectoryEntry> listDirectoryWrapper(const std::string& directory,
                                                        const std::string& pattern);

  static bool move(const std::string& from, const std::string& to, bool overwrite);
  static bool copy(const std::string& from, const std::string& to, bool overwrite);

  // 0 when the path cannot be examined.
  static int64_t fileSize(const std::string& path);
  // The last-write time; 1970-01-01 00:00:00 when the path cannot be
  // examined.
  static DateTime modificationTime(const std::string& path);

  // The whole file into `out`.
  static bool readFile(const std::string& path, std::string& out);
  // Replaces the file's contents atomically: the text goes to a temporary
  // file beside it, is checked and synced to the disk, and the temporary is
  // renamed over the file (the folder is synced too). On any failure only
  // the temporary is removed: the file keeps its old contents (or stays
  // missing). A read-only file or a directory is not replaced.
  static bool writeFile(const std::string& path, const std::string& text);
  // The first half of writeFile, for callers that sync many files at once:
  // the text goes to a new temporary file beside `path` (its name to
  // `temp`) without a sync. False (and no temporary left) on failure, or
  // when `path` is a directory or read-only.
  static bool writeTemporary(const std::string& path, const std::string& text, std::string& temp);
  // The second half: renames a temporary that the caller has synced over
  // `path` (keeping the permissions of a file it replaces). The folder is
  // not synced. On failure the temporary is removed.
  static bool commitTemporary(const std::string& temp, const std::string& path);
  // Syncs the data of many files, or many folders (their entries), with as
  // few waits for the disk as the system allows. True when all were synced;
  // `errors`, when given, gets each one's error (0: synced).
  static bool syncFiles(const std::vector<std::string>& paths,
                        std::vector<uint32_t>* errors = nullptr);
  static bool syncFolders(const std::vector<std::string>& folders,
                          std::vector<uint32_t>* errors = nullptr);
  // Appends to an existing file (a failure leaves it as it is); a missing
  // file is written with writeFile.
  static bool appendFile(const std::string& path, const std::string& text);

  // Without force a read-only file is left alone; with force a delete that
  // fails is retried once after clearing the attributes.
  static bool deleteFile(const std::string& path, bool force);

  // Creates the directory part of `path` and its parents ("a\b\name"
  // creates a, a\b; "a\b\" creates a and a\b; a path with no separator
  // fails). failedDirectory names the directory that could not be made.
  static bool createPath(const std::string& path, std::string& failedDirectory);
  static bool createDirectory(const std::string& path);
  // Removes a directory; with recursive its entries first (files with
  // deleteFile(force), folders recursively). A symbolic link is removed
  // itself and never followed.
  static bool removeDirectory(const std::string& path, bool force, bool recursive);

  // Up to and including the last '\' or '/'; "" when there is none.
  static std::string dirName(const std::string& path);
  // After the last '\' or '/'; the whole path when there is none.
  static std::string fileName(const std::string& path);
  // After the last '.' anywhere in the path; "" when there is none.
  static std::string extension(const std::string& path);
  // Removes a non-empty extension and its '.'; returns the extension.
  static std::string cutExtension(std::string& path);
  // Appends '\' to a non-empty path not ending in '\' or '/'.
  static void addTrailingSeparator(std::string& path);
  // Removes trailing separators, but keeps a path that is one separator.
  static void stripTrailingSeparators(std::string& path);
  // From the second character on, each run of '\' and '/' becomes one '\'.
  static void collapseSeparators(std::string& path);

  // False for a name holding '?' or '*' or ending in '\' or '/'.
  static bool isValidFileName(const std::string& name);
  // True when every byte below 32 of `text` is one of `allowed`.
  static bool onlyAllowedControls(const std::string& text, const std::string& allowed);
};

}  // namespace Vemora
