// The agent protocol: a state machine of 24 states per connection, stepped
// once per handler pass. States 0 to 11 are the handshake (version, entity
// type, status, identity and signals), 12 to 23 the tasks PLAC, EXTR and
// END!. Every step sends or receives at most one item and never blocks on a
// read; a step that answers false gets its connection dropped.
#include <cctype>
#include <utility>

#include "common/StringStream.h"
#include "platform/Clock.h"
#include "relayhub/HubLog.h"
#include "relayhub/RelayHub.h"

namespace Vemora {

namespace {

constexpr uint32_t kSigReset = 1;
constexpr uint32_t kSigRebroadcast = 2;
constexpr int32_t kWaitingLimitSeconds = 3000 / 1000;

int32_t nowSeconds() {
  return static_cast<int32_t>(platform::unixTime());
}

std::string lowerCopy(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// A text placed into a trace format must not be read as placeholders.
std::string literal(const std::string& text) {
  std::string out;
  for (char c : text) {
    out += c;
    if (c == '%') out += '%';
  }
  return out;
}

ParamStream one(const std::string& text) {
  ParamStream p;
  p.addString(text);
  return p;
}

ParamStream num(int value) {
  ParamStream p;
  p.addInt(value);
  return p;
}

// The states that receive a string item from the agent.
bool receivesString(int32_t state) {
  return state == 2 || state == 6 || state == 7 || state == 12 || state == 18;
}

}  // namespace

void RelayHub::protoTrace(int level, const char* method, const ConnectionEntry& entry, int indent,
                          const std::string& text, const ParamStream& params) {
  if (HubLog::debugLevel() < level) return;
  std::string format = std::string("RelayHub::") + method + "(" + literal(entry.display) + "): ";
  format.append(static_cast<size_t>(indent) * 2, ' ');
  format += text;
  HubLog::debug(level, format, params);
}

void RelayHub::startItem(ConnectionEntry& entry, int32_t state, bool waiting) {
  entry.state = state;
  entry.waiting = waiting;
  ItemClock& clock = itemClocks_[&entry];
  clock.connection = entry.connection.isNull() ? nullptr : &*entry.connection;
  clock.registered = entry.registered;
  clock.started = nowSeconds();
}

int64_t RelayHub::itemLimitSeconds(uint32_t announcedBytes) {
  return kItemLimitSeconds + announcedBytes / kItemMinBytesPerSecond;
}

bool RelayHub::overTimeLimits(int32_t now, ConnectionEntry& entry) {
  // The 3-second rule counts from the last byte, so a peer that sends one
  // byte every 2 seconds would hold its slot for ever: the handshake as a
  // whole and every single item (by the size it announces) are bounded too.
  if (entry.state < 12 && now - entry.registered > kHandshakeLimitSeconds) return true;
  const Connection* connection = &*entry.connection;
  auto it = itemClocks_.find(&entry);
  if (it == itemClocks_.end() || it->second.connection != connection ||
      it->second.registered != entry.registered) {
    itemClocks_[&entry] = ItemClock{connection, entry.registered, now};
    return false;
  }
  const uint32_t announced =
      entry.staging.stage >= RecvStaging::kStringBytes ? entry.staging.length : 0;
  return now - it->second.started > itemLimitSeconds(announced);
}

void RelayHub::replacePending(ConnectionEntry& entry) {
  for (const Message& msg : entry.pending) place(msg, true);
  entry.pending.clear();
}

void RelayHub::dropConnection(ConnectionList& list) {
  if (list.current == list.entries.end()) return;
  ConnectionEntry& entry = *list.current;
  if (!entry.connection.isNull()) entry.connection->close();
  itemClocks_.erase(&entry);
  list.eraseCurrent();
}

bool RelayHub::handleConnection(ConnectionEntry& entry, ConnectionList& list) {
  bool keep = false;
  switch (entry.state) {
    case 0:
      keep = preferredVersion_ > 1 ? initGetProtocolVersion(entry, list) : initGetType(entry, list);
      break;
    case 1:
      keep = initAcceptProtocol(entry, list);
      break;
    case 2:
      keep = initGetType(entry, list);
      break;
    case 3:
      keep = initAcceptAgent(entry, list);
      break;
    case 4:
      keep = initAcceptRouter(entry, list);
      break;
    case 5:
      keep = initRejectUnknown(entry, list);
      break;
    case 6:
      keep = initRecvAddrName(entry, list);
      break;
    case 7:
      keep = initRecvAddrHost(entry, list);
      break;
    case 8:
      keep = initRecvPort(entry, list);
      break;
    case 9:
      keep = initRecvInstanceID(entry, list);
      break;
    case 10:
      keep = initRecvSignal(entry, list);
      break;
    case 11:
      keep = initAck(entry, list);
      break;
    case 12:
      keep = handleRecvTask(entry, list);
      break;
    case 13:
      keep = handlePLAC(entry, list);
      break;
    case 14:
      keep = handleEXTR(entry, list);
      break;
    case 15:
      handleEND(entry, list);
      keep = false;
      break;
    case 16:
      keep = handleReject(entry, list);
      break;
    case 17:
      keep = handlePLACRecvMsgnum(entry, list);
      break;
    case 18:
      keep = handlePLACRecvMsg(entry, list);
      break;
    case 19:
      keep = handlePLACRecvMsgAck(entry, list);
      break;
    case 20:
      keep = handleEXTRSendMsgnum(entry, list);
      break;
    case 21:
      keep = handleEXTRSendMsgStart(entry, list);
      break;
    case 22:
      keep = handleEXTRSendMsg(entry, list);
      break;
    case 23:
      keep = handleEXTRRecvMsgAck(entry, list);
      break;
    default:
      keep = false;
      break;
  }
  if (keep) return true;
  dropConnection(list);
  return false;
}

bool RelayHub::checkWaitingHaveData(int32_t now, ConnectionEntry& entry, ConnectionList& list) {
  if (!entry.waiting) return true;
  const RecvStaging& staged = entry.staging;
  // A string item whose announced bytes are all in (an empty string as the
  // agent's last bytes) completes without anything more to read.
  const bool stringState =
      receivesString(entry.state) || (entry.state == 0 && preferredVersion_ <= 1);
  if (stringState && staged.stage == RecvStaging::kStringBytes &&
      staged.partial.size() >= staged.length) {
    return true;
  }
  if (entry.connection->isOpen() && overTimeLimits(now, entry)) {
    protoTrace(4, "checkWaitingHaveData", entry, 0,
               "Item or handshake took too long - closing connection");
    entry.connection->close();
  } else if (haveDataToReceive(entry, list)) {
    return true;
  } else {
    reportHaveNoData(entry);
  }
  protoTrace(5, "checkWaitingHaveData", entry, 1, "No activity for %i second(s)",
             num(now - entry.lastStep));
  if (entry.connection->isOpen()) {
    ++list.current;
    return false;
  }
  replacePending(entry);
  protoTrace(5, "checkWaitingHaveData", entry, 1, "Connection was closed");
  dropConnection(list);
  return false;
}

bool RelayHub::haveDataToReceive(ConnectionEntry& entry, ConnectionList& /*list*/) {
  protoTrace(5, "haveDataToReceive", entry, 0, "Checking");
  // The wait before this pass already looked: nothing had arrived. What
  // arrives now is seen by the next wait, which then ends at once.
  if (std::exchange(entry.knownIdle, false)) return false;
  if (!entry.connection->haveData(0)) return false;
  protoTrace(4, "haveDataToReceive", entry, 1, "Have data");
  return true;
}

bool RelayHub::reportHaveNoData(ConnectionEntry& entry) {
  Connection& c = *entry.connection;
  if (!c.isOpen()) {
    protoTrace(5, "reportHaveNoData", entry, 0, "Connection is already closed");
  } else if (nowSeconds() - c.getLastActivity() > kWaitingLimitSeconds) {
    protoTrace(4, "reportHaveNoData", entry, 0, "No data sent for %i seconds - closing connection",
               num(kWaitingLimitSeconds));
    c.close();
  } else {
    protoTrace(5, "reportHaveNoData", entry, 1, "No data ");
  }
  return false;
}

void RelayHub::getFullConnAddress(ConnectionEntry& entry) {
  const Connection& c = *entry.connection;
  if (entry.displayParts == 2 && entry.displaySocket == c.getSocket()) return;
  int parts = 0;
  std::string text;
  if (entry.address.name.empty()) {
    text = "<unknown>@";
  } else {
    text = entry.address.name + "@";
    ++parts;
  }
  if (entry.address.host.empty()) {
    text += c.getHost();
  } else {
    text += entry.address.host;
    if (lowerCopy(c.getHost()).find(entry.address.host) == std::string::npos) {
      text += " (" + c.getHost() + ")";
    }
    ++parts;
  }
  text += "[socket=" + std::to_string(c.getSocket()) + "]";
  entry.displayParts = parts;
  entry.displaySocket = c.getSocket();
  if (text == entry.display) return;
  entry.display = text;
  HubLog::debug(parts == 2 ? 2 : 5, "RelayHub::getFullConnAddress: Got address \"%s\"", one(text));
}

void RelayHub::debugConn(int32_t now, ConnectionEntry& entry, int index, int count) {
  if (HubLog::debugLevel() < 4) return;
  ParamStream p;
  p.addInt(index).addInt(count);
  protoTrace(4, "debugConn", entry, 0, "Handling connection %i of %i", p);
  if (!entry.firstPass) {
    protoTrace(4, "debugConn", entry, 1,
               "First time handling at %i seconds after registered connect",
               num(now - entry.registered));
  }
}

void RelayHub::logMsgBoxContents(const Address& address) {
  if (!connectionsLogOpen()) return;
  auto it = boxes_.find(address);
  if (it == boxes_.end()) return;
  const std::list<Message> pending = it->second.pending();
  const std::map<uint32_t, Message> unconfirmed = it->second.unconfirmed();
  const std::set<uint32_t> noBroadcast = it->second.noBroadcast();
  bool first = true;
  for (const Message& m : pending) {
    connectionsLogMessage(address, "NEW MESSAGES", m, first);
    first = false;
  }
  first = true;
  for (const auto& held : unconfirmed) {
    connectionsLogMessage(address, "CACHED MESSAGES", held.second, first);
    first = false;
  }
  std::string ids;
  for (uint32_t id : noBroadcast) {
    if (!ids.empty()) ids += ", ";
    ids += std::to_string(id);
  }
  if (!ids.empty()) connectionsLogLine(address, "NO BROADCAST", ids);
}

// ---- handshake ----

bool RelayHub::initGetProtocolVersion(ConnectionEntry& entry, ConnectionList& /*list*/) {
  protoTrace(5, "initGetProtocolVersion", entry, 0, "Getting");
  unsigned int version = 0;
  const int r = entry.connection->crecv(version, entry.staging);
  if (r == 0) {
    protoTrace(5, "initGetProtocolVersion", entry, 1, "Failed to receive protocol version");
    return false;
  }
  if (r == 1) return true;
  entry.staging.reset();
  entry.protocolVersion = version;
  startItem(entry, 1, false);
  return true;
}

bool RelayHub::initAcceptProtocol(ConnectionEntry& entry, ConnectionList& /*list*/) {
  protoTrace(5, "initAcceptProtocol", entry, 0, "Connecting agent is using protocol version %i",
             num(static_cast<int>(entry.protocolVersion)));
  if (entry.protocolVersion >= 1 && entry.protocolVersion <= 2) {
    if (!entry.connection->sendAck()) {
      protoTrace(5, "initAcceptProtocol", entry, 1, "Failed to send ACK");
      return false;
    }
    startItem(entry, 2, true);
    return true;
  }
  ParamStream p;
  p.addInt(1).addInt(2);
  protoTrace(5, "initAcceptProtocol", entry, 1, "Unsupported (must be in the range %i - %i)", p);
  if (!entry.connection->sendNac())
    protoTrace(5, "initAcceptProtocol", entry, 1, "Failed to send NAC");
  return false;
}

bool RelayHub::initGetType(ConnectionEntry& entry, ConnectionList& /*list*/) {
  protoTrace(5, "initGetType", entry, 0, "Getting");
  std::string type;
  const int r = entry.connection->crecv(type, entry.staging);
  if (r == 0) {
    protoTrace(5, "initGetType", entry, 1, "Failed to receive type");
    return false;
  }
  if (r == 1) return true;
  entry.staging.reset();
  startItem(entry, type == "AGENT" ? 3 : type == "ROUTER" ? 4 : 5, false);
  return true;
}

bool RelayHub::initAcceptAgent(ConnectionEntry& entry, ConnectionList& /*list*/) {
  protoTrace(5, "initAcceptAgent", entry, 0, "Accepting");
  Connection& c = *entry.connection;
  if (!c.sendAck()) {
    protoTrace(5, "initAcceptAgent", entry, 1, "Failed to send ACK");
    return false;
  }
  protoTrace(5, "initAcceptAgent", entry, 1, "Sending our status to agent...");
  if (!c.csend(std::string("backup=") + (backup_.isWritten() ? "yes" : "no") + "\n")) {
    protoTrace(5, "initAcceptAgent", entry, 1, "Failed to send status");
    return false;
  }
  if (!c.csend(std::string("BEGIN"))) {
    protoTrace(5, "initAcceptAgent", entry, 1, "Failed to send BEGIN");
    return false;
  }
  startItem(entry, 6, true);
  return true;
}

bool RelayHub::initAcceptRouter(ConnectionEntry& entry, ConnectionList& /*list*/) {
  protoTrace(5, "initAcceptRouter", entry, 0, "WARNING: Not yet suported!");
  entry.connection->sendNac();
  return false;
}

bool RelayHub::initRejectUnknown(ConnectionEntry& entry, ConnectionList& /*list*/) {
  protoTrace(2, "initRejectUnknown", entry, 0, "Unknown entity connecting - rejecting it");
  return false;
}

bool RelayHub::initRecvAddrName(ConnectionEntry& entry, ConnectionList& /*list*/) {
  protoTrace(5, "initRecvAddrName", entry, 0, "Receiving");
  std::string name;
  const int r = entry.connection->crecv(name, entry.staging);
  if (r == 0) {
    protoTrace(2, "initRecvAddrName", entry, 1, "Failed to receive");
    return false;
  }
  if (r == 1) return true;
  entry.staging.reset();
  entry.address.name = lowerCopy(name);
  getFullConnAddress(entry);
  startItem(entry, 7, true);
  return true;
}

bool RelayHub::initRecvAddrHost(ConnectionEntry& entry, ConnectionList& /*list*/) {
  protoTrace(5, "initRecvAddrHost", entry, 0, "Receiving");
  std::string host;
  const int r = entry.connection->crecv(host, entry.staging);
  if (r == 0) {
    protoTrace(2, "initRecvAddrHost", entry, 1, "Failed to receive");
    return false;
  }
  if (r == 1) return true;
  entry.staging.reset();
  protoTrace(5, "initRecvAddrHost", entry, 0, "Got host name \"%s\"", one(host));
  entry.address.host = lowerCopy(host);
  getFullConnAddress(entry);
  connectionsLogLine(entry.address, "BEGIN", "");
  const std::string standard = localToStandardName(entry.address.name);
  if (!standard.empty()) backup_.learnName(entry.address.name, standard);
  startItem(entry, 8, true);
  return true;
}

bool RelayHub::initRecvPort(ConnectionEntry& entry, ConnectionList& /*list*/) {
  protoTrace(5, "initRecvPort", entry, 0, "Receiving");
  int port = 0;
  const int r = entry.connection->crecv(port, entry.staging);
  if (r == 0) {
    protoTrace(2, "initRecvPort", entry, 1, "Failed to receive");
    return false;
  }
  if (r == 1) return true;
  entry.staging.reset();
  entry.port = port;
  startItem(entry, 9, true);
  return true;
}

bool RelayHub::initRecvInstanceID(ConnectionEntry& entry, ConnectionList& /*list*/) {
  protoTrace(5, "initRecvInstanceID", entry, 0, "Receiving");
  int id = 0;
  const int r = entry.connection->crecv(id, entry.staging);
  if (r == 0) {
    protoTrace(2, "initRecvInstanceID", entry, 1, "Failed to receive");
    return false;
  }
  if (r == 1) return true;
  entry.staging.reset();
  entry.instanceId = id;
  startItem(entry, 10, true);
  return true;
}

bool RelayHub::initRecvSignal(ConnectionEntry& entry, ConnectionList& /*list*/) {
  protoTrace(5, "initRecvSignal", entry, 0, "Receiving");
  int signalMask = 0;
  const int r = entry.connection->crecv(signalMask, entry.staging);
  if (r == 0) {
    protoTrace(2, "initRecvSignal", entry, 1, "Failed to receive");
    return false;
  }
  if (r == 1) return true;
  entry.staging.reset();
  const uint32_t mask = static_cast<uint32_t>(signalMask);
  if (mask & kSigReset) {
    protoTrace(4, "initRecvSignal", entry, 1,
               "Deleting existing message box due to received SIG_RESET");
    connectionsLogLine(entry.address, "SIG_RESET", "");
    // Only the box in memory goes; its stored copy comes back at the next
    // start.
    boxes_.erase(entry.address);
  } else if (mask & kSigRebroadcast) {
    protoTrace(4, "initRecvSignal", entry, 1,
               "Re-broadcasting messages due to received SIG_REBROADCAST");
    connectionsLogLine(entry.address, "SIG_REBROADCAST", "");
    reBroadcast(entry.address);
  } else {
    protoTrace(4, "initRecvSignal", entry, 1, "Signal %i is unknown", num(signalMask));
  }
  startItem(entry, 11, false);
  return true;
}

bool RelayHub::initAck(ConnectionEntry& entry, ConnectionList& /*list*/) {
  protoTrace(5, "initAck", entry, 0, "Sending");
  if (!entry.connection->sendAck()) {
    protoTrace(2, "initAck", entry, 1, "Failed to send ACK");
    return false;
  }
  protoTrace(4, "initAck", entry, 1, "Connection acknowledged");
  logMsgBoxContents(entry.address);
  startItem(entry, 12, true);
  return true;
}

// ---- tasks ----

bool RelayHub::handleRecvTask(ConnectionEntry& entry, ConnectionList& /*list*/) {
  protoTrace(5, "handleRecvTask", entry, 0, "Receiving");
  std::string task;
  const int r = entry.connection->crecv(task, entry.staging);
  if (r == 0) {
    protoTrace(2, "handleRecvTask", entry, 1, "Failed to receive");
    return false;
  }
  if (r == 1) return true;
  entry.staging.reset();
  const int32_t next = task == "PLAC" ? 13 : task == "EXTR" ? 14 : task == "END!" ? 15 : 16;
  startItem(entry, next, false);
  return true;
}

bool RelayHub::handlePLAC(ConnectionEntry& entry, ConnectionList& /*list*/) {
  protoTrace(5, "handlePLAC", entry, 0, "Handling");
  if (!entry.connection->sendAck()) {
    protoTrace(2, "handlePLAC", entry, 1, "Failed to send ACK");
    return false;
  }
  startItem(entry, 17, true);
  return true;
}

bool RelayHub::handlePLACRecvMsgnum(ConnectionEntry& entry, ConnectionList& /*list*/) {
  protoTrace(5, "handlePLACRecvMsgnum", entry, 0, "Receiving");
  unsigned int count = 0;
  const int r = entry.connection->crecv(count, entry.staging);
  if (r == 0) {
    protoTrace(2, "handlePLACRecvMsgnum", entry, 1, "Failed to receive message count");
    return false;
  }
  if (r == 1) return true;
  entry.staging.reset();
  entry.messageCount = count;
  startItem(entry, count == 0 ? 12 : 18, true);
  return true;
}

bool RelayHub::handlePLACRecvMsg(ConnectionEntry& entry, ConnectionList& /*list*/) {
  protoTrace(5, "handlePLACRecvMsg", entry, 0, "Receiving");
  std::string text;
  const int r = entry.connection->crecv(text, entry.staging);
  if (r == 0) {
    protoTrace(2, "handlePLACRecvMsg", entry, 1, "Failed to receive");
    return false;
  }
  if (r == 1) return true;
  entry.staging.reset();
  // Every message starts from the defaults, so a partial text can never
  // carry over fields of the connection's previous message.
  StringStream stream;
  stream.fromString(text);
  entry.message = Message();
  const bool any = entry.message.fromStream(stream) != 0;
  // Refusing it would only make the agent send it again for ever, with
  // every message behind it stuck: it is acknowledged and dropped.
  entry.placeable =
      any && (entry.message.getType() == Message::kCentral || !entry.message.getTarget().isEmpty());
  if (!entry.placeable) {
    protoTrace(2, "handlePLACRecvMsg", entry, 1, "Received text holds no message to place");
    HubLog::warning(kMsgTextWithoutMessage, one(entry.display));
  }
  startItem(entry, 19, false);
  return true;
}

bool RelayHub::handlePLACRecvMsgAck(ConnectionEntry& entry, ConnectionList& /*list*/) {
  protoTrace(5, "handlePLACRecvMsgAck", entry, 0, "Handling");
  const Message& msg = entry.message;
  if (HubLog::debugLevel() >= 4) {
    protoTrace(4, "handlePLACRecvMsgAck", entry, 1, "Received message:\n%s", one(msg.dump("   ")));
  }
  // Placed and stored before the agent hears "ACK": an acknowledged message
  // is on disk. When it could not be stored the agent gets no "ACK" and
  // sends it again. What the store has prepared lands at the end of the
  // pass, in one sync with everything else of the pass; the "ACK" waits
  // for it.
  // A request that changed what is stored (a confirmation's removals too)
  // is acknowledged once that is on disk: a confirmed message never comes
  // back after a crash.
  const uint64_t changes = backup_.changeCount();
  if (entry.placeable) connectionsLogMessage(entry.address, "PLAC", msg, true);
  if (entry.placeable) unCache(msg.getId(), false, true);
  if (entry.placeable && !place(msg, true)) {
    protoTrace(2, "handlePLACRecvMsgAck", entry, 1, "Failed to store message");
    return false;
  }
  if (backup_.hasPendingWrites() || backup_.changeCount() != changes) {
    entry.awaitingSync = true;
    return true;
  }
  return finishPlacedMessage(entry);
}

bool RelayHub::finishPlacedMessage(ConnectionEntry& entry) {
  if (!entry.connection->sendAck()) {
    protoTrace(2, "handlePLACRecvMsgAck", entry, 1, "Failed to send ACK");
    return false;
  }
  if (entry.messageCount > 0) --entry.messageCount;
  startItem(entry, entry.messageCount == 0 ? 12 : 18, true);
  return true;
}

bool RelayHub::handleEXTR(ConnectionEntry& entry, ConnectionList& /*list*/) {
  protoTrace(5, "handleEXTR", entry, 0, "Handling ");
  if (!entry.connection->sendAck()) {
    protoTrace(2, "handleEXTR", entry, 1, "Failed to send ACK");
    return false;
  }
  startItem(entry, 20, false);
  return true;
}

bool RelayHub::handleEXTRSendMsgnum(ConnectionEntry& entry, ConnectionList& /*list*/) {
  protoTrace(5, "handleEXTRSendMsgnum", entry, 0, "Sending");
  entry.allExtracted = extract(entry.address, entry.pending, entry.port, entry.instanceId);
  if (!entry.connection->csend(static_cast<unsigned int>(entry.pending.size()))) {
    replacePending(entry);
    protoTrace(2, "handleEXTRSendMsgnum", entry, 1, "Failed to send");
    return false;
  }
  if (entry.pending.empty()) {
    startItem(entry, 12, true);
  } else {
    startItem(entry, 21, false);
  }
  return true;
}

bool RelayHub::handleEXTRSendMsgStart(ConnectionEntry& entry, ConnectionList& /*list*/) {
  protoTrace(5, "handleEXTRSendMsgStart", entry, 0, "Sending ");
  if (!entry.connection->csend(std::string(entry.allExtracted ? "all" : "more"))) {
    replacePending(entry);
    protoTrace(2, "handleEXTRSendMsgStart", entry, 1, "Failed to send message all/more indicator");
    return false;
  }
  startItem(entry, 22, false);
  return true;
}

bool RelayHub::handleEXTRSendMsg(ConnectionEntry& entry, ConnectionList& /*list*/) {
  protoTrace(5, "handleEXTRSendMsg", entry, 0, "Sending");
  std::string text;
  {
    StringStream stream;
    entry.pending.front().toStream(stream);
    stream.toString(text, 1);
  }
  if (!entry.connection->csend(text)) {
    replacePending(entry);
    protoTrace(2, "handleEXTRSendMsg", entry, 1, "Failed to send");
    return false;
  }
  startItem(entry, 23, true);
  return true;
}

bool RelayHub::handleEXTRRecvMsgAck(ConnectionEntry& entry, ConnectionList& /*list*/) {
  protoTrace(5, "handleEXTRRecvMsgAck", entry, 0, "Receiving");
  const int r = entry.connection->crecvAck(entry.staging);
  if (r == 0) {
    replacePending(entry);
    protoTrace(2, "handleEXTRRecvMsgAck", entry, 1, "Failed to receive");
    return false;
  }
  if (r == 1) return true;
  entry.staging.reset();
  const Message delivered = entry.pending.front();
  if (HubLog::debugLevel() >= 4) {
    protoTrace(4, "handleEXTRRecvMsgAck", entry, 1, "Got ACK on message:\n%s",
               one(delivered.dump("   ")));
  }
  entry.pending.pop_front();
  // A delivered message that is not held unconfirmed is done with: its
  // stored copy goes, or it would come back after every restart.
  auto box = boxes_.find(entry.address);
  if (box != boxes_.end()) box->second.forgetDelivered(delivered.getId());
  if (entry.pending.empty()) {
    startItem(entry, 12, true);
  } else {
    startItem(entry, 22, false);
  }
  return true;
}

bool RelayHub::handleEND(ConnectionEntry& entry, ConnectionList& /*list*/) {
  protoTrace(5, "handleEND", entry, 0, "Handling");
  connectionsLogLine(entry.address, "END!", "");
  entry.connection->close();
  return true;
}

bool RelayHub::handleReject(ConnectionEntry& entry, ConnectionList& /*list*/) {
  protoTrace(5, "handleReject", entry, 0, "Handling");
  entry.connection->csend(std::string("NAC"));
  return false;
}

}  // namespace Vemora
