#include "corelib/Environment.h"

#include "platform/Env.h"

namespace VemoraCorelib {

bool getEnvironmentVariable(const std::string& name, std::string& value) {
  const std::optional<std::string> found = platform::getEnv(name);
  if (!found) return false;
  value = *found;
  return true;
}

}  // namespace VemoraCorelib
