// Environment variables, looked up as on Windows: the exact name first,
// then case-insensitively.
#pragma once

#include <optional>
#include <string>

namespace platform {

// The value of `name`, or nullopt when no variable of that name exists.
std::optional<std::string> getEnv(const std::string& name);

// Sets (or with nullopt removes) a variable of this process.
void setEnv(const std::string& name, const std::optional<std::string>& value);

}  // namespace platform
