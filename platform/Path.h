// Path translation. Paths inside the libraries follow the Windows rules ('\'
// written, '/' accepted, "C:" drive). Only the platform layer translates them,
// at the moment it calls the system:
//   - every '\' becomes '/';
//   - a leading "C:" (either case) becomes the folder named by VEMORA_DRIVE_C
//     (default "/"); a single leading '\' is the root of drive C;
//   - a leading "native:" (any case) followed by '\', '/' or nothing is the
//     root of this machine's own file system, whatever VEMORA_DRIVE_C says:
//     "native:\etc\x" is /etc/x. No Windows path has that form (a ':' stands
//     only after a one-letter drive, or before a stream name, which holds no
//     '\'), so it can never mean a Windows file;
//   - a relative path stays relative, and so does "C:name" (relative to the
//     current folder); "C:" alone is the drive's root;
//   - another drive letter fails with kErrorPathNotFound (3), a
//     "\\server\share" path with kErrorBadNetPath (53).
// Native paths handed back (current folder, program path, command-line
// arguments) come in Windows form: "C:\..." below the drive folder,
// "native:\..." anywhere else, and translate back to the same native path.
// A native name holding '\' cannot be written in Windows form. Names keep
// their case: the POSIX file system compares them case-sensitively.
// Thread-safe; VEMORA_DRIVE_C is read at each call.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace platform {

// The root of the native file system in Windows form ("native:").
extern const char* const kNativeRoot;

// The length of the root that a Windows-form path starts with: 2 for a drive
// ("C:"), the length of kNativeRoot for the native root (when a separator or
// nothing follows it), else 0.
std::size_t windowsRootLength(const std::string& windowsPath);

// The POSIX path for a Windows-form path; nullopt (and the last error set)
// when it names another drive or a network share.
std::optional<std::string> toNativePath(const std::string& windowsPath);

// The Windows form of a POSIX path, text for text: "C:" plus the part below
// VEMORA_DRIVE_C, kNativeRoot plus the whole path elsewhere, '\' separators.
// A relative path stays relative (behind ".\" when it would otherwise read
// as a root). toNativePath gives the native path back.
std::string toWindowsPath(const std::string& nativePath);

// The Windows form of a path given natively (on the command line): a
// relative path is taken from the process's current folder, "." and ".."
// are resolved as the system resolves them, and the result goes through
// toWindowsPath. A path that is already in Windows form ("C:\...", "C:/...",
// "native:\...") is returned as it is; "" stays "".
std::string argumentPath(const std::string& path);

// GetCurrentDirectoryA: the current folder in Windows form.
std::string currentDirectory();

// GetModuleFileNameA for the running program, in Windows form.
std::string programPath();

}  // namespace platform
