// The folder that holds the lock files of the named mutexes and scopes the
// mailslots: what the kernel's object namespace is on Windows. Whoever can
// write it can take any named lock (and so keep the daemon from starting),
// so the default is a folder only the current user can write:
//   - VEMORA_LOCK_DIR when set and not empty, taken as given (an operator
//     who wants several users to share locks names a shared folder);
//   - else /run/vemora when running as root (effective user id 0);
//   - else $XDG_RUNTIME_DIR/vemora when that variable holds an absolute
//     path;
//   - else /tmp/vemora-<effective user id>.
#pragma once

#include <optional>
#include <string>

namespace platform {

// The folder's path, looked up anew on every call.
std::string lockFolder();

// Makes sure the lock folder exists and may hold locks. A missing folder is
// created with mode 0700. A default folder must be a real folder (not a
// symbolic link), owned by the effective user and not writable by group or
// others; a folder named by VEMORA_LOCK_DIR is taken as it is (it only has
// to be a folder). False, with
// the last error set (kErrorAccessDenied for a folder refused as unsafe) and
// `problem` (when not null) telling why in words, path included.
bool prepareLockFolder(std::string* problem = nullptr);

// The parts of the two above, for tests: the default folder of a user id
// with a given XDG_RUNTIME_DIR value, and the preparation of one folder
// (`checked`: the checks of a default folder apply).
std::string defaultLockFolder(unsigned user, const std::optional<std::string>& runtimeDir);
bool prepareLockFolderAt(const std::string& folder, bool checked, std::string* problem);

}  // namespace platform
