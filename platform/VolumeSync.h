// One sync of a whole file system: every file's data and every folder entry
// written on it so far reach the disk together (syncfs). A store that writes
// many small files syncs them this way with a couple of cache flushes instead
// of one or two per file. The handle stays open from `open` on, so a sync
// also reports a write-back error that happened on the file system before it
// was called (the kernel keeps the error for every handle opened earlier).
#pragma once

#include <string>

namespace platform {

class VolumeSync {
 public:
  VolumeSync() = default;
  ~VolumeSync();
  VolumeSync(const VolumeSync&) = delete;
  VolumeSync& operator=(const VolumeSync&) = delete;

  // Opens the file system of the folder `path` (Windows form). False, with
  // the last error set, when the folder cannot be opened.
  bool open(const std::string& path);
  bool isOpen() const { return fd_ >= 0; }
  // Waits until everything written on that file system is on the disk.
  // False, with the last error set, when a write-back failed since the
  // handle was opened or the sync itself failed.
  bool sync();
  void close();

 private:
  int fd_ = -1;
};

}  // namespace platform
