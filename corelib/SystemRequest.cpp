#include "corelib/SystemRequest.h"

namespace VemoraCorelib {

namespace {

template <typename T>
bool pointsAt(const SystemRequest::Value& value) {
  const auto* pointer = std::get_if<T*>(&value);
  return pointer != nullptr && *pointer != nullptr;
}

}  // namespace

bool SystemRequest::valueMatchesSubType() const {
  switch (subType) {
    case kQuery:
    case kString:
      return pointsAt<std::string>(value);
    case kInt64:
      return pointsAt<int64_t>(value);
    case kUint64:
      return pointsAt<uint64_t>(value);
    case kDouble:
      return pointsAt<double>(value);
    case kList:
      return pointsAt<std::list<std::string>>(value);
    default:
      return false;
  }
}

}  // namespace VemoraCorelib
