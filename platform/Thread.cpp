#include "platform/Thread.h"

#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <unordered_map>

#include "platform/Clock.h"
#include "platform/LastError.h"

namespace platform {

namespace {

bool isQuitMessage(uint32_t message) {
  return message == kWmClose || message == kWmDestroy || message == kWmQuit;
}

// One thread's message queue. Posts come from any thread; only the owner
// peeks.
struct Queue {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<uint32_t> messages;
};

// Queues by thread id. Never destroyed: threads may post during exit.
struct Registry {
  std::mutex mutex;
  std::unordered_map<uint32_t, std::shared_ptr<Queue>> queues;
};

Registry& registry() {
  static Registry* r = new Registry;
  return *r;
}

// The calling thread's queue; its destructor (thread exit) unregisters it,
// so a kernel id that is reused later never inherits old messages.
struct OwnQueue {
  std::shared_ptr<Queue> queue;
  uint32_t id = 0;
  ~OwnQueue() { drop(); }
  void drop() {
    if (!queue) return;
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.queues.find(id);
    if (it != r.queues.end() && it->second == queue) r.queues.erase(it);
    queue.reset();
  }
};

thread_local OwnQueue tOwnQueue;

std::shared_ptr<Queue> findQueue(uint32_t threadId) {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = r.queues.find(threadId);
  return it == r.queues.end() ? nullptr : it->second;
}

// Kernel times of a thread of this process from /proc, in 100 ns units.
bool procThreadTimes(uint32_t tid, uint64_t& kernel, uint64_t& user) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/self/task/%u/stat", tid);
  FILE* f = std::fopen(path, "re");
  if (f == nullptr) return false;
  char buffer[1024];
  const size_t n = std::fread(buffer, 1, sizeof buffer - 1, f);
  std::fclose(f);
  buffer[n] = '\0';
  // The command name may hold blanks and parentheses: fields start after
  // the last ')'.
  const char* p = nullptr;
  for (size_t i = 0; i < n; ++i) {
    if (buffer[i] == ')') p = buffer + i + 1;
  }
  unsigned long utime = 0, stime = 0;
  if (p == nullptr ||
      std::sscanf(p, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime) != 2) {
    return false;
  }
  const long hz = sysconf(_SC_CLK_TCK);
  const uint64_t unit = hz > 0 ? 10000000u / static_cast<uint64_t>(hz) : 100000u;
  kernel = stime * unit;
  user = utime * unit;
  return true;
}

class PosixThread final : public ThreadHandle {
 public:
  explicit PosixThread(std::function<uint32_t()> routine) : routine_(std::move(routine)) {}

  uint32_t id() const override { return id_.load(); }
  bool running() const override { return !finished_.load(); }

  bool waitFor(uint32_t timeoutMs) override {
    std::unique_lock<std::mutex> lock(mutex_);
    auto done = [this] { return finished_.load(); };
    if (timeoutMs == UINT32_MAX) {
      changed_.wait(lock, done);
      return true;
    }
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), done);
  }

  void cpuTimes(uint64_t& kernel100ns, uint64_t& user100ns) const override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (currentThreadId() == id_.load()) {
      currentThreadCpuTimes(kernel_, user_);
    } else if (!finished_.load()) {
      uint64_t k = 0, u = 0;
      if (procThreadTimes(id_.load(), k, u)) {
        kernel_ = k;
        user_ = u;
      }
    }
    // An ended thread keeps the times last seen.
    kernel100ns = kernel_;
    user100ns = user_;
  }

  // Runs on the new thread: queue first, then tell the starter the id.
  static void* entry(void* arg) {
    auto* holder = static_cast<std::shared_ptr<PosixThread>*>(arg);
    std::shared_ptr<PosixThread> self = std::move(*holder);
    delete holder;
    ensureThreadQueue();
    {
      std::lock_guard<std::mutex> lock(self->mutex_);
      self->id_ = currentThreadId();
      self->started_ = true;
    }
    self->changed_.notify_all();
    self->routine_();
    self->routine_ = nullptr;  // free the caller's objects on this thread
    uint64_t k = 0, u = 0;
    self->cpuTimes(k, u);
    dropThreadQueue();
    {
      std::lock_guard<std::mutex> lock(self->mutex_);
      self->finished_ = true;
    }
    self->changed_.notify_all();
    return nullptr;
  }

  void waitStarted() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return started_; });
  }

 private:
  std::function<uint32_t()> routine_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::atomic<uint32_t> id_{0};
  bool started_ = false;
  std::atomic<bool> finished_{false};
  mutable uint64_t kernel_ = 0;
  mutable uint64_t user_ = 0;
};

}  // namespace

uint32_t currentThreadId() {
  thread_local const uint32_t id = static_cast<uint32_t>(::syscall(SYS_gettid));
  return id;
}

void currentThreadCpuTimes(uint64_t& kernel100ns, uint64_t& user100ns) {
  rusage usage{};
  if (getrusage(RUSAGE_THREAD, &usage) != 0) {
    setLastErrorFromErrno(errno);
    return;
  }
  kernel100ns = static_cast<uint64_t>(usage.ru_stime.tv_sec) * 10000000u +
                static_cast<uint64_t>(usage.ru_stime.tv_usec) * 10u;
  user100ns = static_cast<uint64_t>(usage.ru_utime.tv_sec) * 10000000u +
              static_cast<uint64_t>(usage.ru_utime.tv_usec) * 10u;
}

uint32_t processId() {
  return static_cast<uint32_t>(::getpid());
}

bool postThreadMessage(uint32_t threadId, uint32_t message) {
  std::shared_ptr<Queue> queue = findQueue(threadId);
  if (!queue) {
    setLastError(kErrorInvalidParameter);
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(queue->mutex);
    queue->messages.push_back(message);
  }
  queue->changed.notify_all();
  setLastError(kErrorSuccess);
  return true;
}

bool peekThreadMessage(uint32_t& message, bool remove) {
  ensureThreadQueue();  // as on Windows, peeking makes the queue
  Queue& queue = *tOwnQueue.queue;
  std::lock_guard<std::mutex> lock(queue.mutex);
  setLastError(kErrorSuccess);
  if (queue.messages.empty()) return false;
  message = queue.messages.front();
  if (remove) queue.messages.pop_front();
  return true;
}

bool quitRequested() {
  const std::shared_ptr<Queue>& queue = tOwnQueue.queue;
  if (!queue) return false;
  std::lock_guard<std::mutex> lock(queue->mutex);
  for (uint32_t message : queue->messages) {
    if (isQuitMessage(message)) return true;
  }
  return false;
}

bool sleepUnlessQuit(uint32_t ms) {
  const std::shared_ptr<Queue> queue = tOwnQueue.queue;
  if (!queue || sleeperReplaced() || ms == 0) {
    if (quitRequested()) return true;
    sleepMs(ms);
    return quitRequested();
  }
  std::unique_lock<std::mutex> lock(queue->mutex);
  auto quit = [&queue] {
    for (uint32_t message : queue->messages) {
      if (isQuitMessage(message)) return true;
    }
    return false;
  };
  return queue->changed.wait_for(lock, std::chrono::milliseconds(ms), quit);
}

void ensureThreadQueue() {
  if (tOwnQueue.queue) return;
  auto queue = std::make_shared<Queue>();
  const uint32_t id = currentThreadId();
  {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.queues[id] = queue;  // replaces a queue left by an ended thread of this id
  }
  tOwnQueue.id = id;
  tOwnQueue.queue = std::move(queue);
}

void dropThreadQueue() {
  tOwnQueue.drop();
}

std::shared_ptr<ThreadHandle> startThread(std::function<uint32_t()> routine) {
  auto thread = std::make_shared<PosixThread>(std::move(routine));
  auto* holder = new std::shared_ptr<PosixThread>(thread);
  pthread_t handle;
  const int rc = pthread_create(&handle, nullptr, &PosixThread::entry, holder);
  if (rc != 0) {
    delete holder;
    setLastError(rc == EAGAIN ? kErrorNotEnoughMemory : errorFromErrno(rc));
    return nullptr;
  }
  pthread_detach(handle);
  thread->waitStarted();
  setLastError(kErrorSuccess);
  return thread;
}

}  // namespace platform
