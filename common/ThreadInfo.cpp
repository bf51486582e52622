#include "common/ThreadInfo.h"

#include <new>

#include "platform/Clock.h"
#include "platform/Thread.h"

namespace Vemora {

namespace {

enum Release : int { kOwnerHolds = 0, kThreadFrees = 1, kThreadReturned = 2 };

int32_t nowSeconds() {
  return static_cast<int32_t>(platform::unixTime());
}

}  // namespace

ThreadInfo* ThreadInfo::create(Entry entry, void* argument) {
  ThreadInfo* info = new (std::nothrow) ThreadInfo;
  if (info == nullptr) return nullptr;
  info->entry = entry;
  info->argument = argument;
  info->time = nowSeconds();
  return info;
}

bool ThreadInfo::start(ThreadInfo* info) {
  if (info == nullptr || info->entry == nullptr || isRunning(info)) return false;
  info->release = kOwnerHolds;
  Entry entry = info->entry;
  auto handle = platform::startThread([info, entry]() -> uint32_t {
    const uint32_t code = entry(info);
    // The owner let go of a running record: it is ours to free now.
    if (info->release.exchange(kThreadReturned) == kThreadFrees) delete info;
    return code;
  });
  if (!handle) return false;
  info->threadId = handle->id();
  info->handle = std::move(handle);
  info->state = kRunning;
  return true;
}

bool ThreadInfo::isRunning(ThreadInfo* info) {
  if (info == nullptr || !info->handle) return false;
  const int32_t state = info->state;
  if (state == kCreated || (state >= 2 && state <= 5)) return false;
  if (info->handle->running()) {
    info->state = kRunning;
    return true;
  }
  info->state = kExited;
  return false;
}

bool ThreadInfo::requestQuit(ThreadInfo* info) {
  if (!isRunning(info)) return false;
  return platform::postThreadMessage(info->threadId, platform::kWmDestroy);
}

bool ThreadInfo::quitRequested() {
  return platform::quitRequested();
}

void ThreadInfo::updateCpuTime(ThreadInfo* info) {
  if (info == nullptr) return;
  info->time = nowSeconds();
  info->ticker.restart();
  info->state = kRunning;
  uint64_t kernel = 0, user = 0;
  platform::currentThreadCpuTimes(kernel, user);
  const uint64_t ms = (kernel + user) / 10000u;
  info->cpuSeconds = static_cast<double>(ms) / 1000.0;
}

bool ThreadInfo::terminate(ThreadInfo* info) {
  if (!isRunning(info)) return false;
  // No thread can be killed safely from outside: ask it and wait a while.
  platform::postThreadMessage(info->threadId, platform::kWmQuit);
  if (!info->handle->waitFor(kTerminateWaitMs)) return false;
  info->state = kTerminated;
  return true;
}

void ThreadInfo::destroy(ThreadInfo** info) {
  if (info == nullptr || *info == nullptr) return;
  ThreadInfo* record = *info;
  *info = nullptr;
  if (isRunning(record)) terminate(record);
  if (!record->handle || !record->handle->running()) {
    // Not started, or the routine is over: wait out its last instructions.
    if (record->handle) record->handle->waitFor(UINT32_MAX);
    delete record;
    return;
  }
  // Still running: the thread frees the record when its routine returns.
  if (record->release.exchange(kThreadFrees) == kThreadReturned) delete record;
}

}  // namespace Vemora
