// A small agent for end-to-end tests of the relay daemon, on top of the
// framing client: the greeting and handshake, and the tasks PLAC, EXTR and
// END!. Messages travel as the daemon's stream text ("method=none", then one
// item per field: a code byte, the value text and a zero byte), built and
// read here by hand so the tests do not depend on the daemon's own classes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "relayhub_e2e/FrameClient.h"

namespace e2e {

struct WireMessage {
  uint32_t id = 0;
  std::string sourceName, sourceHost, targetName, targetHost;
  int32_t type = 3;
  int32_t priority = 0;
  std::string header, data;
  int32_t created = 0;     // relative to now
  int32_t timeout = 3600;  // relative to now; 2147483647 never
  bool broadcast = false;
  bool notify = false;
  std::optional<uint64_t> remainingMs = 3600000;

  // The stream text, fields in the wire order.
  std::string toText() const;
  // Reads a stream text; nullopt when it is not one.
  static std::optional<WireMessage> parse(const std::string& text);
};

class AgentClient {
 public:
  struct Batch {
    uint32_t count = 0;
    std::string indicator;  // "all" or "more" (empty when count is 0)
    std::vector<WireMessage> messages;
  };

  AgentClient() = default;

  // Connects and reads the greeting ("ACK" and the socket number).
  bool connect(int port);
  // Version 2, "AGENT", the status and "BEGIN", identity, signals, "ACK".
  // The status line ("backup=yes\n" or "backup=no\n") goes to `status`.
  bool handshake(const std::string& name, const std::string& host, int32_t port,
                 int32_t instanceId, int32_t signals = 0, std::string* status = nullptr);
  bool open(int port, const std::string& name, int32_t instanceId = 1) {
    return connect(port) && handshake(name, "localhost", 0, instanceId);
  }
  // PLAC of the messages; true when every "ACK" came.
  bool place(const std::vector<WireMessage>& messages);
  // EXTR, acknowledging every message.
  std::optional<Batch> extract();
  // EXTR until "all"; every message in order.
  std::optional<std::vector<WireMessage>> extractAll();
  bool end() { return frame_.sendString("END!"); }

  FrameClient& frame() { return frame_; }

  // A message from `from` to `to` (names at host "localhost").
  static WireMessage make(uint32_t id, const std::string& from, const std::string& to,
                          const std::string& data);

 private:
  FrameClient frame_;
};

}  // namespace e2e
