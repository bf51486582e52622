// Threads, their ids and their message queues (the Windows thread queue:
// post and peek by thread id, in-process).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

constexpr uint32_t kWmDestroy = 0x0002;
constexpr uint32_t kWmClose = 0x0010;
constexpr uint32_t kWmQuit = 0x0012;

// GetCurrentThreadId: the kernel thread id, 32 bits, never 0.
uint32_t currentThreadId();
// _getpid.
uint32_t processId();

// PostThreadMessage: false (last error kErrorInvalidParameter, as Windows
// answers for a thread without a queue) when `threadId` has no queue.
bool postThreadMessage(uint32_t threadId, uint32_t message);
// PeekMessage on the calling thread's queue: true and the message at its
// head when one waits; `remove` takes it off the queue. Makes the queue when
// the thread has none yet, as Windows does.
bool peekThreadMessage(uint32_t& message, bool remove);
// True when the calling thread's queue holds kWmClose, kWmDestroy or kWmQuit.
bool quitRequested();
// Sleeps `ms` milliseconds (through the test sleeper when one is set), but
// returns early when a kWmClose, kWmDestroy or kWmQuit message is or arrives
// in the calling thread's queue. True when such a message is queued.
bool sleepUnlessQuit(uint32_t ms);
// Makes a queue for the calling thread (threads started through
// startThread have one from their first instruction; the main thread calls
// this once in main).
void ensureThreadQueue();
// Removes the calling thread's queue (a thread started through startThread
// does this when its routine returns; any thread's queue goes at its exit).
// Thread-safety: every function here may be called from any thread; the
// queue functions without an id act on the calling thread's own queue.
void dropThreadQueue();

// CPU time used so far by the calling thread, in 100 ns units.
void currentThreadCpuTimes(uint64_t& kernel100ns, uint64_t& user100ns);

// A started thread. Threads are detached from their handle's lifetime:
// destroying a handle never kills or joins the thread.
class ThreadHandle {
 public:
  virtual ~ThreadHandle() = default;
  virtual uint32_t id() const = 0;
  // True while the routine runs.
  virtual bool running() const = 0;
  // Waits up to `timeoutMs` for the routine to return; true when it has.
  virtual bool waitFor(uint32_t timeoutMs) = 0;
  // CPU time used by the thread so far, in 100 ns units (kernel, user).
  virtual void cpuTimes(uint64_t& kernel100ns, uint64_t& user100ns) const = 0;
};

// Starts `routine` on a new thread whose queue exists before it runs and
// before startThread returns, so a post right after the start is never lost.
// Returns nullptr (last error set) when the thread cannot be made.
std::shared_ptr<ThreadHandle> startThread(std::function<uint32_t()> routine);

}  // namespace platform
