// The start-up restore of the state store: the learned names, every box
// with its pending and unconfirmed messages, and the pending broadcasts.
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

}  // namespace

bool RelayHub::restoreBackup() {
  backup_.loadNameMap();
  const std::set<std::string> boxes = backup_.listBoxes();
  {
    ParamStream p;
    p.addInt(static_cast<int>(boxes.size()));
    HubLog::debug(1, "Loading %i message box(es)...", p);
  }
  for (const std::string& dir : boxes) {
    std::string text;
    ObjectFiler filer;
    MessageBox box(&backup_);
    // An unreadable box is reported and left on disk as it is.
    if (!backup_.readBox(dir, text) || !filer.parse(text) || !box.load(filer)) {
      reportUnreadable("msgboxes/" + dir);
      continue;
    }
    backup_.adoptBoxDir(dir, box.getAddress());
    box.markFileWritten();
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
    placed.loadUnsent();
    placed.loadUnconfirmed();
  }
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
    if (!backup_.readBroadcast(file, text) || !filer.parse(text) || !msg.load(filer)) {
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
  return true;
}

}  // namespace Vemora
