// The handler's idle sweep: boxes whose agents have been silent for longer
// than the agents time-out are removed, and agents with HIGH mail waiting
// are called back on their own port with "UPDATE".
//
// Runs on the handler thread only, and only while it serves no connection,
// so the boxes need no lock.
#include "platform/Clock.h"
#include "relayhub/HubLog.h"
#include "relayhub/RelayHub.h"

namespace Vemora {

namespace {

// A box whose call-back failed is not called again for this long.
constexpr int32_t kRetrySeconds = 5;

int32_t nowSeconds() {
  return static_cast<int32_t>(platform::unixTime());
}

bool tracing(int level) {
  return HubLog::debugLevel() >= level;
}

}  // namespace

bool RelayHub::sweepBoxes() {
  if (!notifyAgents_) return false;
  const int32_t now = nowSeconds();
  bool called = false;
  std::list<Address> removals;
  for (auto& entry : boxes_) {
    MessageBox& box = entry.second;
    if (haveMsgBoxTimedOut(now, box, removals)) continue;
    if (shouldNotify(box) && notify(box)) called = true;
  }
  removeBoxes(removals);
  return called;
}

bool RelayHub::haveMsgBoxTimedOut(int32_t now, const MessageBox& box,
                                  std::list<Address>& removals) {
  // A signed 32-bit difference, so a clock set back keeps the box.
  const int32_t idle = static_cast<int32_t>(static_cast<uint32_t>(now) - box.getLastActivity());
  if (idle <= agentsTimeout_) return false;
  if (tracing(2)) {
    ParamStream p;
    p.addString(box.getAddress().name).addString(box.getAddress().host).addInt(idle);
    HubLog::debug(2,
                  "RelayHub::haveMsgBoxTimedOut: There has been no activity in message box "
                  "belonging to \"%s@%s\" for %i seconds now - going to remove it",
                  p);
  }
  removals.push_back(box.getAddress());
  return true;
}

void RelayHub::removeBoxes(const std::list<Address>& addresses) {
  for (const Address& address : addresses) {
    auto it = boxes_.find(address);
    // Files that could not be read are never deleted: such a box's folder
    // stays on disk (and comes back at the next start).
    const bool keep =
        it != boxes_.end() && (it->second.hasDamagedFile() || it->second.hasUnreadable());
    if (!keep) backup_.removeBox(address);
    boxes_.erase(address);
  }
}

bool RelayHub::shouldNotify(const MessageBox& box) const {
  return box.getPort() >= 1 && box.highCount() != 0 && !box.haveNotified();
}

bool RelayHub::notify(MessageBox& box) {
  const int32_t now = nowSeconds();
  const int32_t last = box.getLastNotifyAttempt();
  const int32_t since = now - last;
  if (last > 0 && since >= 0 && since < kRetrySeconds) return false;
  if (tracing(3)) {
    ParamStream p;
    p.addInt(box.highCount()).addString(box.getAddress().name).addString(box.getAddress().host);
    HubLog::debug(3, "RelayHub::notify: Have %i high priority messages for %s@%s - notifying", p);
  }
  Connection callBack;
  callBack.setHost(box.getAddress().host);
  callBack.setPort(box.getPort());
  if (callBack.connect() == Connection::kOk && callBack.csend("UPDATE")) {
    box.setHaveNotified(true);
    box.setLastNotifyAttempt(0);
    HubLog::debug(5, "RelayHub::notify:    SUCCESS!");
  } else {
    // Every failed attempt holds the box back: retrying a refused port at
    // once would spin the idle handler and flood the log.
    box.setHaveNotified(false);
    box.setLastNotifyAttempt(now);
  }
  if (!box.haveNotified()) HubLog::debug(5, "RelayHub::notify:    FAILED!");
  callBack.close();
  return true;
}

}  // namespace Vemora
