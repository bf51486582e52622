#include "logger/IPCClient.h"

#include <new>

#include "logger/IPCException.h"
#include "logger/MailSlot.h"

namespace Vemora {

IPCClient::IPCClient(const std::string& mailslotName) : name_(mailslotName) {}

IPCClient::~IPCClient() = default;

std::string IPCClient::recordText(const std::string& type, const std::string& second,
                                  const std::string& body, const std::string& last) {
  std::string text = "Vemora";
  text += kEsc;
  text += type;
  text += kEsc;
  text += second;
  text += kEsc;
  text += body;
  text += kEsc;
  if (!last.empty()) {
    text += last;
    text += kEsc;
  }
  return text;
}

bool IPCClient::send(const std::string& type, const std::string& second, const std::string& body,
                     const std::string& last) {
  try {
    return sendRaw(recordText(type, second, body, last));
  } catch (IPCException& e) {
    e.addTrace(__FILE__, __LINE__);
    throw;
  }
}

bool IPCClient::sendRaw(const std::string& text) {
  if (!slot_) {
    try {
      slot_.reset(new MailSlot(IPC::kLocalSender, name_));
    } catch (IPCException& e) {
      e.addTrace(__FILE__, __LINE__);
      throw;
    } catch (const std::bad_alloc&) {
      throw IPCException(IPCException::IC_MEM, std::string(), __FILE__, __LINE__);
    }
  }
  try {
    return slot_->send(text);
  } catch (IPCException& e) {
    e.addTrace(__FILE__, __LINE__);
    return false;
  }
}

}  // namespace Vemora
