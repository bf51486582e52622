// Path translation. Paths inside the libraries follow the Windows rules ('\'
// written, '/' accepted, "C:" drive). Only the platform layer translates them,
// at the moment it calls the system:
//   - every '\' becomes '/';
//   - a leading "C:" (either case) becomes the folder named by VEMORA_DRIVE_C
//     (default "/"); a single leading '\' is the root of drive C;
//   - a relative path stays relative, and so does "C:name" (relative to the
//     current folder, which is on drive C); "C:" alone is the drive's root;
//   - another drive letter fails with kErrorPathNotFound (3), a
//     "\\server\share" path with kErrorBadNetPath (53).
// Texts handed back (current folder, program path) are in Windows form
// ("C:\home\u"), mapped back through the same drive folder. Names keep their
// case: the POSIX file system compares them case-sensitively.
// Thread-safe; VEMORA_DRIVE_C is read at each call.
#pragma once

#include <optional>
#include <string>

namespace platform {

// The POSIX path for a Windows-form path; nullopt (and the last error set)
// when it names another drive or a network share.
std::optional<std::string> toNativePath(const std::string& windowsPath);

// The Windows form of a POSIX path: "C:" plus the part below VEMORA_DRIVE_C,
// with '\' separators. A path outside that folder keeps its own folders
// below "C:\" only when the drive folder is "/"; otherwise it is returned
// with '\' separators and no drive.
std::string toWindowsPath(const std::string& nativePath);

// GetCurrentDirectoryA: the current folder in Windows form.
std::string currentDirectory();

// GetModuleFileNameA for the running program, in Windows form.
std::string programPath();

}  // namespace platform
