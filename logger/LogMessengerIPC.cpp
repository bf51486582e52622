#include "logger/LogMessengerIPC.h"

#include <new>

#include "logger/IPCClient.h"
#include "logger/IPCException.h"
#include "logger/LogCommons.h"

namespace Vemora {

LogMessengerIPC::LogMessengerIPC() = default;

LogMessengerIPC::~LogMessengerIPC() = default;

bool LogMessengerIPC::send(const std::string& wire) {
  bool result = false;
  try {
    result = LogMessenger::send(wire);
    // Debug records stay in the process; every other record is forwarded.
    if (!LogCommons::isDebugRecord(wire)) forward(wire);
  } catch (IPCException& e) {
    e.addTrace(__FILE__, __LINE__);
    return false;
  } catch (...) {
    return false;
  }
  return result;
}

void LogMessengerIPC::forward(const std::string& wire) {
  // One client for all threads, made by the first forwarded record; its
  // sends are serialised here (a MailSlot serves one thread at a time).
  std::lock_guard<std::mutex> guard(clientLock_);
  if (!client_) {
    client_.reset(new IPCClient(kMailslotName));
  }
  client_->send("LOGMSG", std::string(), wire, std::string());
}

}  // namespace Vemora
