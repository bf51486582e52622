// A LogMessenger that also forwards every catalogue record, unchanged, as a
// "LOGMSG" record to the local mailslot "Vemora_Core". Forwarding failures
// (no receiver, a full receiver) never stop the line from being written.
//
// Thread-safety: one client is made on first use (exactly once); sends
// through it are serialised by the messenger's own lock.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "logger/LogMessenger.h"

namespace Vemora {

class IPCClient;

class LogMessengerIPC : public LogMessenger {
 public:
  static constexpr const char* kMailslotName = "Vemora_Core";

  LogMessengerIPC();
  ~LogMessengerIPC() override;

  // The result of LogMessenger::send; the forwarding's result is not used.
  // False when forwarding threw.
  bool send(const std::string& wire) override;

 private:
  void forward(const std::string& wire);

  std::mutex clientLock_;
  std::unique_ptr<IPCClient> client_;
};

}  // namespace Vemora
