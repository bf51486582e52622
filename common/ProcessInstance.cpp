#include "common/ProcessInstance.h"

#include "common/JobException.h"
#include "common/Timer.h"
#include "platform/JobObject.h"
#include "platform/LastError.h"
#include "platform/Process.h"
#include "platform/Thread.h"

namespace Vemora {

namespace {

constexpr const char* kSource = "ProcessInstance";

std::string win32Error(uint32_t error) {
  return "Win32 error code is : " + std::to_string(error);
}

std::string buildCommandLine(const std::string& command, const std::string& arguments) {
  std::string line = command;
  if (command.find(' ') != std::string::npos && (command.empty() || command[0] != '"')) {
    line = "\"" + command + "\"";
  }
  if (!arguments.empty()) line += " " + arguments;
  return line;
}

}  // namespace

ProcessInstance::ProcessInstance(const char* command, const char* arguments, bool hidden,
                                 bool inheritHandles)
    : commandLine_(buildCommandLine(command != nullptr ? command : "",
                                    arguments != nullptr ? arguments : "")),
      hidden_(hidden),
      inheritHandles_(inheritHandles),
      job_(platform::JobObject::create()) {
  // The job object is never given the process, so the limit binds nothing.
  if (job_) job_->setLimitFlags(platform::kJobLimitKillOnJobClose);
}

ProcessInstance::~ProcessInstance() = default;

void ProcessInstance::execute() {
  std::unique_ptr<platform::Process> process =
      platform::Process::create(commandLine_, inheritHandles_);
  if (!process) {
    const uint32_t error = platform::lastError();
    throw JobException(JobException::JB_UNABLE_TO_START,
                       "\"" + commandLine_ + "\", " + win32Error(error), kSource, __LINE__);
  }
  process_ = std::move(process);
  state_ = kRunning;
}

uint32_t ProcessInstance::suspend() {
  if (!process_) throw JobException(JobException::JB_NEVER_STARTED, "", kSource, __LINE__);
  uint32_t code = 0;
  process_->threadExitCode(code);
  if (code != platform::kStillActive) return 0;
  uint32_t previous = 0;
  if (!process_->suspendThread(previous)) {
    throw JobException(JobException::JB_UNKNOWN_ERROR, win32Error(platform::lastError()), kSource,
                       __LINE__);
  }
  return previous + 1;
}

uint32_t ProcessInstance::reserved() {
  return 0;
}

bool ProcessInstance::terminate() {
  return stop(false, 0xFFFFFFFFu, 1000);
}

int32_t ProcessInstance::status() {
  if (state_ == kTerminated || state_ == kQuit) return state_;
  if (!process_) return kNotStarted;
  uint32_t code = 0;
  process_->exitCode(code);
  return code == platform::kStillActive ? kRunning : kEnded;
}

int32_t ProcessInstance::exitCode(uint32_t& code) {
  if (!process_) return kNotStarted;
  uint32_t value = 0;
  process_->exitCode(value);
  if (value == platform::kStillActive) return kRunning;
  code = value;
  return kExitCode;
}

bool ProcessInstance::stop(bool force, uint32_t code, uint32_t timeoutMs) {
  if (status() != kRunning) return false;
  if (!force && process_->postThreadMessage(platform::kWmQuit, code) &&
      process_->postThreadMessage(platform::kWmClose, code)) {
    for (uint32_t round = 0; round < timeoutMs / 100 && status() == kRunning; ++round) {
      Timer::sleep(100);
    }
    if (status() != kRunning) {
      state_ = kQuit;
      return true;
    }
  }
  if (!process_->terminate(code)) {
    // It ended by itself after the first look: nothing was left to stop.
    if (status() != kRunning) return false;
    throw JobException(JobException::JB_UNABLE_TO_TERMINATE, win32Error(platform::lastError()),
                       kSource, __LINE__);
  }
  state_ = kTerminated;
  return true;
}

bool ProcessInstance::runCommand(const std::string& command, const std::string& arguments) {
  try {
    ProcessInstance process(command.c_str(), arguments.c_str(), true, false);
    process.execute();
    return true;
  } catch (const JobException&) {
    return false;
  }
}

}  // namespace Vemora
