// Broadcast: messages with a wildcard target, offered to every matching box
// now and to every box created later, until they time out or are withdrawn.
//
// The main list is shared with the main loop (time-out sweep) and touched
// only under broadcastLock_; boxes are never changed while it is held.
#include <set>

#include "common/MonopolyGuard.h"
#include "common/ObjectFiler.h"
#include "common/StringOps.h"
#include "relayhub/HubLog.h"
#include "relayhub/RelayHub.h"

namespace Vemora {

namespace {

// Lifetime of a broadcast that arrives without a time-out of its own.
constexpr uint32_t kDefaultBroadcastSeconds = 1200;

bool tracing(int level) {
  return HubLog::debugLevel() >= level;
}

ParamStream idParams(uint32_t id) {
  ParamStream p;
  p.addUInt(id);
  return p;
}

ParamStream idTargetParams(const Message& msg) {
  ParamStream p;
  p.addUInt(msg.getId()).addString(msg.getTarget().toText());
  return p;
}

// Patterns and addresses compare without regard to case, as box keys do.
bool matchesHost(const Message& msg, const Address& address) {
  return StringOps::wildcardMatch(msg.getTarget().lowered().host, address.lowered().host);
}

bool matchesName(const Message& msg, const Address& address) {
  return StringOps::wildcardMatch(msg.getTarget().lowered().name, address.lowered().name);
}

// The copy a box (or a requester) is given: its own address as target.
Message copyFor(const Message& msg, const Address& target) {
  Message copy(msg);
  copy.setTarget(target);
  copy.setBroadcast(true);
  return copy;
}

// The stored form of a broadcast: the text of its Message tree.
bool messageText(const Message& msg, std::string& text) {
  ObjectFiler filer;
  if (!msg.save(filer)) return false;
  filer.toString(text);
  return true;
}

std::string replyText(size_t count, const std::string& address) {
  if (count == 0) return "There are no broadcast messages for " + address;
  if (count == 1) return "There is one broadcast message for " + address;
  return "There are " + StringOps::fromUInt(static_cast<uint32_t>(count)) +
         " broadcast messages for " + address;
}

}  // namespace

bool RelayHub::broadcast(const Message& msg) {
  if (tracing(5))
    HubLog::debug(5, "RelayHub::broadcast: Broadcasting message %i for %s", idTargetParams(msg));
  Message wide(msg);
  if (wide.getTimeoutTicks() == 0) wide.setTimeout(kDefaultBroadcastSeconds);
  wide.setBroadcast(true);
  // Stored first: a broadcast is acknowledged only once its file is on
  // disk, and one that is not is offered to nobody.
  if (!updateBroadcast(wide)) return false;
  placeBroadcast(wide);
  if (tracing(5)) {
    HubLog::debug(5, "RelayHub::broadcast: Added message %i for target %s to broadcast cache",
                  idTargetParams(wide));
  }
  return true;
}

void RelayHub::placeBroadcast(const Message& msg) {
  if (tracing(3)) {
    ParamStream p;
    p.addUInt(msg.getId()).addString(msg.getTarget().name).addString(msg.getTarget().host);
    HubLog::debug(3, "RelayHub::placeBroadcast: Broadcasting message %i for %s@%s", p);
  }
  for (auto& entry : boxes_) {
    MessageBox& box = entry.second;
    if (box.noBroadcast().count(msg.getId()) != 0) {
      HubLog::debug(5, "RelayHub::placeBroadcast:       No-broadcast to this box");
    } else if (matchesName(msg, box.getAddress()) && matchesHost(msg, box.getAddress())) {
      HubLog::debug(5, "RelayHub::placeBroadcast:       Broadcast to this box");
      addMessage(box, copyFor(msg, box.getAddress()));
    } else {
      HubLog::debug(5, "RelayHub::placeBroadcast:       Not matched, no broadcast to this box");
    }
  }
}

bool RelayHub::updateBroadcast(Message msg) {
  if (tracing(5)) {
    HubLog::debug(5,
                  "RelayHub::updateBroadcast: Updating main broadcast list with message %i for %s",
                  idTargetParams(msg));
  }
  {
    MonopolyGuard guard(broadcastLock_);
    if (!guard.held()) return false;  // the hub is going away
    // The new file replaces an older broadcast's of the same id in one
    // step (same name), so a failed write leaves the old one in force.
    std::string text;
    if (unreadableBroadcasts_.count(msg.getId()) != 0 || !messageText(msg, text) ||
        !backup_.writeBroadcast(msg.getId(), text)) {
      return false;
    }
    for (auto it = broadcasts_.begin(); it != broadcasts_.end(); ++it) {
      if (it->getId() != msg.getId()) continue;
      if (tracing(3)) {
        HubLog::debug(3, "RelayHub::updateBroadcast: Erased old broadcast message %i for %s",
                      idTargetParams(*it));
      }
      broadcasts_.erase(it);
      break;
    }
    broadcasts_.push_back(msg);
  }
  if (tracing(3)) {
    HubLog::debug(3, "RelayHub::updateBroadcast: Added message %i for %s to main broadcast list",
                  idTargetParams(msg));
  }
  return true;
}

void RelayHub::placeBroadcast(MessageBox& box) {
  if (tracing(4)) {
    ParamStream p;
    p.addString(box.getAddress().toText());
    HubLog::debug(4, "RelayHub::placeBroadcast: Placing broadcast messages for %s", p);
  }
  std::list<Message> list;
  {
    MonopolyGuard guard(broadcastLock_);
    if (guard.held()) list = broadcasts_;
  }
  if (list.empty()) {
    HubLog::debug(4, "RelayHub::placeBroadcast:    No messages");
    return;
  }
  placeBroadcastMessages(box, list);
}

void RelayHub::placeBroadcastMessages(MessageBox& box, const std::list<Message>& list) {
  const Address& address = box.getAddress();
  if (tracing(4)) {
    ParamStream p;
    p.addInt(static_cast<int>(list.size())).addString(address.toText());
    HubLog::debug(4, "RelayHub::placeBroadcastMessages: Placing up to %i broadcast messages for %s",
                  p);
  }
  std::set<uint32_t> given;
  for (const Message& msg : list) {
    if (!offerToBox(box, msg, given)) continue;
    const Message copy = copyFor(msg, address);
    addMessage(box, copy);
    given.insert(msg.getId());
    connectionsLogMessage(address, "BROADCAST", copy, true);
  }
  if (tracing(4)) {
    ParamStream p;
    p.addInt(static_cast<int>(given.size())).addString(address.toText());
    HubLog::debug(4, "RelayHub::placeBroadcastMessages: Placed %i broadcast messages for %s", p);
  }
}

bool RelayHub::offerToBox(const MessageBox& box, const Message& msg,
                          const std::set<uint32_t>& given) {
  if (box.noBroadcast().count(msg.getId()) != 0) {
    HubLog::debug(5, "RelayHub::placeBroadcastMessages:       Is in the no-broadcast list, so no");
    return false;
  }
  if (!matchesHost(msg, box.getAddress())) {
    ParamStream p;
    p.addString(msg.getTarget().host);
    HubLog::debug(
        5, "RelayHub::placeBroadcastMessages:       Doesn't match target host pattern \"%s\"", p);
    return false;
  }
  if (!placeBroadcastTargetMapping(box, msg) && !matchesName(msg, box.getAddress())) {
    ParamStream p;
    p.addString(msg.getTarget().name).addString(msg.getTarget().host);
    HubLog::debug(5, "RelayHub::placeBroadcastMessages:       Doesn't match target \"%s@%s\"", p);
    return false;
  }
  if (given.count(msg.getId()) != 0) {
    HubLog::debug(5, "RelayHub::placeBroadcastMessages:       Already sent, so not sending again");
    return false;
  }
  return true;
}

bool RelayHub::placeBroadcastTargetMapping(const MessageBox& box, const Message& msg) {
  const std::string local = box.getAddress().name;
  const std::string standard = localToStandardName(local);
  if (standard.empty()) return false;
  ParamStream p;
  p.addString(local).addString(standard);
  HubLog::debug(
      4, "RelayHub::placeBroadcastTargetMapping: Mapped local recipient \"%s\" to standard \"%s\"",
      p);
  const std::string target = localToStandardName(msg.getTarget().lowered().name);
  if (target.empty() || target != standard) return false;
  ParamStream q;
  q.addString(msg.getTarget().name).addString(target);
  HubLog::debug(4,
                "RelayHub::placeBroadcastTargetMapping: Mapped broadcast local target \"%s\" to "
                "standard \"%s\"",
                q);
  return true;
}

void RelayHub::reBroadcast(const Address& address) {
  if (tracing(3)) {
    ParamStream p;
    p.addString(address.name).addString(address.host);
    HubLog::debug(3, "RelayHub::reBroadcast: Re-broadcasting messages to %s@%s", p);
  }
  auto it = boxes_.find(address.lowered());
  if (it == boxes_.end()) {
    HubLog::debug(4, "   Found no message box - so no re-broadcast");
    return;
  }
  it->second.clearNoBroadcast();
  placeBroadcast(it->second);
}

void RelayHub::checkBroadcastTimeouts() {
  MonopolyGuard guard(broadcastLock_);
  if (!guard.held()) return;
  for (auto it = broadcasts_.begin(); it != broadcasts_.end();) {
    if (!it->hasTimedOut()) {
      ++it;
      continue;
    }
    if (tracing(3)) {
      HubLog::debug(3, "RelayHub::checkBroadcastTimeouts: Timeout on broadcast message %i",
                    idParams(it->getId()));
    }
    backup_.removeBroadcast(it->getId());
    it = broadcasts_.erase(it);
  }
}

void RelayHub::getBroadcast(const Address& requester, uint32_t id,
                            const std::vector<std::string>& lines, size_t& next) {
  std::list<Message> matches;
  std::string text = "Invalid/missing target specified!";
  if (next < lines.size()) {
    std::string host = lines[next++];
    const std::string name = StringOps::cutToken(host, '@');
    const Address wanted(name, host);
    {
      MonopolyGuard guard(broadcastLock_);
      if (guard.held()) {
        for (const Message& msg : broadcasts_) {
          if (matchesName(msg, wanted) && matchesHost(msg, wanted)) matches.push_back(msg);
        }
      }
    }
    text = replyText(matches.size(), wanted.toText());
  }
  // To the requester's own box, spelt as its agent spells it.
  Message reply = adminReply(requester, id);
  reply.setData(text);
  place(reply, true);
  for (const Message& msg : matches) {
    Message copy(msg);
    copy.setTargetExact(requester);
    copy.setType(Message::kStatement);
    copy.setBroadcast(true);
    place(copy, true);
  }
}

}  // namespace Vemora
