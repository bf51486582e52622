// Job objects (CreateJobObjectA without name or security,
// SetInformationJobObject with JobObjectExtendedLimitInformation,
// CloseHandle).
//
// The only user makes a job object, gives it the kill-on-close limit and
// never assigns a process to it, so on Windows it has no effect on any
// process. The stand-in keeps exactly that: it holds the limit flags and
// nothing else; no process can be assigned, and closing it ends nothing.
// (Children get a process group of their own instead, see Process.h.)
// One object is used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>

namespace platform {

// JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE.
constexpr uint32_t kJobLimitKillOnJobClose = 0x2000;

class JobObject {
 public:
  // CreateJobObjectA(NULL, NULL): never fails here.
  static std::unique_ptr<JobObject> create();
  ~JobObject();
  JobObject(const JobObject&) = delete;
  JobObject& operator=(const JobObject&) = delete;

  // SetInformationJobObject with the extended limit flags: stored; true.
  bool setLimitFlags(uint32_t flags);
  uint32_t limitFlags() const { return limitFlags_; }

 private:
  JobObject() = default;
  uint32_t limitFlags_ = 0;
};

}  // namespace platform
