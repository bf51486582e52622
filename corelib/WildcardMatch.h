// Case-sensitive glob matching: '*' any run of characters (also none), '?'
// exactly one; no escape character. Stateless.
#pragma once

#include <cstddef>
#include <string>

namespace VemoraCorelib {

// Matches `text` from `position` to its end against `pattern`. A `length` of
// 0 gives false; callers pass 0 and npos.
bool WildcardMatch(const std::string& text, const std::string& pattern, std::size_t position = 0,
                   std::size_t length = std::string::npos);

}  // namespace VemoraCorelib
