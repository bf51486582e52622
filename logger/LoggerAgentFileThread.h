// The log agent of the daemon: logging threads only queue finished lines;
// one writer thread writes the queue to the file about once a second
// (lines end with "\n") and rotates the file when it reaches 10 MiB. The
// old file is renamed to <stem>-<local time, compact>.<ext>; the fresh file
// begins with a version header that names the file it continues.
//
// Failures never silence the log for good: lines that cannot be written (a
// full disk) are counted as lost, the file is opened again at the next
// pass, and once writing works again a line tells how many were lost. A
// rename that fails is tried again no sooner than kRotationRetryMs later.
// ok() is false while lines are being lost.
//
// Thread-safety: writeLine and ok may be called from any number of
// threads; writeLine costs one queue insertion. start, stop, closeFile and
// the destructor run on one controlling thread. The queue is bounded;
// lines beyond the bound are dropped and counted, and the count is written
// to the file.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

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
  // How long stop() waits for a writer that makes no progress.
  static constexpr uint32_t kStopWaitMs = 1000;
  // The least time between two attempts to rename a full file.
  static constexpr uint32_t kRotationRetryMs = 60000;

  LoggerAgentFileThread();
  LoggerAgentFileThread(const LoggerAgentFileThread&) = delete;
  LoggerAgentFileThread& operator=(const LoggerAgentFileThread&) = delete;
  // stop(), writes what is still queued, closes the file.
  ~LoggerAgentFileThread() override;

  // The file path.
  std::string target() override;
  // False while lines are being lost: the last write or opening of the file
  // failed, or the writer was given up.
  bool ok() override;
  // Queues the line; false when the queue is full.
  bool writeLine(const std::string& line) override;

  // Opens the path (rotating a file that already holds the limit) and
  // starts the writer. False when the file cannot be opened or the writer
  // cannot be started; lines are then still queued.
  bool start(const std::string& path);
  // Tells the writer to quit and waits for it to end, then writes what is
  // still queued. A writer that gets no line through for kStopWaitMs
  // (stuck in the file system) is given up: it is left to finish on its own
  // and touches nothing of this agent any more; the lines it held count as
  // lost and the queue stays for the next start. False without a writer,
  // for a writer given up, else the result of that last write. The file
  // stays open.
  bool stop();
  // Closes the file (after stop()).
  void closeFile();

  bool running() const;
  uint64_t droppedLines() const;
  // Lines that could not be written, since construction.
  uint64_t lostLines() const;
  uint64_t bytesCounted() const;

  // Test hook: the least time between two rename attempts (0 restores
  // kRotationRetryMs).
  static void setRotationRetryMs(uint32_t ms);

 private:
  struct Queue;
  class Session;

  void giveUpWriter();

  // Both are shared with the writer thread, so a writer that was given up
  // can finish without this agent.
  std::shared_ptr<Queue> queue_;
  std::shared_ptr<Session> session_;
  std::shared_ptr<platform::ThreadHandle> writer_;
};

}  // namespace Vemora
