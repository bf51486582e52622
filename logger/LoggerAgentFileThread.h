// The log agent of the daemon: logging threads only queue finished lines;
// one writer thread writes the queue to the file about once a second
// (lines end with "\n") and rotates the file when it reaches 10 MiB. The
// old file is renamed to <stem>-<local time, compact>.<ext>; the fresh file
// begins with a version header that names the file it continues.
//
// Thread-safety: writeLine may be called from any number of threads; it
// costs one queue insertion. start, stop and the destructor run on one
// controlling thread. The queue is bounded; lines beyond the bound are
// dropped and counted, and the count is written to the file.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>

#include "common/BasicFile.h"
#include "logger/LoggerAgent.h"

namespace platform {
class ThreadHandle;
}

namespace Vemora {

class LoggerAgentFileThread : public LoggerAgent {
 public:
  static constexpr uint64_t kRotationLimit = 10ull * 1024 * 1024;
  static constexpr size_t kMaxQueuedLines = 100000;
  static constexpr size_t kMaxQueuedBytes = 16u * 1024 * 1024;
  // How long the writer waits between passes.
  static constexpr uint32_t kPassMs = 999;

  LoggerAgentFileThread();
  LoggerAgentFileThread(const LoggerAgentFileThread&) = delete;
  LoggerAgentFileThread& operator=(const LoggerAgentFileThread&) = delete;
  // stop(), writes what is still queued, closes the file.
  ~LoggerAgentFileThread() override;

  // The file path.
  std::string target() override;
  // Queues the line; false when the agent is disabled (a write failed) or
  // the queue is full.
  bool writeLine(const std::string& line) override;

  // Enables the agent, opens the path (rotating a file that already holds
  // the limit) and starts the writer. False when the file cannot be opened
  // or the writer cannot be started; lines are then still queued.
  bool start(const std::string& path);
  // Tells the writer to quit, waits for it to end, then writes what is
  // still queued. False without a writer, else the result of that last
  // write. The file stays open.
  bool stop();
  // Closes the file (after stop()).
  void closeFile();

  bool enabled() const { return enabled_.load(); }
  bool running() const;
  uint64_t droppedLines() const { return dropped_.load(); }
  uint64_t bytesCounted() const { return bytes_; }

 private:
  uint32_t run();
  bool openFile();
  bool writeStamped(const std::string& text, bool flushFirst, int blankLines);
  bool flushQueue();
  bool rotateOldFile();
  std::string rotatedName() const;
  void waitPass();

  std::shared_ptr<platform::ThreadHandle> writer_;
  std::atomic<bool> enabled_{true};
  std::atomic<bool> quit_{false};
  std::atomic<uint64_t> dropped_{0};

  std::mutex queueLock_;  // guards queue_, queuedBytes_, quit_ waits
  std::condition_variable wake_;
  std::list<std::string> queue_;
  size_t queuedBytes_ = 0;

  std::string path_;
  BasicFile file_;
  uint64_t bytes_ = 0;
  std::string previousName_;
  uint64_t droppedWritten_ = 0;  // drops already reported in the file
};

}  // namespace Vemora
