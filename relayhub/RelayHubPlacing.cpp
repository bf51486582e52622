// Placing, extraction and the record of sent messages: where a message goes
// when it enters the daemon, how an agent's EXTR is served, and how copies
// still held unconfirmed are withdrawn.
#include <vector>

#include "common/MonopolyGuard.h"
#include "common/StringOps.h"
#include "common/TickTimer.h"
#include "relayhub/HubLog.h"
#include "relayhub/RelayHub.h"

namespace Vemora {

namespace {

ParamStream addressParams(const Address& a) {
  ParamStream p;
  p.addString(a.name).addString(a.host);
  return p;
}

bool tracing(int level) {
  return HubLog::debugLevel() >= level;
}

}  // namespace

bool RelayHub::place(const Message& msg, bool mapped) {
  HubLog::debug(5, "RelayHub::place: Placing message");
  if (msg.getType() == Message::kCentral) {
    handleAdminMessage(msg);
    return true;
  }
  // Copies for the learned local names replace the message; the agent is
  // told of a copy that could not be stored.
  bool stored = true;
  if (mapped && runTargetMappings(msg, stored)) return stored;
  if (!msg.hasWildcardTarget()) {
    HubLog::debug(5, "RelayHub::place: Not a broadcast message");
    return placeInMsgBox(msg);
  }
  return broadcast(msg);
}

bool RelayHub::placeInMsgBox(const Message& msg) {
  // No agent has an empty address: such a box could never be fetched.
  if (msg.getTarget().isEmpty()) {
    HubLog::debug(2, "RelayHub::placeInMsgBox: Message without a target address - not placed");
    return true;
  }
  MessageBox& box = getMessageBox(msg.getTarget());
  // A box whose file never reached the disk would not come back after a
  // restart, and its messages with it: try again before counting it stored.
  bool stored = box.isFileWritten() || box.writeBoxFile();
  stored = addMessage(box, msg) && stored;
  if (tracing(5)) {
    ParamStream p;
    p.addUInt(msg.getId()).addString(box.getAddress().name).addString(box.getAddress().host);
    HubLog::debug(5, "RelayHub::placeInMsgBox: Message %i placed to %s@%s", p);
  }
  return stored;
}

MessageBox& RelayHub::getMessageBox(const Address& target) {
  // Agents' boxes are keyed in lower case (the handshake lowers names and
  // hosts); a target read from the wire keeps its capitals.
  const Address address = target.lowered();
  if (tracing(5)) {
    HubLog::debug(5, "RelayHub::getMessageBox: Finding message box for %s@%s",
                  addressParams(address));
  }
  auto it = boxes_.find(address);
  if (it != boxes_.end()) {
    it->second.touch();
    return it->second;
  }
  if (tracing(3)) {
    HubLog::debug(3, "RelayHub::getMessageBox: No message box for %s@%s - creating new",
                  addressParams(address));
  }
  MessageBox& box = boxes_.emplace(address, MessageBox(&backup_, address)).first->second;
  box.touch();
  box.writeBoxFile();
  placeBroadcast(box);
  return box;
}

bool RelayHub::addMessage(MessageBox& box, const Message& msg) {
  if (tracing(3)) {
    ParamStream p;
    p.addUInt(msg.getId())
        .addString(box.getAddress().name)
        .addString(box.getAddress().host)
        .addString(msg.dump("   "));
    HubLog::debug(3, "RelayHub::addMessage: Adding message %i to message box for %s@%s:\n%s", p);
  }
  const bool stored = box.addMessage(msg);
  // Registered under the box's own address, which is the copy's target.
  Message copy(msg);
  copy.setTargetExact(box.getAddress());
  registerMsgDetails(copy);
  return stored;
}

void RelayHub::registerMsgDetails(const Message& msg) {
  const uint32_t id = msg.getId();
  if (tracing(5)) {
    ParamStream p;
    p.addUInt(id);
    HubLog::debug(5, "RelayHub::registerMsgDetails: Registering message %i", p);
  }
  auto it = sentMessages_.find(id);
  if (it == sentMessages_.end()) {
    HubLog::debug(5, "RelayHub::registerMsgDetails:    Registering with SentMessages");
    it = sentMessages_.emplace(id, SentRecord()).first;
  }
  const Address source = msg.getSource().lowered();
  if (!it->second.source.name.empty() && it->second.source != source) {
    if (tracing(3)) {
      ParamStream p;
      p.addUInt(id).addString(it->second.source.toText()).addString(msg.getSource().toText());
      HubLog::debug(3,
                    "RelayHub::registerMsgDetails: Different source for message %i (old=%s, "
                    "new=%s), so uncaching",
                    p);
    }
    unCache(id, msg.hasWildcardTarget(), false);
    // The withdrawal may have dropped the record with its last copy.
    it = sentMessages_.emplace(id, SentRecord()).first;
  }
  SentRecord& record = it->second;
  record.source = source;
  record.targets.insert(msg.getTarget());
  record.expiry = msg.deadlineTicks();
  HubLog::debug(5, "RelayHub::registerMsgDetails:    Registered");
}

void RelayHub::sweepSentMessages() {
  const uint64_t now = static_cast<uint64_t>(TickTimer().now());
  std::vector<uint32_t> expired;
  // Expired records, and those whose copies have all left their boxes
  // (delivered, confirmed, cleared, or their box removed): nothing is left
  // for them to withdraw, and memory stays bounded by what is held.
  for (const auto& entry : sentMessages_) {
    if (entry.second.expiry < now || !holdsCopy(entry.first, entry.second)) {
      expired.push_back(entry.first);
    }
  }
  for (uint32_t id : expired) sentMessages_.erase(id);
}

bool RelayHub::holdsCopy(uint32_t id, const SentRecord& record) const {
  for (const Address& target : record.targets) {
    auto box = boxes_.find(target);
    if (box == boxes_.end()) continue;
    if (box->second.hasPending(id) || box->second.unconfirmed().count(id) != 0) return true;
  }
  return false;
}

void RelayHub::forgetSentIfUnheld(uint32_t id) {
  auto it = sentMessages_.find(id);
  if (it != sentMessages_.end() && !holdsCopy(id, it->second)) sentMessages_.erase(it);
}

void RelayHub::unCache(uint32_t id, bool withdrawBroadcast, bool clearNoBroadcast) {
  auto it = sentMessages_.find(id);
  if (it != sentMessages_.end()) {
    // A copy: removing from a box never touches the record itself.
    const std::set<Address> targets = it->second.targets;
    for (const Address& target : targets) removeFromCache(target, id, clearNoBroadcast);
    forgetSentIfUnheld(id);
  }
  if (!withdrawBroadcast) return;
  MonopolyGuard guard(broadcastLock_);
  if (!guard.held()) return;
  for (auto b = broadcasts_.begin(); b != broadcasts_.end(); ++b) {
    if (b->getId() != id) continue;
    if (tracing(3)) {
      ParamStream p;
      p.addUInt(id);
      HubLog::debug(3, "RelayHub::unCache: Uncaching broadcast message %i", p);
    }
    backup_.removeBroadcast(id);
    broadcasts_.erase(b);
    break;
  }
}

void RelayHub::removeFromCache(const Address& address, uint32_t id, bool clearNoBroadcast) {
  auto it = boxes_.find(address.lowered());
  if (it == boxes_.end()) {
    HubLog::debug(5, "RelayHub::removeFromCache:    Message not cached");
    return;
  }
  it->second.removeUnconfirmed(id);
  if (clearNoBroadcast) clearFromNoBroadcast(id, it->second);
}

void RelayHub::clearFromNoBroadcast(uint32_t id, MessageBox& box) {
  if (tracing(5)) {
    ParamStream p;
    p.addUInt(id);
    HubLog::debug(5,
                  "RelayHub::clearFromNoBroadcast: Removing message %i from the no-broadcast "
                  "list",
                  p);
  }
  box.removeNoBroadcast(id);
}

void RelayHub::handledLocal(const Message& msg) {
  auto it = boxes_.find(msg.getSource().lowered());
  if (it == boxes_.end()) return;
  it->second.removeUnconfirmed(msg.getId());
  it->second.addNoBroadcast(msg.getId());
  forgetSentIfUnheld(msg.getId());
}

bool RelayHub::extract(const Address& address, std::list<Message>& out, int32_t port,
                       int32_t instanceId) {
  if (tracing(5)) {
    HubLog::debug(5, "RelayHub::extract: Extracting message for %s@%s", addressParams(address));
  }
  MessageBox& box = getMessageBox(address);
  box.update(port, instanceId);
  out.clear();
  box.extract(out, 20);
  const bool all = box.pending().empty();
  cacheExtractedMessages(box, out);
  if (tracing(5)) {
    ParamStream p;
    p.addInt(static_cast<int>(out.size())).addString(address.name).addString(address.host);
    HubLog::debug(5, "RelayHub::extract: Extracted %i message(s) for %s@%s", p);
  }
  return all;
}

void RelayHub::cacheExtractedMessages(MessageBox& box, std::list<Message>& out) {
  for (auto it = out.begin(); it != out.end();) {
    if (!it->hasTimedOut()) {
      box.addUnconfirmed(*it);
      ++it;
      continue;
    }
    if (tracing(4)) {
      ParamStream p;
      p.addString(it->dump("   "));
      HubLog::debug(4, "RelayHub::cacheExtractedMessages: Timeout on message:\n%s", p);
    }
    // Dropped for good: its stored copies go too, or it would come back to
    // life at the next start.
    box.removeUnconfirmed(it->getId());
    box.forgetDelivered(it->getId());
    it = out.erase(it);
  }
}

}  // namespace Vemora
