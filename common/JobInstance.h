// A job that runs outside the process: the interface of ProcessInstance.
// Remembers when it was made.
#pragma once

#include <cstdint>

#include "common/DateTime.h"

namespace Vemora {

class JobInstance {
 public:
  JobInstance();
  virtual ~JobInstance();
  JobInstance(const JobInstance&) = delete;
  JobInstance& operator=(const JobInstance&) = delete;

  // Starts the job; throws JobException.
  virtual void execute() = 0;
  // Suspends it: the new suspend count, 0 when it has ended.
  virtual uint32_t suspend() = 0;
  // Kept for the interface's layout; does nothing and answers 0.
  virtual uint32_t reserved() = 0;
  // Ends it by force.
  virtual bool terminate() = 0;
  // The job's state code.
  virtual int32_t status() = 0;
  // The state code, and the exit code once it has ended.
  virtual int32_t exitCode(uint32_t& code) = 0;

  const DateTime& created() const { return created_; }

 private:
  DateTime created_;
};

}  // namespace Vemora
