// The optional journal of agent traffic (relayhub_connections.log in the
// temporary directory): one line per connection event, and each message in
// full the first time it passes, afterwards only by its id. Appended to
// across runs; every write goes to the file at once.
//
// Used by the handler thread only once the threads run; it has no lock.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

#include "common/BasicFile.h"
#include "relayhub/Address.h"
#include "relayhub/Message.h"

namespace Vemora {

class ConnectionsLog {
 public:
  // Ids whose dumps are remembered; when full, the memory starts afresh
  // (the next pass of a message is then written in full again).
  static constexpr size_t kRememberedIds = 100000;

  ConnectionsLog() = default;
  // Writes the closing text when open.
  virtual ~ConnectionsLog();
  ConnectionsLog(const ConnectionsLog&) = delete;
  ConnectionsLog& operator=(const ConnectionsLog&) = delete;

  // Closes an open log first; opens `path` for appending and writes the
  // opening text. False when the file cannot be opened.
  bool open(const std::string& path);
  bool isOpen() const { return !file_.isClosed(); }

  // One event line; true and nothing written while closed.
  bool logLine(const Address& address, const std::string& keyword, const std::string& text);
  // The message's dump, or only its id when the same dump was written
  // before; with `withLine` the keyword's event line first.
  void logMessage(const Address& address, const std::string& keyword, const Message& msg,
                  bool withLine);

 private:
  void write(const std::string& text);

  BasicFile file_;
  std::unordered_map<uint32_t, uint32_t> dumped_;  // id -> hash of its last dump
};

}  // namespace Vemora
