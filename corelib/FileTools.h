// Free functions on file-system paths and whole files: the stdio byte and
// UTF-16 primitives, path shapes and forms, queries, and the operations that
// list, walk, copy, move, delete and create. Paths are narrow Windows-form
// texts ('\' written, '/' accepted). Nothing here throws.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <set>
#include <string>

namespace VemoraCorelib::FileTools {

// ---- stdio primitives ------------------------------------------------------

// Process-wide, true from the start: readByte drops CR bytes and readUnit16
// drops CR units. Only copyFile clears it, for the time of the copy.
extern std::atomic<bool> skipCarriageReturns;

// fopen with "rb" / "wb"; nullptr for an empty name or a failed open. The
// wide form takes one UTF-16 unit per name byte.
std::FILE* openForRead(const std::string& name);
std::FILE* openForWrite(const std::string& name);
std::FILE* openForRead(const std::wstring& name);
std::FILE* openForWrite(const std::wstring& name);

// One byte (CR skipped while skipCarriageReturns is set); false at the end,
// after a stream error and for a null stream.
bool readByte(std::FILE* file, char& out);
// Up to `count` bytes; false only when not one byte could be read.
bool readBytes(std::FILE* file, std::string& out, std::size_t count);
// Appends to `out` every byte that readByte would deliver from here to the
// end of the stream (or a stream error), read in large blocks.
void readToEnd(std::FILE* file, std::string& out);
// A UTF-16 unit as two bytes, low byte first on every machine.
bool readUnit16(std::FILE* file, wchar_t& out);
bool writeUnit16(std::FILE* file, wchar_t unit);
// Every byte / unit; false at the first one that cannot be written.
bool writeText(std::FILE* file, const std::string& text);
bool writeText(std::FILE* file, const std::wstring& text);

// ---- text and shape helpers (pure) ------------------------------------------

std::string toLowerCopy(const std::string& text);
// Negative, 0 or positive, as std::string::compare of the lower-cased copies.
int compareNoCase(const std::string& a, const std::string& b);
// In place: every '/' becomes '\'.
std::string& toBackslashes(std::string& path);
// The static text "\".
const std::string& separator();
// In place: appends '\' unless the path is empty or ends in '/' or '\'.
std::string& addTrailingSeparator(std::string& path);
// In place: toBackslashes, then every trailing '\' removed.
std::string& stripTrailingSeparators(std::string& path);
// "C:\x", "C:x" and "\\srv\share" are absolute; "\x", "x" and "\\srv" not.
bool isAbsolute(const std::string& path);
// Index after the last '.' of the last component; npos when none.
std::size_t extensionStart(const std::string& path);
// The path's length, or npos when a '\' stands at or after the last '.'.
std::size_t extensionEnd(const std::string& path);
// "arch.tar.gz" gives "gz"; "a.b\c" and "file." give "".
std::string extension(const std::string& path);
// The extension is "lnk" in any case.
bool isShortcut(const std::string& path);
// Drive ("C:\...") and network ("\\srv\...") roots; npos for other paths.
std::size_t rootStart(const std::string& path);
std::size_t rootEnd(const std::string& path);
std::size_t directoryStart(const std::string& path);
// "C:\dir\f" gives "C:", "\\srv\share\f" gives "\\srv"; "C:" gives "".
std::string root(const std::string& path);
// The folders between the root and the last component: "C:\a\b\f" gives
// "a\b".
std::string directoryPart(std::string path);
// "C:\a\b" gives "C:\a"; "C:\a\" and "C:\a" give "C:"; "a" gives "".
std::string parentDirectory(std::string path);

// ---- path forms (in place) --------------------------------------------------

// "%NAME%" and "$NAME\" references from the environment; the whole paths
// "\c:", "\systemroot" and "\??".
std::string& expandPath(std::string& path);
// Drops "." and resolves ".." by text; empty components vanish.
std::string& normalizePath(std::string& path);
// The long form of an existing path; unchanged otherwise.
std::string& longPath(std::string& path);
// expandPath, normalizePath, longPath.
std::string& resolvePath(std::string& path);
// A relative path is put behind `base` and normalised; an absolute one only
// gets backslashes.
std::string& makeAbsolute(std::string& path, std::string base);
// The current folder; "" when it cannot be had.
std::string currentDirectory();

// ---- queries ----------------------------------------------------------------

// A file or a folder of that name exists.
bool exists(const std::string& path);
bool isDirectory(std::string path);
// 0 when the file cannot be opened.
uint64_t fileSize(const std::string& path);
// The whole file into `out`, dropping CR bytes while skipCarriageReturns is
// set. False (out unchanged) when the file cannot be opened.
bool readFile(const std::string& path, std::string& out);

// ---- file-system operations ---------------------------------------------------

// Reports of long operations: (name, code, done, total); see the operations.
using ProgressCallback = void (*)(const std::string& name, int code, uint64_t done, uint64_t total);

// Bare names of the entries matching `glob` (case-sensitive), files and
// folders apart; either set may be null. False when `folder` is not a
// folder or cannot be listed.
bool listDirectory(std::string folder, const std::string& glob, std::set<std::string>* files,
                   std::set<std::string>* folders);
// Empty when the folder cannot be listed.
std::set<std::string> listFiles(const std::string& folder, const std::string& glob);
std::set<std::string> listDirectories(const std::string& folder, const std::string& glob);
// Breadth first over the folders that match `folderGlob`; counts them and
// the files matching `fileGlob`. False (counters untouched) when `folder` is
// not a folder. Symbolic links to folders are counted, not entered.
bool countTree(const std::string& folder, const std::string& folderGlob,
               const std::string& fileGlob, uint64_t& folderCount, uint64_t& fileCount);
// flags bit 0 read, bit 1 write (write clears the read-only attribute, its
// absence sets it). Reports (full path, 1 changed / 0 not, index, files).
bool setPermissions(const std::string& path, int flags, bool recursive,
                    ProgressCallback progress = nullptr);
// Two attempts, 25 ms after each failure; with force a read-only file is
// made writable first.
bool deleteFile(const std::string& path, bool force);
// Two attempts, 25 ms after each failure; recursive clears the folder
// first. A symbolic link is removed itself, its target never touched.
bool removeDirectory(const std::string& path, bool recursive, bool force,
                     ProgressCallback progress = nullptr);
// Deletes the files, then removes the folders (recursively) of `path`.
// Reports (bare name, 3 deleted / 1 not / 2 removed / 0 not, index, files).
bool clearDirectory(const std::string& path, bool force, ProgressCallback progress = nullptr);
// Byte comparison with CR bytes skipped: -1, 0 or 1.
int compareFiles(const std::string& a, const std::string& b);
// Byte for byte in chunks (at least 1024 bytes). Reports (destination, 0,
// bytes copied, source size). With verify the result is compareFiles == 0.
bool copyFile(const std::string& source, const std::string& destination, bool overwrite,
              unsigned chunk, bool verify, ProgressCallback progress = nullptr);
// A rename on the same root (replacing an existing destination when
// allowed), else copyFile and deleteFile of the source.
bool moveFile(const std::string& source, const std::string& destination, bool overwrite,
              unsigned chunk, bool verify, ProgressCallback progress = nullptr);
// Every missing folder of `path`; a last component without trailing '\'
// names a file and is not created.
bool createDirectories(std::string path);

}  // namespace VemoraCorelib::FileTools
