#include "platform/Env.h"

#include <strings.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/LastError.h"

extern char** environ;

namespace platform {

namespace {

// getenv and setenv are not safe against each other; every access of this
// layer goes through one lock.
std::mutex& envMutex() {
  static std::mutex* m = new std::mutex;
  return *m;
}

}  // namespace

std::optional<std::string> getEnv(const std::string& name) {
  std::lock_guard<std::mutex> lock(envMutex());
  setLastError(kErrorSuccess);
  if (name.empty() || name.find('=') != std::string::npos) {
    setLastError(kErrorInvalidParameter);
    return std::nullopt;
  }
  if (const char* exact = std::getenv(name.c_str())) return std::string(exact);
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const char* eq = std::strchr(*entry, '=');
    if (eq == nullptr || static_cast<size_t>(eq - *entry) != name.size()) continue;
    if (strncasecmp(*entry, name.c_str(), name.size()) == 0) return std::string(eq + 1);
  }
  setLastError(kErrorEnvVarNotFound);
  return std::nullopt;
}

void setEnv(const std::string& name, const std::optional<std::string>& value) {
  std::lock_guard<std::mutex> lock(envMutex());
  if (name.empty() || name.find('=') != std::string::npos) {
    setLastError(kErrorInvalidParameter);
    return;
  }
  const int rc = value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
  setLastErrorFromErrno(rc == 0 ? 0 : errno);
}

}  // namespace platform
