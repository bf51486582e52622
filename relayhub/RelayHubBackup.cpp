// The start-up restore of the state store: the learned names, every box
// with its pending and unconfirmed messages, and the pending broadcasts.
//
// Nothing that could not be read is renamed, rewritten or deleted: it is
// reported (catalogue error 14) and left on disk. Boxes stored under a name
// with capitals by earlier runs are merged into their lower-case box first.
#include <algorithm>
#include <vector>

#include "common/MonopolyGuard.h"
#include "common/ObjectFiler.h"
#include "relayhub/HubLog.h"
#include "relayhub/RelayHub.h"

namespace Vemora {

namespace {

constexpr int kMsgUnreadableItem = 14;

void reportUnreadable(const std::string& item) {
  ParamStream p;
  p.addString(item);
  HubLog::error(kMsgUnreadableItem, p);
}

void reportAll(const std::vector<std::string>& items) {
  for (const std::string& item : items) reportUnreadable(item);
}

// A box file that parses whole and names its address.
bool parseBox(const std::string& text, MessageBox& box) {
  ObjectFiler filer;
  if (!filer.parseWhole(text) || !box.load(filer)) return false;
  ObjectFiler::ObjectNode* node = filer.getObject(nullptr, "MessageBox");
  return filer.getValue(node, "Name") != nullptr && filer.getValue(node, "Host") != nullptr;
}

}  // namespace

bool RelayHub::readStoredBox(const std::string& dir, MessageBox& box) {
  std::string text;
  return backup_.readBox(dir, text) && parseBox(text, box);
}

bool RelayHub::restoreBackup() {
  if (!backup_.lockDirectory()) {
    stateFolderBusy_ = true;
    ParamStream p;
    p.addString(backup_.lockPath());
    HubLog::error(kMsgStateInUse, p);
    return false;
  }
  backup_.loadNameMap();
  mergeCapitalisedBoxes();
  const std::set<std::string> boxes = backup_.listBoxes();
  {
    ParamStream p;
    p.addInt(static_cast<int>(boxes.size()));
    HubLog::debug(1, "Loading %i message box(es)...", p);
  }
  for (const std::string& dir : boxes) restoreBox(dir);
  restoreBroadcasts();
  rebuildSentMessages();
  // The repairs above (merged boxes, requeued messages) are no stores of
  // this run's: the handshake says "backup=no" until one.
  backup_.resetWritten();
  return true;
}

void RelayHub::mergeCapitalisedBoxes() {
  const std::set<std::string> dirs = backup_.listBoxes();
  for (const std::string& dir : dirs) {
    MessageBox box(&backup_);
    const bool readable = readStoredBox(dir, box);
    Address address = box.getAddress();
    if (!readable && !RHBackup::addressFromDirName(dir, address)) continue;
    const Address key = address.lowered();
    if (key == address) continue;
    const std::string to = RHBackup::boxDirName(key);
    if (readable && dirs.count(to) == 0) {
      // Nothing in the way: the whole folder takes the lower-case name and
      // its box file the lower-case address.
      if (!backup_.renameBoxDir(dir, to)) continue;
      box.setAddress(key);
      box.writeBoxFile();
      continue;
    }
    if (readable && !backup_.hasBoxFile(to)) {
      // The lower-case box takes this box's settings.
      box.setAddress(key);
      if (!box.writeBoxFile()) continue;
    }
    std::vector<std::string> kept;
    backup_.mergeBoxDir(dir, to, readable, &MessageBox::isStoredMessage, kept);
    reportAll(kept);
  }
}

void RelayHub::restoreBox(const std::string& dir) {
  MessageBox box(&backup_);
  const bool readable = readStoredBox(dir, box);
  if (!readable) {
    if (backup_.isEmptyBoxDir(dir)) {
      // Left by a store that failed before its first file: nothing to load.
      ParamStream p;
      p.addString(dir);
      HubLog::debug(3, "   Skipped empty box folder \"%s\"", p);
      return;
    }
    const bool missing = !backup_.hasBoxFile(dir);
    reportUnreadable("msgboxes/" + dir + "/msgbox.txt");
    // The folder's name still gives the address: its messages come back,
    // and a damaged box file stays as it is.
    Address address;
    if (!RHBackup::addressFromDirName(dir, address) || address.lowered() != address) {
      // No box of this run may write over what it could not read there.
      backup_.keepUnreadableDir(dir);
      return;
    }
    box = MessageBox(&backup_, address);
    if (!missing) box.keepDamagedFile();
  } else {
    backup_.adoptBoxDir(dir, box.getAddress());
    box.markFileWritten();
  }
  if (box.getAddress().lowered() != box.getAddress() || boxes_.count(box.getAddress()) != 0) {
    return;  // its messages were merged into the lower-case box, or could not be
  }
  // The file's LastActivity is only as recent as its last rewrite; the
  // box was in use until the stop, so its idle time starts no earlier
  // than now.
  box.touchNoEarlier();
  MessageBox& placed = boxes_.insert_or_assign(box.getAddress(), box).first->second;
  {
    ParamStream p;
    p.addString(dir);
    HubLog::debug(2, "   Successfully loaded \"%s\"", p);
  }
  std::vector<std::string> damaged;
  placed.loadUnsent(&damaged);
  placed.loadUnconfirmed(&damaged);
  reportAll(damaged);
  placed.queueHeldWithoutPending();
}

// The record of sent messages lives in memory only: after a restart it is
// made again from the restored boxes (which boxes hold each id, its source,
// its time left), so that a confirmation or a reused id withdraws what it
// would have withdrawn without the restart.
void RelayHub::rebuildSentMessages() {
  sentMessages_.clear();
  const auto note = [this](const Address& box, const Message& msg) {
    SentRecord& record = sentMessages_[msg.getId()];
    record.source = msg.getSource().lowered();
    record.targets.insert(box);
    record.expiry = std::max(record.expiry, msg.deadlineTicks());
  };
  for (const auto& entry : boxes_) {
    for (const Message& msg : entry.second.pending()) note(entry.first, msg);
    for (const auto& held : entry.second.unconfirmed()) note(entry.first, held.second);
  }
}

void RelayHub::restoreBroadcasts() {
  const std::set<std::string> files = backup_.listBroadcasts();
  {
    ParamStream p;
    p.addInt(static_cast<int>(files.size()));
    HubLog::debug(1, "Loading %i broadcast message(s)...", p);
  }
  for (const std::string& file : files) {
    std::string text;
    ObjectFiler filer;
    Message msg;
    uint32_t id = 0;
    const bool named = RHBackup::messageFileId(file, id);
    if (!named || !backup_.readBroadcast(file, text) || !filer.parseWhole(text) ||
        !msg.load(filer) || msg.getId() != id) {
      if (named) unreadableBroadcasts_.insert(id);
      reportUnreadable("broadcast/" + file);
      continue;
    }
    {
      MonopolyGuard guard(broadcastLock_);
      if (guard.held()) broadcasts_.push_back(msg);
    }
    ParamStream p;
    p.addString(file);
    HubLog::debug(2, "   Successfully loaded \"%s\"", p);
  }
}

}  // namespace Vemora
