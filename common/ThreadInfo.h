// Worker threads started through a small heap record and free functions
// over it. Quitting is cooperative: the owner posts a destroy message to the
// thread's queue (which exists from the thread's first instruction), and
// the thread tests quitRequested() once per pass of its loop; Timer::sleep
// returns early once a quit message waits.
//
// The record is shared by the owner (start, quit request, state probes) and
// the thread (updates); every field that crosses threads is atomic. A record
// is never freed while its thread still runs: destroy() of a running record
// hands the record to the thread, which frees it when its routine returns.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "common/Ticker.h"

namespace platform {
class ThreadHandle;
}

namespace Vemora {

struct ThreadInfo {
  // The thread function; it receives the record itself (a ThreadInfo*) and
  // returns the thread's exit code.
  using Entry = uint32_t (*)(void* record);

  enum State : int32_t {
    kCreated = 0,     // never started
    kRunning = 1,     // started; set again by every update
    kTerminated = 4,  // ended through terminate()
    kExited = 5,      // seen ended by isRunning()
  };

  // A record (state kCreated, time now, CPU 0) for `entry` and `argument`;
  // null when it cannot be allocated.
  static ThreadInfo* create(Entry entry, void* argument);
  // Starts the thread; false for a null record, a record whose thread runs,
  // or when the thread cannot be made.
  static bool start(ThreadInfo* info);
  // True while the thread runs; refreshes the state (kExited once ended).
  static bool isRunning(ThreadInfo* info);
  // Posts a destroy message to a running thread; false when it is not
  // running or the post fails.
  static bool requestQuit(ThreadInfo* info);
  // Called by a thread about itself: true when its queue holds a close,
  // destroy or quit message (the message stays, so every later call is true).
  static bool quitRequested();
  // Called by the thread on its own record once per pass: time, ticker, state
  // and CPU seconds. A null record is ignored.
  static void updateCpuTime(ThreadInfo* info);
  // Ends a running thread cooperatively: posts a quit and waits up to
  // kTerminateWaitMs for the routine to return. True (state kTerminated)
  // when it ended; false when it was not running or did not end in time.
  static bool terminate(ThreadInfo* info);
  // Terminates the thread if it runs, frees the record (or, when the thread
  // still runs, leaves it to the thread to free on its return) and sets
  // *info to null. Nothing happens for a null pointer or record.
  static void destroy(ThreadInfo** info);

  static constexpr uint32_t kTerminateWaitMs = 2000;

  std::shared_ptr<platform::ThreadHandle> handle;  // owner only
  Entry entry = nullptr;
  void* argument = nullptr;
  std::atomic<uint32_t> threadId{0};
  std::atomic<int32_t> state{kCreated};
  std::atomic<int32_t> time{0};  // seconds since 1970 of creation / last update
  Ticker ticker;                 // the tick of the last update
  std::atomic<double> cpuSeconds{0.0};

  // Who frees the record: 0 owner, 1 the owner let go while the thread ran,
  // 2 the thread has returned.
  std::atomic<int> release{0};

 private:
  ThreadInfo() = default;
};

}  // namespace Vemora
