#include "platform/JobObject.h"

#include "platform/LastError.h"

namespace platform {

std::unique_ptr<JobObject> JobObject::create() {
  setLastError(kErrorSuccess);
  return std::unique_ptr<JobObject>(new JobObject());
}

JobObject::~JobObject() = default;

bool JobObject::setLimitFlags(uint32_t flags) {
  limitFlags_ = flags;
  setLastError(kErrorSuccess);
  return true;
}

}  // namespace platform
