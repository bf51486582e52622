// The payload of every request to the system base: a key (a query name, or
// a registry path of components separated by '\'), a sub-type naming the
// kind of the caller's variable, the variable itself, the per-user flag and
// the status the agent writes on failure (untouched on success).
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <variant>

#include "corelib/ImsMessageParameter.h"

namespace VemoraCorelib {

class SystemRequest : public ImsMessageParameter {
 public:
  enum SubType : int32_t {
    kQuery = 16,
    kInt64 = 17,
    kUint64 = 18,
    kDouble = 19,
    kString = 20,
    kList = 21,
  };
  // The caller's variable: text for kQuery and kString, a list for kList.
  using Value = std::variant<std::monostate, std::string*, int64_t*, uint64_t*, double*,
                             std::list<std::string>*>;

  SystemRequest(const std::string& key, int32_t subType, Value value, bool perUser = false)
      : key(key), subType(subType), value(value), perUser(perUser) {}

  // True when `value` points at a variable of the sub-type's kind.
  bool valueMatchesSubType() const;

  std::string key;
  int32_t subType = kQuery;
  Value value;
  bool perUser = false;
  int32_t status = 0;
};

}  // namespace VemoraCorelib
