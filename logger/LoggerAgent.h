// Puts finished log lines into a file (or queues them for a writer).
#pragma once

#include <string>

namespace Vemora {

class LoggerAgent {
 public:
  virtual ~LoggerAgent() = default;
  // Where the agent writes.
  virtual std::string target() = 0;
  // Whether lines reach the target. The plain file agent always answers
  // true; the threaded one answers false while lines are being lost.
  virtual bool ok() { return true; }
  // Writes or queues one line (without line end); false when it was lost.
  virtual bool writeLine(const std::string& line) = 0;
};

}  // namespace Vemora
