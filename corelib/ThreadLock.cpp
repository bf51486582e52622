#include "corelib/ThreadLock.h"

#include <mutex>
#include <vector>

#include "corelib/Logger.h"
#include "corelib/ParamStream.h"
#include "platform/CriticalSection.h"
#include "platform/Thread.h"

namespace VemoraCorelib {

namespace {

constexpr int32_t kFloodLevel = 8;

Logger& moduleLogger() {
  // Never destroyed, so locks in static objects may trace at exit.
  static Logger* logger = new Logger();
  return *logger;
}

// Built before main, so that it hears the level messages.
[[maybe_unused]] Logger& builtEarly = moduleLogger();

// A trace goes through the message service, whose hook lock is a
// ThreadLock: while a thread writes one trace it writes no further one.
thread_local bool tracing = false;

class TraceScope {
 public:
  TraceScope() { tracing = true; }
  ~TraceScope() { tracing = false; }
  TraceScope(const TraceScope&) = delete;
  TraceScope& operator=(const TraceScope&) = delete;
};

bool traceWanted() {
  return !tracing && Logger::maximumLevel() >= kFloodLevel;
}

void trace(const std::string& text, const ParamStream& arguments) {
  TraceScope scope;
  moduleLogger().flood(text, arguments);
}

void trace(const std::string& text) {
  trace(text, ParamStream());
}

uint64_t addressOf(const ThreadLock* lock) {
  return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(lock));
}

// System locks of ThreadLocks destroyed while another thread held them.
// Kept reachable for the rest of the process instead of being destroyed
// under their holder.
void park(platform::CriticalSection* section) {
  static std::mutex* guard = new std::mutex();
  static std::vector<platform::CriticalSection*>* parked =
      new std::vector<platform::CriticalSection*>();
  std::lock_guard<std::mutex> hold(*guard);
  parked->push_back(section);
}

}  // namespace

ThreadLock::ThreadLock() : section_(new platform::CriticalSection()) {}

ThreadLock::~ThreadLock() {
  const uint32_t me = platform::currentThreadId();
  const uint32_t holder = owner_.load();
  if (holder == me) {
    if (level_.load() > 1) level_.store(1);
    if (level_.load() != 0) unlock();
  } else if (holder != 0) {
    park(section_);
    return;
  }
  delete section_;
}

bool ThreadLock::lock(bool blocking) {
  if (traceWanted()) {
    ParamStream arguments;
    arguments << addressOf(this) << (blocking ? "blocking" : "non-blocking");
    trace("ThreadLock::lock: Going to lock % (%)", arguments);
  }
  const uint32_t me = platform::currentThreadId();
  const uint32_t holder = owner_.load();
  if (holder == me) {
    level_.fetch_add(1);
    if (traceWanted()) trace("ThreadLock::lock: Already locked");
    return true;
  }
  if (holder != 0 && !blocking) {
    if (traceWanted()) {
      ParamStream arguments;
      arguments << holder;
      trace("ThreadLock::lock: Failed to lock - lock belongs to thread %", arguments);
    }
    return false;
  }
  if (blocking) {
    section_->enter();
  } else if (!section_->tryEnter()) {
    return false;
  }
  level_.fetch_add(1);
  owner_.store(me);
  if (traceWanted()) trace("ThreadLock::lock: Locked");
  return true;
}

bool ThreadLock::unlock() {
  if (traceWanted()) {
    ParamStream arguments;
    arguments << addressOf(this);
    trace("ThreadLock::unlock: Going to unlock %", arguments);
  }
  const uint32_t holder = owner_.load();
  if (holder != platform::currentThreadId()) {
    if (traceWanted()) {
      ParamStream arguments;
      arguments << holder;
      trace("ThreadLock::unlock: Cannot unlock - locked by other thread %", arguments);
    }
    return false;
  }
  const int32_t level = level_.fetch_sub(1) - 1;
  if (level != 0) {
    if (traceWanted()) {
      ParamStream arguments;
      arguments << level;
      trace("ThreadLock::unlock: Nested locking (now at level % - actual unlock at zero)",
            arguments);
    }
    return true;
  }
  owner_.store(0);
  section_->leave();
  if (traceWanted()) trace("ThreadLock::unlock: Unlocked");
  return true;
}

}  // namespace VemoraCorelib
