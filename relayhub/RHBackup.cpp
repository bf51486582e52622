#include "relayhub/RHBackup.h"

#include <cstdio>
#include <vector>

#include "common/BasicFile.h"
#include "common/FileOps.h"
#include "common/FileUtils.h"
#include "common/MonopolyGuard.h"
#include "common/StringOps.h"
#include "platform/Clock.h"
#include "platform/LastError.h"
#include "relayhub/HubLog.h"

namespace Vemora {

namespace {

const char* const kMapFile = "actual_to_standard_name.txt";
const char* const kLockFile = "relayhub.lock";
const char kEscape = '~';
// Longest box directory name kept as it is; longer ones are shortened
// (folder names end at 255 bytes).
constexpr size_t kMaxDirName = 200;
constexpr size_t kShortPrefix = 100;
constexpr int kMsgStoreFailed = 24;  // RelayHub::kMsgStoreFailed
constexpr int kMsgStoreRetry = 28;   // RelayHub::kMsgStoreRetry

// FNV-1a, 64 bits: the shortened name of one address must stay unique.
uint64_t hash64(const std::string& text) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : text) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The escaped part back; false for a '~' not followed by two hex digits.
bool unescapePart(const std::string& text, std::string& out) {
  out.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != kEscape) {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return false;
    const int hi = hexValue(text[i + 1]);
    const int lo = hexValue(text[i + 2]);
    if (hi < 0 || lo < 0) return false;
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return true;
}

// The plain form's parts back: '%' was '/' and '+' was '|'.
std::string unplain(std::string text) {
  for (char& c : text) {
    if (c == '%') c = '/';
    if (c == '+') c = '|';
  }
  return text;
}

// Bytes that never reach a directory name as they are.
bool unsafeByte(unsigned char c) {
  return c < 32 || c == 127 || c == '\\' || c == '%' || c == '+' || c == kEscape;
}

// The plain form keeps distinct addresses apart when neither part holds an
// unsafe byte ('/' and '|' map one to one onto '%' and '+', which are
// themselves unsafe) and the name can be told from the host: the first "__"
// of the directory name is the separator when the name holds no "__" and
// does not end in '_'.
bool plainFormIsUnique(const Address& a) {
  for (unsigned char c : a.name + a.host) {
    if (unsafeByte(c)) return false;
  }
  if (a.name.find("__") != std::string::npos) return false;
  return a.name.empty() || a.name.back() != '_';
}

std::string plainForm(const Address& a) {
  std::string dir = a.name + "__" + a.host;
  for (char& c : dir) {
    if (c == '/' || c == '\\') c = '%';
    if (c == '|') c = '+';
  }
  return dir;
}

// Escapes every byte that is unsafe, a separator, '|' or '_', so the escaped
// part holds no '_' at all and the "__" between name and host is unambiguous.
std::string escapePart(const std::string& text) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (unsafeByte(c) || c == '/' || c == '|' || c == '_') {
      out += kEscape;
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

bool hasLineEndOrZero(const std::string& text) {
  return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

void reportStoreFailed(const std::string& full, const std::string& reason) {
  ParamStream p;
  p.addString(full).addString(reason);
  HubLog::error(kMsgStoreFailed, p);
}

// A step of the store that failed and is tried again (what, path, error).
void reportRetry(const char* what, const std::string& full, uint32_t code) {
  ParamStream p;
  p.addString(what).addString(full).addString(platform::errorText(code));
  HubLog::error(kMsgStoreRetry, p);
}

std::string idFile(uint32_t id) {
  return StringOps::fromUInt(id) + ".txt";
}

}  // namespace

std::string RHBackup::boxDirName(const Address& address) {
  std::string dir =
      plainFormIsUnique(address)
          ? plainForm(address)
          : std::string(1, kEscape) + escapePart(address.name) + "__" + escapePart(address.host);
  if (dir.size() <= kMaxDirName) return dir;
  // Neither form ever starts with "~_" and a hex digit.
  char hash[20];
  std::snprintf(hash, sizeof hash, "%016llx",
                static_cast<unsigned long long>(hash64(address.name + '\0' + address.host)));
  std::string start = escapePart(address.name + "@" + address.host).substr(0, kShortPrefix);
  return std::string(1, kEscape) + "_" + hash + "__" + start;
}

bool RHBackup::addressFromDirName(const std::string& boxDir, Address& out) {
  Address found;
  if (boxDir.rfind("~_", 0) == 0) return false;
  if (!boxDir.empty() && boxDir[0] == kEscape) {
    const size_t sep = boxDir.find("__", 1);
    if (sep == std::string::npos) return false;
    if (!unescapePart(boxDir.substr(1, sep - 1), found.name) ||
        !unescapePart(boxDir.substr(sep + 2), found.host)) {
      return false;
    }
  } else {
    const size_t sep = boxDir.find("__");
    if (sep == std::string::npos) return false;
    found.name = unplain(boxDir.substr(0, sep));
    found.host = unplain(boxDir.substr(sep + 2));
  }
  // Only a name that this address is stored under gives the address.
  if (boxDirName(found) != boxDir) return false;
  out = found;
  return true;
}

bool RHBackup::messageFileId(const std::string& fileName, uint32_t& id) {
  const size_t dot = fileName.size() >= 4 ? fileName.size() - 4 : std::string::npos;
  if (dot == std::string::npos || dot == 0 || fileName.compare(dot, 4, ".txt") != 0) return false;
  const std::string digits = fileName.substr(0, dot);
  if (digits.find_first_not_of("0123456789") != std::string::npos) return false;
  const uint32_t value = StringOps::toUInt(digits);
  if (StringOps::fromUInt(value) != digits) return false;  // "007", overflow
  id = value;
  return true;
}

std::string RHBackup::lockPath() const {
  return path(kLockFile);
}

bool RHBackup::lockDirectory() {
  MonopolyGuard lock(lock_);
  FileUtils::createDirectory(path(kLockFile));
  if (!dirLock_) dirLock_ = std::make_unique<platform::LockFile>(lockPath());
  return dirLock_->tryLock();
}

std::string RHBackup::path(const std::string& relative) const {
  return directory_ + "/" + relative;
}

std::string RHBackup::boxPath(const Address& address) const {
  return "msgboxes/" + boxDirName(address);
}

bool RHBackup::readFileLocked(const std::string& relative, std::string& out) {
  const std::string full = path(relative);
  if (!FileOps::pathExists(full)) return false;
  BasicFile file;
  if (!file.open(full, 1)) return false;
  const int64_t size = file.size();
  // A file no store of ours writes this large is damaged: never read whole.
  const bool ok =
      size >= 0 && size <= kMaxStoredFileBytes && file.read(out, static_cast<uint64_t>(size));
  file.close();
  return ok;
}

bool RHBackup::writeFileLocked(const std::string& relative, const std::string& text) {
  return writeFileLocked(relative, text, true);
}

// `counts`: whether a success is one of this run's stores that the
// handshake reports ("backup=yes"); a compaction of the map is not.
bool RHBackup::writeFileLocked(const std::string& relative, const std::string& text, bool counts) {
  const std::string full = path(relative);
  if (overwritesKept(relative, full)) {
    reportStoreFailed(full, "it exists and could not be read; it is kept");
    return false;
  }
  // What no store of the run waits for (the map's compaction) is written
  // and synced at once, as is everything while group commit is off.
  if (!groupCommit_ || !counts) {
    FileUtils::createDirectory(full);
    if (!FileUtils::writeFile(full, text)) {
      reportStoreFailed(full, platform::errorText(platform::lastError()));
      return false;
    }
    if (counts) written_.store(true);
    return true;
  }
  keepTreeOfLocked(full);
  noteNewFoldersLocked(full);
  std::string temp;
  if (!FileUtils::writeTemporary(full, text, temp)) {
    reportStoreFailed(full, platform::errorText(platform::lastError()));
    return false;
  }
  dropPendingLocked(full);
  // The contents stay until the write has landed: a failed batch writes
  // them again.
  pending_[full] = PendingOp{false, text, temp};
  ++pendingWrites_;
  ++changes_;
  return true;
}

// Creates the missing folders of `full`'s folder; the parent of each new
// one gets a new entry, which the next sync must make durable.
void RHBackup::noteNewFoldersLocked(const std::string& full) {
  std::string dir = FileUtils::dirName(full);
  FileUtils::stripTrailingSeparators(dir);
  std::vector<std::string> missing;
  while (dir.size() >= directory_.size() && !FileOps::isDirectory(dir)) {
    missing.push_back(dir);
    std::string parent = FileUtils::dirName(dir);
    FileUtils::stripTrailingSeparators(parent);
    if (parent.empty() || parent == dir) break;
    dir = parent;
  }
  if (missing.empty()) return;
  FileUtils::createDirectory(full);
  for (const std::string& made : missing) touchedFolders_.insert(FileUtils::dirName(made));
}

// Forgets what was prepared for `full`; a prepared temporary is deleted.
void RHBackup::dropPendingLocked(const std::string& full) {
  auto it = pending_.find(full);
  if (it == pending_.end()) return;
  if (!it->second.remove) {
    discardTemporary(it->second);
    --pendingWrites_;
  }
  pending_.erase(it);
}

void RHBackup::discardTemporary(PendingOp& op) {
  if (!op.temp.empty()) FileUtils::deleteFile(op.temp, true);
  op.temp.clear();
}

// Everything prepared inside the folder `full` (and a retried removal of a
// tree below it) is forgotten: the folder itself is going.
void RHBackup::dropPendingUnderLocked(const std::string& full) {
  const std::string prefix = full + "/";
  for (auto it = pending_.lower_bound(prefix);
       it != pending_.end() && it->first.compare(0, prefix.size(), prefix) == 0;) {
    const auto next = std::next(it);
    dropPendingLocked(it->first);
    it = next;
  }
  for (auto it = doomedTrees_.begin(); it != doomedTrees_.end();) {
    it = it->compare(0, prefix.size(), prefix) == 0 || *it == full ? doomedTrees_.erase(it)
                                                                   : std::next(it);
  }
}

// A tree whose removal failed is not removed later over a file prepared in
// it since: what is left of it stays (reported when the removal failed).
void RHBackup::keepTreeOfLocked(const std::string& full) {
  for (auto it = doomedTrees_.begin(); it != doomedTrees_.end();) {
    it = full.compare(0, it->size() + 1, *it + "/") == 0 ? doomedTrees_.erase(it) : std::next(it);
  }
}

void RHBackup::setGroupCommit(bool on) {
  MonopolyGuard lock(lock_);
  // The last sync of the handler: what cannot be stored now is reported
  // whatever the reports before it.
  if (!on && groupCommit_ && !syncLocked()) {
    failures_ = RepeatReport(kReportIntervalMs);
    syncLocked();
  }
  groupCommit_ = on;
}

bool RHBackup::hasPendingWrites() {
  MonopolyGuard lock(lock_);
  return pendingWrites_ != 0;
}

bool RHBackup::hasPending() {
  MonopolyGuard lock(lock_);
  return !pending_.empty() || !touchedFolders_.empty() || !doomedTrees_.empty();
}

uint64_t RHBackup::changeCount() {
  MonopolyGuard lock(lock_);
  return changes_;
}

bool RHBackup::sync() {
  MonopolyGuard lock(lock_);
  return syncLocked();
}

// The batch lands in steps, each only after the one before has succeeded,
// so that a failure leaves the disk as the last good sync left it plus what
// a later step may safely find: the temporaries' data is synced before any
// rename, and removals come after every write. Whatever fails stays
// prepared (a write keeps its contents, its temporary is written again)
// and is carried out by the next sync, so memory and disk never part.
bool RHBackup::syncLocked() {
  lastSyncMs_.store(platform::monotonicMs());
  if (pending_.empty() && touchedFolders_.empty() && doomedTrees_.empty()) return true;
  bool reported = false;
  const auto fail = [this, &reported](const char* what, const std::string& full, uint32_t code) {
    if (!reported) {
      uint32_t count = 0;
      reportFailures_ = failures_.failure(platform::monotonicMs(), count);
      reported = true;
    }
    if (reportFailures_) reportRetry(what, full, code);
    return false;
  };
  const bool ok =
      syncDataLocked(fail) && renameLocked(fail) && removeLocked(fail) && syncFoldersLocked(fail);
  if (ok) {
    uint32_t count = 0;
    failures_.success(count);
  }
  return ok;
}

bool RHBackup::syncDataLocked(const FailFn& fail) {
  bool ok = true;
  std::vector<std::string> temps;
  std::vector<PendingOp*> ops;
  for (auto& entry : pending_) {
    PendingOp& op = entry.second;
    if (op.remove) continue;
    // A failed batch lost this temporary: its contents are written again.
    if (op.temp.empty() && !FileUtils::writeTemporary(entry.first, op.text, op.temp)) {
      ok = fail("write", entry.first, platform::lastError());
      continue;
    }
    temps.push_back(op.temp);
    ops.push_back(&op);
  }
  std::vector<uint32_t> errors;
  if (!FileUtils::syncFiles(temps, &errors)) {
    for (size_t i = 0; i < ops.size(); ++i) {
      if (errors[i] == 0) continue;
      // Its data may be gone from the cache: a later sync of the same file
      // could succeed over lost pages, so it is written anew.
      ok = fail("sync", temps[i], errors[i]);
      discardTemporary(*ops[i]);
    }
  }
  return ok;
}

bool RHBackup::renameLocked(const FailFn& fail) {
  bool ok = true;
  for (auto it = pending_.begin(); it != pending_.end();) {
    PendingOp& op = it->second;
    if (op.remove) {
      ++it;
      continue;
    }
    if (!FileUtils::commitTemporary(op.temp, it->first)) {
      ok = fail("rename", it->first, platform::lastError());
      op.temp.clear();  // removed by the failed commit
      ++it;
      continue;
    }
    written_.store(true);
    touchedFolders_.insert(FileUtils::dirName(it->first));
    --pendingWrites_;
    it = pending_.erase(it);
  }
  return ok;
}

bool RHBackup::removeLocked(const FailFn& fail) {
  bool ok = true;
  for (auto it = pending_.begin(); it != pending_.end();) {
    if (!FileOps::pathExists(it->first) || FileUtils::deleteFile(it->first, true)) {
      touchedFolders_.insert(FileUtils::dirName(it->first));
      it = pending_.erase(it);
      continue;
    }
    ok = fail("remove", it->first, platform::lastError());
    ++it;
  }
  for (auto it = doomedTrees_.begin(); it != doomedTrees_.end();) {
    if (!FileOps::isDirectory(*it) || FileUtils::removeDirectory(*it, true, true)) {
      touchedFolders_.insert(FileUtils::dirName(*it));
      it = doomedTrees_.erase(it);
      continue;
    }
    ok = fail("remove", *it, platform::lastError());
    ++it;
  }
  return ok;
}

bool RHBackup::syncFoldersLocked(const FailFn& fail) {
  const std::vector<std::string> folders(touchedFolders_.begin(), touchedFolders_.end());
  std::vector<uint32_t> errors;
  if (FileUtils::syncFolders(folders, &errors)) {
    touchedFolders_.clear();
    return true;
  }
  for (size_t i = 0; i < folders.size(); ++i) {
    if (errors[i] == 0) {
      touchedFolders_.erase(folders[i]);
    } else {
      fail("sync", folders[i], errors[i]);
    }
  }
  return false;
}

bool RHBackup::appendFileLocked(const std::string& relative, const std::string& text) {
  const std::string full = path(relative);
  FileUtils::createDirectory(full);
  return FileUtils::appendFile(full, text);
}

bool RHBackup::deleteFileLocked(const std::string& relative) {
  const std::string full = path(relative);
  if (groupCommit_) {
    const bool prepared = pending_.count(full) != 0;
    dropPendingLocked(full);
    if (prepared || FileOps::pathExists(full)) {
      pending_[full] = PendingOp{true, std::string(), std::string()};
      ++changes_;
    }
    return true;
  }
  if (!FileOps::pathExists(full) || FileUtils::deleteFile(full, true)) return true;
  reportRetry("remove", full, platform::lastError());
  return false;
}

bool RHBackup::removeDirectoryLocked(const std::string& relative) {
  const std::string full = path(relative);
  // Nothing prepared inside the tree may land after it is gone.
  if (groupCommit_) dropPendingUnderLocked(full);
  if (!FileOps::isDirectory(full)) return true;
  if (FileUtils::removeDirectory(full, true, true)) {
    if (groupCommit_) touchedFolders_.insert(FileUtils::dirName(full));
    return true;
  }
  reportRetry("remove", full, platform::lastError());
  // What is left goes at a later sync.
  if (groupCommit_) {
    doomedTrees_.insert(full);
    ++changes_;
  }
  return false;
}

bool RHBackup::writeBox(const Address& address, const std::string& text) {
  MonopolyGuard lock(lock_);
  return writeFileLocked(boxPath(address) + "/msgbox.txt", text);
}

bool RHBackup::readBox(const std::string& boxDir, std::string& out) {
  MonopolyGuard lock(lock_);
  return readFileLocked("msgboxes/" + boxDir + "/msgbox.txt", out);
}

bool RHBackup::removeBox(const Address& address) {
  MonopolyGuard lock(lock_);
  return removeDirectoryLocked(boxPath(address));
}

bool RHBackup::writeUnsent(const Address& address, uint32_t id, const std::string& text) {
  MonopolyGuard lock(lock_);
  return writeFileLocked(boxPath(address) + "/unsent/" + idFile(id), text);
}

bool RHBackup::readUnsent(const Address& address, const std::string& fileName, std::string& out) {
  MonopolyGuard lock(lock_);
  return readFileLocked(boxPath(address) + "/unsent/" + fileName, out);
}

bool RHBackup::writeUnconfirmed(const Address& address, uint32_t id, const std::string& text) {
  MonopolyGuard lock(lock_);
  return writeFileLocked(boxPath(address) + "/unconfirmed/" + idFile(id), text);
}

bool RHBackup::readUnconfirmed(const Address& address, const std::string& fileName,
                               std::string& out) {
  MonopolyGuard lock(lock_);
  return readFileLocked(boxPath(address) + "/unconfirmed/" + fileName, out);
}

bool RHBackup::removeMessage(const Address& address, uint32_t id) {
  MonopolyGuard lock(lock_);
  const bool unsent = deleteFileLocked(boxPath(address) + "/unsent/" + idFile(id));
  const bool unconfirmed = deleteFileLocked(boxPath(address) + "/unconfirmed/" + idFile(id));
  return unsent && unconfirmed;
}

bool RHBackup::removeUnconfirmed(const Address& address, uint32_t id) {
  MonopolyGuard lock(lock_);
  return deleteFileLocked(boxPath(address) + "/unconfirmed/" + idFile(id));
}

bool RHBackup::writeBroadcast(uint32_t id, const std::string& text) {
  MonopolyGuard lock(lock_);
  return writeFileLocked("broadcast/" + idFile(id), text);
}

bool RHBackup::readBroadcast(const std::string& fileName, std::string& out) {
  MonopolyGuard lock(lock_);
  return readFileLocked("broadcast/" + fileName, out);
}

bool RHBackup::removeBroadcast(uint32_t id) {
  MonopolyGuard lock(lock_);
  return deleteFileLocked("broadcast/" + idFile(id));
}

std::set<std::string> RHBackup::listFiles(const std::string& relative, bool directories,
                                          const std::string& pattern) {
  std::set<std::string> names;
  const std::string full = path(relative);
  if (!FileOps::isDirectory(full)) return names;
  for (const DirectoryEntry& entry : FileUtils::listDirectory(full, pattern)) {
    if (entry.name == "." || entry.name == "..") continue;
    if (entry.isFile != directories) names.insert(entry.name);
  }
  return names;
}

std::set<std::string> RHBackup::listBoxes() {
  return listFiles("msgboxes", true, "*__*");
}

std::set<std::string> RHBackup::listUnsent(const Address& address) {
  return listFiles(boxPath(address) + "/unsent", false, "*.txt");
}

std::set<std::string> RHBackup::listUnconfirmed(const Address& address) {
  return listFiles(boxPath(address) + "/unconfirmed", false, "*.txt");
}

std::set<std::string> RHBackup::listUnsentFiles(const Address& address) {
  return listFiles(boxPath(address) + "/unsent", false, "*");
}

std::set<std::string> RHBackup::listUnconfirmedFiles(const Address& address) {
  return listFiles(boxPath(address) + "/unconfirmed", false, "*");
}

std::set<std::string> RHBackup::listBroadcasts() {
  return listFiles("broadcast", false, "*.txt");
}

bool RHBackup::adoptBoxDir(const std::string& boxDir, const Address& address) {
  const std::string wanted = boxDirName(address);
  if (wanted == boxDir) return true;
  MonopolyGuard lock(lock_);
  const std::string to = path("msgboxes/" + wanted);
  if (FileOps::pathExists(to)) return false;
  return FileUtils::move(path("msgboxes/" + boxDir), to, false);
}

bool RHBackup::hasBoxFile(const std::string& boxDir) {
  MonopolyGuard lock(lock_);
  return FileOps::pathExists(path("msgboxes/" + boxDir + "/msgbox.txt"));
}

bool RHBackup::isEmptyBoxDir(const std::string& boxDir) {
  const std::string relative = "msgboxes/" + boxDir;
  if (!listFiles(relative, false, "*").empty()) return false;
  for (const std::string& sub : listFiles(relative, true, "*")) {
    if (!listFiles(relative + "/" + sub, false, "*").empty() ||
        !listFiles(relative + "/" + sub, true, "*").empty()) {
      return false;
    }
  }
  return true;
}

void RHBackup::mergeBoxDir(const std::string& fromDir, const std::string& toDir, bool dropBoxFile,
                           const MessageCheck& isMessage, std::vector<std::string>& kept) {
  const std::string from = "msgboxes/" + fromDir;
  const std::string to = "msgboxes/" + toDir;
  bool left = false;
  {
    // Made by its exact name: a lookup would take the source folder, whose
    // name differs in letter case only, for it.
    MonopolyGuard lock(lock_);
    FileOps::createDirectory(path(to));
  }
  for (const char* kind : {"unsent", "unconfirmed"}) {
    const std::string sub = std::string("/") + kind;
    for (const std::string& name : listFiles(from + sub, false, "*")) {
      MonopolyGuard lock(lock_);
      const std::string target = path(to + sub + "/" + name);
      FileUtils::createDirectory(target);
      // What could not be read is never moved, and a file of the target
      // is never replaced: the same id there stays.
      std::string text;
      if (!readFileLocked(from + sub + "/" + name, text) || !isMessage(name, text) ||
          FileOps::pathExists(target) ||
          !FileUtils::move(path(from + sub + "/" + name), target, false)) {
        kept.push_back(from + sub + "/" + name);
        left = true;
      }
    }
  }
  if (left) return;
  MonopolyGuard lock(lock_);
  if (dropBoxFile) deleteFileLocked(from + "/msgbox.txt");
  // Only empty folders go (rmdir refuses any other).
  for (const char* kind : {"unsent", "unconfirmed"}) {
    FileUtils::removeDirectory(path(from + "/" + kind), false, false);
  }
  FileUtils::removeDirectory(path(from), false, false);
}

void RHBackup::keepUnreadableDir(const std::string& boxDir) {
  MonopolyGuard lock(lock_);
  keptDirs_.insert(boxDir);
}

bool RHBackup::overwritesKept(const std::string& relative, const std::string& full) const {
  if (keptDirs_.empty() || relative.rfind("msgboxes/", 0) != 0) return false;
  const size_t end = relative.find('/', 9);
  if (end == std::string::npos || keptDirs_.count(relative.substr(9, end - 9)) == 0) return false;
  return FileOps::pathExists(full);
}

bool RHBackup::renameBoxDir(const std::string& fromDir, const std::string& toDir) {
  MonopolyGuard lock(lock_);
  const std::string step = path("msgboxes/" + fromDir + ".~case");
  if (!FileUtils::move(path("msgboxes/" + fromDir), step, false)) return false;
  if (FileUtils::move(step, path("msgboxes/" + toDir), false)) return true;
  FileUtils::move(step, path("msgboxes/" + fromDir), false);
  return false;
}

void RHBackup::insertLocal(const std::string& agent, const std::string& standard) {
  local_[standard].insert(agent);
}

bool RHBackup::learnName(const std::string& agent, const std::string& standard) {
  // A line end or "=" in the agent name would split or shift the line and
  // teach the next start a different name.
  if (hasLineEndOrZero(agent) || hasLineEndOrZero(standard) ||
      agent.find('=') != std::string::npos) {
    return false;
  }
  MonopolyGuard lock(lock_);
  auto it = learned_.find(agent);
  if (it != learned_.end() && it->second == standard) return true;
  if (it != learned_.end()) {
    local_[it->second].erase(agent);
    ++changed_;
  }
  learned_[agent] = standard;
  insertLocal(agent, standard);
  const bool appended = appendFileLocked(kMapFile, agent + "=" + standard + "\n");
  if (changed_ <= 10000) return appended;
  // More than 10000 changed names: the file is compacted (the lock is
  // re-entrant for its owner).
  changed_ = 0;
  return loadNameMapLocked();
}

std::set<std::string> RHBackup::getLocalNames(const std::string& standard) {
  lock_.enforce();
  std::set<std::string> names;
  if (standard.find('*') != std::string::npos) {
    for (const auto& entry : learned_) names.insert(entry.first);
  } else {
    auto it = local_.find(standard);
    if (it != local_.end()) names = it->second;
  }
  lock_.relax();
  return names;
}

bool RHBackup::loadNameMap() {
  MonopolyGuard lock(lock_);
  return loadNameMapLocked();
}

bool RHBackup::loadNameMapLocked() {
  learned_.clear();
  local_.clear();
  std::string text;
  if (!readFileLocked(kMapFile, text)) return true;
  bool duplicates = false;
  std::vector<std::string> lines;
  StringOps::split(text, '\n', lines, 2147483647, false);
  for (std::string line : lines) {
    std::string cleaned;
    for (char c : line) {
      if (c != '\r') cleaned += c;
    }
    if (cleaned.empty()) continue;
    const size_t eq = cleaned.find('=');
    const std::string agent = cleaned.substr(0, eq);
    const std::string standard = eq == std::string::npos ? "" : cleaned.substr(eq + 1);
    if (learned_.count(agent) != 0) duplicates = true;
    learned_[agent] = standard;
  }
  for (const auto& entry : learned_) insertLocal(entry.first, entry.second);
  if (duplicates) {
    std::string compact;
    for (const auto& entry : learned_) compact += entry.first + "=" + entry.second + "\n";
    const std::string tmp = std::string(kMapFile) + ".tmp";
    if (writeFileLocked(tmp, compact, false)) FileUtils::move(path(tmp), path(kMapFile), true);
  }
  return true;
}

bool RHBackup::clearNameMap() {
  MonopolyGuard lock(lock_);
  learned_.clear();
  local_.clear();
  changed_ = 0;
  return deleteFileLocked(kMapFile);
}

}  // namespace Vemora
