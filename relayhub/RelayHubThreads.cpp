// The listener thread (accept, refuse over the maximum, greet, queue) and
// the connection-handler thread (take the queue, step every connection).
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "common/Timer.h"
#include "logger/ParamStream.h"
#include "platform/Clock.h"
#include "platform/Socket.h"
#include "relayhub/DaemonFlags.h"
#include "relayhub/HubLog.h"
#include "relayhub/RelayHub.h"

namespace Vemora {

namespace {

int32_t nowSeconds() {
  return static_cast<int32_t>(platform::unixTime());
}

// The listener binds all local addresses.
constexpr const char* kAnyAddress = "0.0.0.0";
constexpr int kAcceptsBeforePause = 25;
constexpr uint32_t kAcceptPauseMs = 2;
// A transient accept error (a peer that gave up, a passing shortage of
// descriptors) is waited out briefly instead of spinning.
constexpr uint32_t kTransientAcceptPauseMs = 10;
constexpr int32_t kSentSweepSeconds = 10;
constexpr int32_t kTickSeconds = 10;
constexpr int kBusySleepMs = 5;
constexpr int kIdleSleepMs = 50;
constexpr uint64_t kSyncIntervalMs = 1000;

RelayHub* hubOf(void* record) {
  ThreadInfo* info = static_cast<ThreadInfo*>(record);
  return info == nullptr ? nullptr : static_cast<RelayHub*>(info->argument);
}

}  // namespace

uint32_t RelayHub::listenerEntry(void* record) {
  RelayHub* hub = hubOf(record);
  if (hub == nullptr) return 1;
  return hub->listener(static_cast<ThreadInfo*>(record));
}

uint32_t RelayHub::handlerEntry(void* record) {
  RelayHub* hub = hubOf(record);
  if (hub == nullptr) return 1;
  return hub->handler(static_cast<ThreadInfo*>(record));
}

uint32_t RelayHub::listener(ThreadInfo* self) {
  HubLog::debug(1, "RelayHub::listener: Starting listener thread");
  listening_.setPort(port_);
  const int setup = listening_.makeListener(stopFlag_);
  if (setup != Connection::kOk) {
    listenerFailed(setup);
    return 1;
  }
  // Seen by the stop after it set the stop flag, or this thread sees the
  // flag before it blocks in accept: either way nobody waits on the other.
  listenerUp_.store(true);
  HubLog::notice(kMsgListening, ParamStream().addString(kAnyAddress).addInt(port_));
  HubLog::setConsoleEcho(false);  // started: the log alone tells the rest
  int failures = 0;
  int accepted = 0;
  SmartPointer<Connection> current;
  while (!stopFlag_->load()) {
    ThreadInfo::updateCpuTime(self);
    if (!newConnection(current)) {
      HubLog::error(kMsgNoMemory);
      stopFlag_->store(true);
      continue;
    }
    if (!listening_.listen(*current)) {
      const uint32_t code = listening_.lastSocketError();
      // Errors that say nothing about the listener (a peer that reset
      // before the accept, an interrupted call) must not count: otherwise
      // any client could restart the daemon from outside.
      if (platform::isTransientAcceptError(code)) {
        Timer::sleep(kTransientAcceptPauseMs);
        continue;
      }
      if (++failures >= kAcceptFailureLimit) {
        DaemonFlags::restart().store(true);
        stopFlag_->store(true);
      }
      continue;
    }
    failures = 0;
    // The connection that woke the listener for shutdown is not greeted.
    if (stopFlag_->load()) {
      current->close();
      break;
    }
    // The queue entry takes over the listener's reference.
    registerConnection(std::exchange(current, SmartPointer<Connection>()));
    if (++accepted >= kAcceptsBeforePause) {
      Timer::sleep(kAcceptPauseMs);
      accepted = 0;
    }
  }
  HubLog::debug(1, "RelayHub::listener: Ended listener thread");
  return 0;
}

// A daemon without a listener serves nobody: it ends, asking to be
// started again (exit code 1), as after repeated accept failures.
void RelayHub::listenerFailed(int setup) {
  if (stopFlag_->load()) return;  // stopped while the bind was retried
  HubLog::error(kMsgListenerFailed, ParamStream().addInt(port_).addInt(setup));
  std::string reason = "setup code " + std::to_string(setup);
  if (setup == Connection::kBindFailed || setup == Connection::kListenFailed ||
      setup == Connection::kSocketFailed || setup == Connection::kOptionFailed) {
    reason = platform::socketErrorText(listening_.lastSocketError());
  }
  HubLog::console("cannot listen on " + std::string(kAnyAddress) + " port " +
                  std::to_string(port_) + ": " + reason + "; no agent can connect, stopping");
  DaemonFlags::restart().store(true);
  stopFlag_->store(true);
}

bool RelayHub::newConnection(SmartPointer<Connection>& connection) {
  Connection* fresh = new (std::nothrow) Connection();
  connection = SmartPointer<Connection>(fresh);
  return !connection.isNull();
}

void RelayHub::registerConnection(SmartPointer<Connection> connection) {
  Connection& c = *connection;
  const int32_t open = openCount_.load();
  if (open >= maxConnections_) {
    if (preferredVersion_ > 1) c.sendNac();
    c.close();
    HubLog::debug(3,
                  "RelayHub::registerConnection: Denied connection from \"%s\" - too many "
                  "connections (%i)",
                  ParamStream().addString(c.getHost()).addInt(open));
    return;
  }
  if (preferredVersion_ > 1) {
    if (!c.sendAck()) {
      HubLog::debug(1, "RelayHub::registerConnection: Failed to send ACK to \"%s\"",
                    ParamStream().addString(c.getHost()));
      c.close();
      return;
    }
    if (!c.csend(static_cast<unsigned int>(c.getSocket()))) {
      HubLog::debug(1, "RelayHub::registerConnection: Failed to send socket ID to \"%s\"",
                    ParamStream().addString(c.getHost()));
      c.close();
      return;
    }
  }
  const std::string host = c.getHost();
  const unsigned int socket = c.getSocket();
  queueLock_.enforce();
  queue_.emplace_back(connection, nowSeconds());
  // The entry holds its place in the open count until it is destroyed, on
  // whichever path the handler (or the shutdown) lets it go.
  queue_.back().slot = OpenConnectionSlot(&openCount_);
  ++queuedCount_;
  queueLock_.relax();
  handlerWake_.set();
  HubLog::debug(3,
                "RelayHub::registerConnection: Accepted connection from \"%s\" (socket %i) in "
                "queue - now got %i connection(s)",
                ParamStream().addString(host).addUInt(socket).addInt(openCount_.load()));
}

uint32_t RelayHub::handler(ThreadInfo* self) {
  HubLog::debug(1, "RelayHub::handler: Starting connection handler thread");
  ConnectionList list;
  int32_t nextSweep = nowSeconds() + kSentSweepSeconds;
  int32_t lastTick = 0;
  // From here on the store syncs once per pass (commitPass), not per file.
  backup_.setGroupCommit(true);
  while (!stopFlag_->load()) {
    ThreadInfo::updateCpuTime(self);
    if (ThreadInfo::quitRequested()) {
      list.clear();
      backup_.setGroupCommit(false);
      return 1;
    }
    grabNewConnections(list);
    const int32_t t = self->time.load();
    if (!list.empty()) {
      lastTick = t;
      if (t > nextSweep) {
        nextSweep = t + kSentSweepSeconds;
        sweepSentMessages();
      }
      iterateHandleConnnections(list);
      commitPass(list);
      waitForInput(list, kBusySleepMs);
    } else {
      const bool calledBack = waitIfNoConnections(t, lastTick);
      commitPass(list);
      if (!calledBack) waitForInput(list, kIdleSleepMs);
    }
  }
  HubLog::debug(1, "RelayHub::handler: Ended connection handler thread");
  list.clear();
  backup_.setGroupCommit(false);
  return 0;
}

void RelayHub::commitPass(ConnectionList& list) {
  bool replyWaits = false;
  for (const ConnectionEntry& entry : list.entries) replyWaits = replyWaits || entry.awaitingSync;
  // Writes no reply waits for (unconfirmed copies, removals, the main
  // loop's work) still reach the disk within about a second.
  if (!replyWaits && !(platform::monotonicMs() - backup_.lastSyncMs() >= kSyncIntervalMs &&
                       backup_.hasPending())) {
    return;
  }
  const bool synced = backup_.sync();
  if (!synced) {
    HubLog::debug(1,
                  "RelayHub::commitPass: The state store could not be synced - no ACK for "
                  "what it held");
  }
  for (auto it = list.entries.begin(); it != list.entries.end();) {
    if (!it->awaitingSync) {
      ++it;
      continue;
    }
    it->awaitingSync = false;
    list.current = it;
    if (synced && finishPlacedMessage(*it)) {
      ++it;
      continue;
    }
    dropConnection(list);
    it = list.current;
  }
}

void RelayHub::waitForInput(ConnectionList& list, int ms) {
  std::vector<platform::PollItem> items;
  items.reserve(list.size());
  for (const ConnectionEntry& entry : list.entries) {
    const Connection& c = *entry.connection;
    platform::PollItem item;
    item.socket = c.getSocket();
    if (!c.isOpen()) return;  // its drop is a step of its own
    if (c.hasUnsent()) {
      item.wantWrite = true;
    } else if (!entry.waiting || (entry.staging.stage == RecvStaging::kStringBytes &&
                                  entry.staging.partial.size() >= entry.staging.length)) {
      return;  // a step that needs no input
    } else {
      item.wantRead = true;
    }
    items.push_back(item);
  }
  bool woken = false;
  if (platform::socketPoll(items, &handlerWake_, ms, &woken) >= 0) {
    size_t i = 0;
    for (ConnectionEntry& entry : list.entries) {
      const platform::PollItem& item = items[i++];
      entry.knownIdle = item.wantRead && !item.readable;
    }
  }
  if (woken) handlerWake_.clear();
}

void RelayHub::grabNewConnections(ConnectionList& list) {
  size_t moved = 0;
  queueLock_.enforce();
  if (queuedCount_ != 0) {
    moved = queue_.size();
    // The handler never waits for a socket: what a socket does not take at
    // once goes out in later passes.
    for (ConnectionEntry& entry : queue_) entry.connection->setStagedSends(true);
    list.takeAll(queue_);
    queuedCount_ = 0;
  }
  queueLock_.relax();
  if (moved != 0) {
    HubLog::debug(4, "RelayHub::grabNewConnections: Grabbed %i new connection(s) from queue",
                  ParamStream().addUInt(static_cast<unsigned int>(moved)));
  }
}

void RelayHub::iterateHandleConnnections(ConnectionList& list) {
  const int count = static_cast<int>(list.size());
  HubLog::debug(4, "RelayHub::iterateHandleConnnections: Iterating %i connections...",
                ParamStream().addInt(count));
  const int32_t now = nowSeconds();
  int index = 1;
  list.current = list.entries.begin();
  while (list.current != list.entries.end()) {
    ConnectionEntry& entry = *list.current;
    getFullConnAddress(entry);
    debugConn(now, entry, index, count);
    entry.firstPass = true;
    ++index;
    if (entry.awaitingSync) {
      ++list.current;
      continue;
    }
    if (entry.connection->hasUnsent() && !flushStep(entry, list)) continue;
    // The waiting rule moves the position itself when it skips or drops.
    if (!checkWaitingHaveData(now, entry, list)) continue;
    entry.lastStep = now;
    // A failed step has already closed and erased the entry.
    if (handleConnection(entry, list)) ++list.current;
  }
}

bool RelayHub::flushStep(ConnectionEntry& entry, ConnectionList& list) {
  const int r = entry.connection->flush();
  if (r == 2) return true;
  if (r == 1) {
    ++list.current;
    return false;
  }
  protoTrace(2, "flushStep", entry, 1, "Failed to send");
  replacePending(entry);
  dropConnection(list);
  return false;
}

bool RelayHub::waitIfNoConnections(int32_t now, int32_t& lastTick) {
  if (now - lastTick > kTickSeconds) {
    HubLog::debug(5, "RelayHub::waitIfNoConnections: TICK");
    lastTick = now;
  }
  return sweepBoxes();
}

}  // namespace Vemora
