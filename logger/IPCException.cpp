#include "logger/IPCException.h"

namespace Vemora {

namespace {

const Exception::CodeRow kCodes[] = {
    {"IC_NONE", "No exception!"},
    {"IC_NO_MESSAGE_FILE", "Cannot find message file for IPC."},
    {"IC_CANNOT_CREATE_COMM", "Unable to create communication channel."},
    {"IC_NOT_SENDER", "Receiver cannot send."},
    {"IC_NOT_RECEIVER", "Sender cannot receive."},
    {"IC_CANNOT_SEND", "Unable to send message."},
    {"IC_CANNOT_RECEIVE", "Unable to receive messages."},
    {"IC_MEM", "Out of memory."},
};

}  // namespace

IPCException::IPCException(int code) : Exception(code) {}

IPCException::IPCException(int code, const std::string& message, const std::string& sourceFile,
                           int line)
    : Exception(code, message, sourceFile, line) {}

IPCException::~IPCException() = default;

std::string IPCException::text() const {
  return tableText("IPC", kCodes);
}

int IPCException::category() const {
  return 4;
}

}  // namespace Vemora
