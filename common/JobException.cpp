#include "common/JobException.h"

namespace Vemora {

namespace {

constexpr Exception::CodeRow kRows[] = {
    {"JB_NONE", "No exception!"},
    {"JB_NEVER_STARTED", "The job was never started. execute() missing or failed"},
    {"JB_UNABLE_TO_START", "Unable to start the job. Consult OS error code for more details."},
    {"JB_UNABLE_TO_TERMINATE",
     "Unable to terminate the job. Consult OS error code for more details."},
    {"JB_STILL_RUNNING", "The job is still running. This is not compatible with this method."},
    {"JB_UNKNOWN_ERROR", "An unknown error occured. Consult OS error code and contact developer."},
    {"JB_MEM", "Out of memory."},
    {"JB_PROCESS", "Unable to access external process."},
    {"JB_THREAD", "Unable to access thread in external process."},
};

}  // namespace

JobException::JobException(int code) : Exception(code) {}

JobException::JobException(int code, const std::string& message, const std::string& sourceFile,
                           int line)
    : Exception(code, message, sourceFile, line) {}

JobException::~JobException() = default;

std::string JobException::text() const {
  return tableText("Job", kRows);
}

int JobException::category() const {
  return 61;
}

}  // namespace Vemora
