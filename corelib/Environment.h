// The core library's reader of environment variables.
#pragma once

#include <string>

namespace VemoraCorelib {

// getenv: false with `value` unchanged when the variable is not set; else
// its value (possibly empty) and true.
bool getEnvironmentVariable(const std::string& name, std::string& value);

}  // namespace VemoraCorelib
