#include "platform/FaultPoint.h"

#include <fcntl.h>
#include <unistd.h>

#include <mutex>
#include <optional>
#include <sstream>

#include "platform/Env.h"

namespace platform {

namespace {

const char* opName(FaultOp op) {
  switch (op) {
    case FaultOp::kSync:
      return "sync";
    case FaultOp::kRename:
      return "rename";
    case FaultOp::kUnlink:
      return "unlink";
  }
  return "";
}

std::string readAll(const std::string& file) {
  std::string text;
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return text;
  char buffer[4096];
  for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;) {
    text.append(buffer, static_cast<size_t>(got));
  }
  ::close(fd);
  return text;
}

// Rewritten in place (no rename of its own: that would itself be a fault
// candidate, and the file is only a test's).
void writeAll(const std::string& file, const std::string& text) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) return;
  for (size_t done = 0; done < text.size();) {
    const ssize_t put = ::write(fd, text.data() + done, text.size() - done);
    if (put <= 0) break;
    done += static_cast<size_t>(put);
  }
  ::close(fd);
}

}  // namespace

bool faultDue(FaultOp op, const std::string& nativePath) {
  const std::optional<std::string> file = getEnv("VEMORA_FAULTS");
  if (!file || file->empty()) return false;
  static std::mutex lock;
  std::lock_guard<std::mutex> guard(lock);
  std::istringstream lines(readAll(*file));
  std::string kept;
  bool due = false;
  for (std::string line; std::getline(lines, line);) {
    const size_t space = line.find(' ');
    const bool match = !due && space != std::string::npos && line.substr(0, space) == opName(op) &&
                       nativePath.find(line.substr(space + 1)) != std::string::npos;
    if (match) {
      due = true;
    } else {
      kept += line + "\n";
    }
  }
  if (due) writeAll(*file, kept);
  return due;
}

}  // namespace platform
