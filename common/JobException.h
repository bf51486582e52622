// Errors of the child processes (ProcessInstance): family "Job", category
// 61. Every throw names the code, a message and the throw site.
#pragma once

#include <string>

#include "common/Exception.h"

namespace Vemora {

class JobException : public Exception {
 public:
  enum Code {
    JB_NONE = 0,
    JB_NEVER_STARTED = 1,
    JB_UNABLE_TO_START = 2,
    JB_UNABLE_TO_TERMINATE = 3,
    JB_STILL_RUNNING = 4,
    JB_UNKNOWN_ERROR = 5,
    JB_MEM = 6,
    JB_PROCESS = 7,
    JB_THREAD = 8,
  };

  explicit JobException(int code);
  JobException(int code, const std::string& message, const std::string& sourceFile, int line);
  JobException(const JobException& other) = default;
  ~JobException() override;

  // "Job: <description> (Code: 61.<code>)".
  std::string text() const override;
  int category() const override;
};

}  // namespace Vemora
