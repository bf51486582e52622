// An advisory lock file next to a file that is being written: path + ".lock"
// with four lines (lock time, expiry, owner id, "original" or "missing"),
// each ended by "\n". Writers respect it; readers never look at it. A lock
// is never renewed: once its expiry has passed, the next writer deletes it.
//
// The owner id is the compact UTC time of the object's creation followed by
// ten characters from ' ' to '}'. One object is used by one thread at a
// time; the lock file itself is the only coordination between processes.
#pragma once

#include <string>

#include "common/BasicFile.h"
#include "common/DateTime.h"
#include "common/TimeSpan.h"

namespace Vemora {

class LockFile {
 public:
  // Builds the owner id, notes whether `path` exists, then read().
  explicit LockFile(const std::string& path);
  // Closes what it holds open; never removes the lock file.
  virtual ~LockFile();
  LockFile(const LockFile&) = delete;
  LockFile& operator=(const LockFile&) = delete;

  // Reads path + ".lock" when it exists (present() then true). A time line
  // that is no date text throws the time parser's exception.
  void read();
  // lock(holdFile) with lock time now and expiry now + lifetime.
  bool lockFor(const TimeSpan& lifetime, bool holdFile);
  // False when a lock file is present. Else writes the lock file (kept open)
  // and, with holdFile, opens `path` itself for writing without changing it.
  bool lock(bool holdFile);
  // True when no lock is present or it was removed: its own lock, or a
  // foreign one whose expiry has passed. False for a live foreign lock or
  // when an expired lock file cannot be deleted.
  bool unlock();

  const std::string& ownerId() const { return ownerId_; }
  const std::string& ownerIdRead() const { return ownerIdRead_; }
  bool present() const { return present_; }
  bool existedBefore() const { return existedBefore_; }
  bool holdsFile() const { return holdsFile_; }
  const DateTime& lockTime() const { return lockTime_; }
  const DateTime& expiry() const { return expiry_; }
  std::string lockPath() const { return path_ + ".lock"; }

 private:
  static std::string makeOwnerId();
  void closeAll();

  std::string path_;
  std::string ownerId_;
  std::string ownerIdRead_;
  DateTime lockTime_{0};
  DateTime expiry_{0};
  bool present_ = false;
  bool existedBefore_ = false;
  bool holdsFile_ = false;
  BasicFile lockFile_;
  BasicFile heldFile_;
};

}  // namespace Vemora
