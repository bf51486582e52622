// A test hook at the edge of the file system: makes one chosen sync, rename
// or unlink fail with EIO, as a disk going bad would, so that the callers'
// failure paths can be tried on a real process.
//
// Off unless the environment variable VEMORA_FAULTS names a file. Each line
// of that file is "<operation> <text>", operation one of "sync", "rename"
// and "unlink": the next such operation on a native path that contains the
// text fails, and the line is taken out of the file (each line fails one
// operation). Lines may be added while the process runs.
//
// Thread-safety: the file is read and rewritten under one lock.
#pragma once

#include <string>

namespace platform {

enum class FaultOp { kSync, kRename, kUnlink };

// True when a line of the fault file asks `op` on `nativePath` to fail now;
// that line is used up. False at once when VEMORA_FAULTS is not set.
bool faultDue(FaultOp op, const std::string& nativePath);

}  // namespace platform
