// The handler thread's record of one accepted agent connection: the
// connection, the item being received, the protocol state and the agent's
// identity and messages. Created by the listener, moved (never copied) into
// the handler's list, used by the handler thread alone from then on.
#pragma once

#include <cstdint>
#include <list>
#include <string>

#include "common/SmartPointer.h"
#include "relayhub/Address.h"
#include "relayhub/Connection.h"
#include "relayhub/Message.h"
#include "relayhub/OpenConnectionSlot.h"
#include "relayhub/RecvStaging.h"

namespace Vemora {

class ConnectionEntry {
 public:
  // A new entry for an accepted connection: version 0, state 0, waiting,
  // display words 0, port 0, count 0, both times `now`.
  ConnectionEntry(const SmartPointer<Connection>& accepted, int32_t now)
      : connection(accepted), registered(now), lastStep(now) {}
  virtual ~ConnectionEntry() = default;
  ConnectionEntry(ConnectionEntry&&) = default;
  ConnectionEntry& operator=(ConnectionEntry&&) = default;
  ConnectionEntry(const ConnectionEntry&) = delete;
  ConnectionEntry& operator=(const ConnectionEntry&) = delete;

  SmartPointer<Connection> connection;
  RecvStaging staging;
  uint32_t protocolVersion = 0;
  int32_t state = 0;
  bool waiting = true;
  Address address;
  // Display text of the connection in trace lines, with how many of its
  // parts were known when it was built and for which socket.
  std::string display;
  int32_t displayParts = 0;
  uint32_t displaySocket = 0;
  int32_t port = 0;
  int32_t instanceId = 0;
  uint32_t messageCount = 0;
  Message message;
  // False when the current PLAC text held no message (or none with an
  // address to place it at): it is acknowledged and not placed.
  bool placeable = true;
  bool allExtracted = false;
  std::list<Message> pending;
  bool firstPass = false;
  int32_t registered = 0;
  int32_t lastStep = 0;
  // The entry's place in the open-connection count; given back when the
  // entry is destroyed.
  OpenConnectionSlot slot;
  // The entry's reply waits for the state store's sync at the end of the
  // pass (a placed message's "ACK"); it takes no step until then.
  bool awaitingSync = false;
  // The handler's wait between passes found no input on the socket: the
  // next pass need not look again before its waiting rule.
  bool knownIdle = false;
};

}  // namespace Vemora
