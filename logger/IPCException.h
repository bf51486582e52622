// Errors of the mailslot channel: family "IPC", category 4.
#pragma once

#include <string>

#include "common/Exception.h"

namespace Vemora {

class IPCException : public Exception {
 public:
  enum Code {
    IC_NONE = 0,
    IC_NO_MESSAGE_FILE = 1,
    IC_CANNOT_CREATE_COMM = 2,
    IC_NOT_SENDER = 3,
    IC_NOT_RECEIVER = 4,
    IC_CANNOT_SEND = 5,
    IC_CANNOT_RECEIVE = 6,
    IC_MEM = 7,
  };

  explicit IPCException(int code);
  IPCException(int code, const std::string& message, const std::string& sourceFile, int line);
  IPCException(const IPCException& other) = default;
  ~IPCException() override;

  // "IPC: <description> (Code: 4.<code>)".
  std::string text() const override;
  int category() const override;
};

}  // namespace Vemora
