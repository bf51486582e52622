// The daemon's state store: the only component that touches the state
// directory. Boxes, their pending and unconfirmed messages, the pending
// broadcasts and the learned agent-name map live there as whole small files,
// each written atomically (a crash leaves the old or the new file).
//
// Thread-safety: every file operation and the name maps are guarded by one
// lock; the listings are meant for start-up, before the worker threads run.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/Monopoly.h"
#include "platform/LockFile.h"
#include "relayhub/Address.h"
#include "relayhub/RepeatReport.h"

namespace Vemora {

class RHBackup {
 public:
  RHBackup() = default;
  virtual ~RHBackup() = default;
  RHBackup(const RHBackup&) = delete;
  RHBackup& operator=(const RHBackup&) = delete;

  void setDirectory(const std::string& directory) { directory_ = directory; }
  const std::string& directory() const { return directory_; }
  // True once a whole-file write of this run has succeeded.
  bool isWritten() const { return written_.load(); }
  // Start-up repairs (merging boxes) are no stores of this run's.
  void resetWritten() { written_.store(false); }

  // The directory name of an address's box below "msgboxes". Addresses that
  // the plain form (name "__" host, '/' -> '%', '|' -> '+') keeps apart get
  // that form; every other address (control bytes, '\', '%', '+', '~', a name
  // holding "__" or ending in '_') gets "~" + escaped name + "__" + escaped
  // host, where each unsafe byte is "~" and two hex digits. The two forms
  // never meet, so distinct addresses always get distinct directories.
  // A name longer than a folder name may be becomes "~_", a 64-bit hash of
  // the address in hex, "__" and the start of the escaped form (the full
  // address is in the box file).
  static std::string boxDirName(const Address& address);
  // The address a box directory name stands for; false when the name does
  // not give it (a shortened name, or one no address is stored under).
  static bool addressFromDirName(const std::string& boxDir, Address& out);
  // The id of a message file name: only "<id>.txt" as the store writes it.
  static bool messageFileId(const std::string& fileName, uint32_t& id);
  // Stored files larger than this are not read (damaged; left on disk).
  static constexpr int64_t kMaxStoredFileBytes = 96ll * 1024 * 1024;

  // Takes the lock file of the state directory (created when missing) for
  // the store's life, so that two daemons never share one directory. False
  // while another holder has it or it cannot be made.
  bool lockDirectory();
  std::string lockPath() const;

  // Boxes and messages. Each returns true when the file operation succeeded
  // (removing what is not there counts as success).
  bool writeBox(const Address& address, const std::string& text);
  bool readBox(const std::string& boxDir, std::string& out);
  bool removeBox(const Address& address);
  bool writeUnsent(const Address& address, uint32_t id, const std::string& text);
  bool readUnsent(const Address& address, const std::string& fileName, std::string& out);
  bool writeUnconfirmed(const Address& address, uint32_t id, const std::string& text);
  bool readUnconfirmed(const Address& address, const std::string& fileName, std::string& out);
  // Deletes the unsent and then the unconfirmed copy of the id.
  bool removeMessage(const Address& address, uint32_t id);
  // Deletes the unconfirmed copy only.
  bool removeUnconfirmed(const Address& address, uint32_t id);
  bool writeBroadcast(uint32_t id, const std::string& text);
  bool readBroadcast(const std::string& fileName, std::string& out);
  bool removeBroadcast(uint32_t id);

  // Listings (sorted names): box directories matching "*__*", and the "*.txt"
  // files of a box's "unsent" / "unconfirmed" folder and of "broadcast".
  std::set<std::string> listBoxes();
  std::set<std::string> listUnsent(const Address& address);
  std::set<std::string> listUnconfirmed(const Address& address);
  // Every plain file of the box's "unsent" / "unconfirmed" folder (stray
  // names included, so that the restore can report them).
  std::set<std::string> listUnsentFiles(const Address& address);
  std::set<std::string> listUnconfirmedFiles(const Address& address);
  std::set<std::string> listBroadcasts();

  // A box directory restored under another name than its address's own
  // (written by an older version) is moved to that name, so later writes
  // and the next restore find one directory. False when it cannot be moved
  // (the box then keeps loading from its old place).
  bool adoptBoxDir(const std::string& boxDir, const Address& address);
  // True when a box directory holds no file at all (left by a store that
  // failed before its first file).
  bool isEmptyBoxDir(const std::string& boxDir);
  bool hasBoxFile(const std::string& boxDir);
  // Moves the message files of one box directory into another (created
  // when missing). A file that `isMessage` (file name, text) refuses, or
  // whose name the target holds already, stays where it is and is added to
  // `kept` (as "msgboxes/" + dir + "/" + kind + "/" + name). Then the
  // source's box file goes when `dropBoxFile`, and the source directory
  // when nothing is left in it.
  using MessageCheck = std::function<bool(const std::string&, const std::string&)>;
  void mergeBoxDir(const std::string& fromDir, const std::string& toDir, bool dropBoxFile,
                   const MessageCheck& isMessage, std::vector<std::string>& kept);
  // Renames a box directory to a name that differs from it in letter case
  // only (through a temporary name: lookups ignore the case of a name's
  // last part). False when it could not be moved.
  bool renameBoxDir(const std::string& fromDir, const std::string& toDir);
  // A box directory whose box file could not be read and whose address is
  // unknown: no write of this run replaces a file that exists in it.
  void keepUnreadableDir(const std::string& boxDir);

  // The learned map of agent names to standard names. Names holding a line
  // end, a zero byte or (agent names) "=" are refused: false.
  bool learnName(const std::string& agent, const std::string& standard);
  std::set<std::string> getLocalNames(const std::string& standard);
  bool loadNameMap();
  bool clearNameMap();

  // Group commit. Off (the default), every write is synced on its own before
  // it returns. On, the writes and removals of boxes, messages and
  // broadcasts are only prepared: a write puts the new contents into a
  // temporary beside its file, unsynced; a removal is noted. sync() then
  // makes all of them durable at once: the temporaries' data is synced (one
  // fdatasync each, issued together), they are renamed over their files,
  // the removals are done, and every folder whose entries changed is synced
  // (one fsync each, issued together). Only the store's own files are
  // synced. A crash before that leaves every file as it was at the last
  // sync (old contents, never a torn file); the last operation on a path
  // wins; removals come after the writes, so a message that moves from one
  // file to another is never on disk in neither.
  void setGroupCommit(bool on);
  // True when a write waits for sync(): what it wrote is not on disk yet.
  bool hasPendingWrites();
  // True when anything (a write, a removal, a folder's entries) waits for
  // sync().
  bool hasPending();
  // Counts the writes and removals prepared so far: a caller tells by it
  // whether its request changed anything that the next sync must store.
  uint64_t changeCount();
  // Makes everything prepared durable. False when any of it failed: what
  // failed stays prepared (a write keeps its contents) and is tried again
  // by the next sync, each failure logged with its path and reason (the
  // first of a run at once, then at most every 10 seconds).
  bool sync();
  // Monotonic milliseconds of the last sync() (0 before the first).
  uint64_t lastSyncMs() const { return lastSyncMs_.load(); }

 private:
  struct PendingOp {
    bool remove = false;
    std::string text;  // a write's contents, kept until they have landed
    std::string temp;  // their temporary file; empty: to be written again
  };
  // Notes one failure of a sync step (what, path, error); false.
  using FailFn = std::function<bool(const char*, const std::string&, uint32_t)>;
  bool syncLocked();
  bool syncDataLocked(const FailFn& fail);
  bool renameLocked(const FailFn& fail);
  bool removeLocked(const FailFn& fail);
  bool syncFoldersLocked(const FailFn& fail);
  void dropPendingLocked(const std::string& full);
  void dropPendingUnderLocked(const std::string& full);
  void keepTreeOfLocked(const std::string& full);
  static void discardTemporary(PendingOp& op);
  void noteNewFoldersLocked(const std::string& full);

  std::string path(const std::string& relative) const;
  std::string boxPath(const Address& address) const;
  bool readFileLocked(const std::string& relative, std::string& out);
  bool writeFileLocked(const std::string& relative, const std::string& text);
  bool appendFileLocked(const std::string& relative, const std::string& text);
  bool deleteFileLocked(const std::string& relative);
  bool removeDirectoryLocked(const std::string& relative);
  std::set<std::string> listFiles(const std::string& relative, bool directories,
                                  const std::string& pattern);
  bool loadNameMapLocked();
  void insertLocal(const std::string& agent, const std::string& standard);

  bool writeFileLocked(const std::string& relative, const std::string& text, bool counts);
  bool overwritesKept(const std::string& relative, const std::string& full) const;

  std::string directory_;
  std::atomic<bool> written_{false};
  std::unique_ptr<platform::LockFile> dirLock_;
  std::set<std::string> keptDirs_;
  Monopoly lock_;
  std::map<std::string, std::string> learned_;
  std::map<std::string, std::set<std::string>> local_;
  int32_t changed_ = 0;
  // Group commit: prepared operations by full path, the folders whose
  // entries changed, box trees whose removal failed, the number of
  // prepared writes, the count of operations prepared so far.
  bool groupCommit_ = false;
  std::map<std::string, PendingOp> pending_;
  std::set<std::string> touchedFolders_;
  std::set<std::string> doomedTrees_;
  size_t pendingWrites_ = 0;
  uint64_t changes_ = 0;
  std::atomic<uint64_t> lastSyncMs_{0};
  // A failing disk is reported at its first failure, then at most this often.
  static constexpr uint64_t kReportIntervalMs = 10000;
  RepeatReport failures_{kReportIntervalMs};
  bool reportFailures_ = false;
};

}  // namespace Vemora
