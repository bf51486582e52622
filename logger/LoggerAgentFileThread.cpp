#include "logger/LoggerAgentFileThread.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <list>
#include <mutex>

#include "common/BasicFile.h"
#include "common/DateTime.h"
#include "common/FileOps.h"
#include "common/FileUtils.h"
#include "logger/LogFileNames.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Thread.h"

namespace Vemora {

namespace {

constexpr int kAppendMode = 3;
constexpr const char* kHeader = "Vemora VERSION(6.5.0.0) REVISION(21508)";

std::atomic<uint32_t> gRotationRetryMs{LoggerAgentFileThread::kRotationRetryMs};

std::string nowText() {
  return DateTime().toString(false, false);
}

std::string stamped(const std::string& text) {
  return nowText() + " : " + text;
}

}  // namespace

// The lines waiting for the writer and what every writer reports to the
// agent. Shared by the agent and its writers.
struct LoggerAgentFileThread::Queue {
  std::mutex lock;  // guards everything below but the atomics
  std::condition_variable wake;
  std::list<std::string> lines;
  size_t bytes = 0;
  std::string path;
  std::atomic<uint64_t> dropped{0};
  std::atomic<uint64_t> lostTotal{0};
  std::atomic<bool> healthy{true};
};

// One file and what is counted about it, used by one writer run at a time
// (or by the agent while no writer runs). The flags and counters that the
// agent may read while a writer runs are guarded by the queue's lock.
class LoggerAgentFileThread::Session {
 public:
  Session(std::shared_ptr<Queue> queue, std::string path)
      : queue_(std::move(queue)), path_(std::move(path)) {}

  const std::string& path() const { return path_; }
  // Grows with every line the writer gets through.
  uint64_t progress() const { return progress_.load(); }
  uint64_t bytes() const { return bytes_; }
  bool isOpen() const { return !file_.isClosed(); }
  void close() {
    if (!file_.isClosed()) file_.close();
  }

  // Opens the file and writes the header; false when it cannot be opened.
  // A header that cannot be written closes the file again (reopened at the
  // next pass).
  bool openFile();
  // Writes the queued lines (after the notes of dropped and lost lines);
  // false when one cannot be written: the rest count as lost and the file
  // is closed.
  bool flushQueue();
  // Closes the file with a last line and renames it; false when the rename
  // fails.
  bool rotateOldFile();
  // The writer thread's routine.
  uint32_t run();

  // The agent's side: under the queue's lock.
  void requestQuitLocked() { quit_ = true; }
  void startLocked(const std::string& path) {
    path_ = path;
    quit_ = false;
  }
  // Marks the session as given up and hands what it counted to `next`.
  void abandonLocked(Session& next) {
    abandoned_ = true;
    next.lost_ = lost_ + inFlight_;
    next.droppedWritten_ = droppedWritten_;
  }

  // Rotates the file and opens the path again; a failed rename is noted in
  // the file. False when the path cannot be opened.
  bool rotateAndReopen();
  // rotateAndReopen() when the file holds the limit, unless a rename failed
  // too lately.
  void rotateIfDue();

 private:
  bool writeStamped(const std::string& text, int blankLines);
  void setHealthy(bool healthy);
  void writeFailed();
  void loseQueued();
  std::string rotatedName() const;
  bool quitRequested();

  std::shared_ptr<Queue> queue_;
  std::string path_;
  BasicFile file_;
  uint64_t bytes_ = 0;
  std::string previousName_;
  uint64_t rotationRetryAt_ = 0;  // monotonic ms; 0: at once
  // Guarded by the queue's lock:
  bool quit_ = false;
  bool abandoned_ = false;
  uint64_t lost_ = 0;            // lost lines not yet reported in the file
  uint64_t droppedWritten_ = 0;  // drops already reported in the file
  size_t inFlight_ = 0;          // lines taken from the queue, not yet written
  std::atomic<uint64_t> progress_{0};
};

bool LoggerAgentFileThread::Session::openFile() {
  close();
  if (!file_.open(path_, kAppendMode)) {
    setHealthy(false);
    return false;
  }
  bytes_ = static_cast<uint64_t>(file_.size());
  std::string header = std::string(kHeader) + "\n";
  if (!previousName_.empty()) {
    header += "         Log file continued from \"" + previousName_ + "\"\n";
  }
  if (!writeStamped(header, 1)) {
    writeFailed();
    return true;
  }
  previousName_.clear();
  setHealthy(true);
  return true;
}

bool LoggerAgentFileThread::Session::writeStamped(const std::string& text, int blankLines) {
  if (file_.isClosed()) return false;
  for (int i = 0; i < blankLines; ++i) {
    if (!file_.writeLine("")) return false;
    bytes_ += 1;
  }
  const std::string line = stamped(text);
  if (!file_.writeLine(line)) return false;
  bytes_ += line.size() + 1;
  progress_.fetch_add(1);
  file_.flush();
  return true;
}

// A write failed: the file is opened afresh at the next pass, so a file
// that was replaced or a volume that came back is found again.
void LoggerAgentFileThread::Session::writeFailed() {
  close();
  setHealthy(false);
}

// What a writer that was given up finds no longer reaches the agent.
void LoggerAgentFileThread::Session::setHealthy(bool healthy) {
  std::lock_guard<std::mutex> guard(queue_->lock);
  if (!abandoned_) queue_->healthy.store(healthy);
}

void LoggerAgentFileThread::Session::loseQueued() {
  std::lock_guard<std::mutex> guard(queue_->lock);
  if (abandoned_) return;
  const uint64_t n = queue_->lines.size();
  queue_->lines.clear();
  queue_->bytes = 0;
  lost_ += n;
  queue_->lostTotal.fetch_add(n);
  queue_->healthy.store(false);
}

bool LoggerAgentFileThread::Session::flushQueue() {
  std::list<std::string> lines;
  size_t notes = 0;
  uint64_t lostNoted = 0;
  uint64_t droppedNoted = 0;
  {
    std::lock_guard<std::mutex> guard(queue_->lock);
    if (abandoned_) return false;
    if (file_.isClosed()) return queue_->lines.empty();
    lines.splice(lines.end(), queue_->lines);
    queue_->bytes = 0;
    inFlight_ = lines.size();
    if (lost_ > 0) {
      lostNoted = lost_;
      lines.push_front(stamped(std::to_string(lostNoted) +
                               " log lines were lost: they could not be written to the file."));
      ++notes;
    }
    const uint64_t dropped = queue_->dropped.load();
    if (dropped > droppedWritten_) {
      droppedNoted = dropped;
      lines.push_front(stamped(std::to_string(dropped - droppedWritten_) +
                               " log lines were dropped: the queue was full."));
      ++notes;
    }
  }
  size_t written = 0;
  for (const std::string& line : lines) {
    if (!file_.writeLine(line)) break;
    bytes_ += line.size() + 1;
    ++written;
    progress_.fetch_add(1);
  }
  const bool complete = written == lines.size();
  if (complete) file_.flush();
  {
    std::lock_guard<std::mutex> guard(queue_->lock);
    inFlight_ = 0;
    if (abandoned_) return false;
    if (written >= notes) {
      lost_ -= lostNoted;
      if (droppedNoted > 0) droppedWritten_ = droppedNoted;
    }
    const uint64_t failed = lines.size() - std::max(written, notes);
    lost_ += failed;
    queue_->lostTotal.fetch_add(failed);
    queue_->healthy.store(complete);
  }
  if (!complete) writeFailed();
  return complete;
}

std::string LoggerAgentFileThread::Session::rotatedName() const {
  const std::string ext = LogFileNames::extension(path_);
  const std::string stem = LogFileNames::stem(path_) + "-" + DateTime().toString(true, false);
  std::string name = stem + "." + ext;
  // Two rotations within one second must not replace the first one's file.
  for (int n = 1; FileOps::pathExists(name) && n < 100000; ++n) {
    name = stem + "-" + std::to_string(n) + "." + ext;
  }
  return name;
}

bool LoggerAgentFileThread::Session::rotateOldFile() {
  if (!file_.isClosed()) {
    if (flushQueue()) writeStamped("Rotating log file", 1);
    close();
  } else if (FileOps::pathExists(path_)) {
    FileUtils::appendFile(path_, "\n\n" + stamped("ROTATING OLD LOG FILE\n"));
  }
  const std::string name = rotatedName();
  // One attempt: the writer itself tries again later, without holding up
  // the lines that wait.
  const uint32_t flags = platform::kMoveFileReplaceExisting | platform::kMoveFileCopyAllowed |
                         platform::kMoveFileWriteThrough;
  if (!platform::moveFileEx(path_, name, flags)) {
    rotationRetryAt_ = platform::monotonicMs() + gRotationRetryMs.load();
    return false;
  }
  rotationRetryAt_ = 0;
  previousName_ = name;
  return true;
}

bool LoggerAgentFileThread::Session::rotateAndReopen() {
  const bool renamed = rotateOldFile();
  if (!openFile()) return false;
  if (!renamed) {
    writeStamped("Could not rename the log file to a name with the time; trying again in " +
                     std::to_string(gRotationRetryMs.load() / 1000) + " seconds.",
                 0);
  }
  return true;
}

void LoggerAgentFileThread::Session::rotateIfDue() {
  if (bytes_ < kRotationLimit || platform::monotonicMs() < rotationRetryAt_) return;
  rotateAndReopen();
}

bool LoggerAgentFileThread::Session::quitRequested() {
  std::lock_guard<std::mutex> guard(queue_->lock);
  return quit_ || abandoned_;
}

uint32_t LoggerAgentFileThread::Session::run() {
  for (;;) {
    const bool quitting = quitRequested();
    {
      std::lock_guard<std::mutex> guard(queue_->lock);
      if (abandoned_) break;
    }
    rotateIfDue();
    if (file_.isClosed()) openFile();
    if (file_.isClosed()) {
      loseQueued();
    } else {
      flushQueue();
    }
    if (quitting) break;
    std::unique_lock<std::mutex> guard(queue_->lock);
    queue_->wake.wait_for(guard, std::chrono::milliseconds(kPassMs),
                          [this]() { return quit_ || abandoned_; });
  }
  bool abandoned;
  {
    std::lock_guard<std::mutex> guard(queue_->lock);
    abandoned = abandoned_;
  }
  // A writer that was given up closes its file; the agent keeps its own.
  if (abandoned) close();
  return 0;
}

LoggerAgentFileThread::LoggerAgentFileThread()
    : queue_(std::make_shared<Queue>()), session_(std::make_shared<Session>(queue_, "")) {}

LoggerAgentFileThread::~LoggerAgentFileThread() {
  stop();
  if (session_->isOpen()) session_->flushQueue();
  closeFile();
}

std::string LoggerAgentFileThread::target() {
  std::lock_guard<std::mutex> guard(queue_->lock);
  return queue_->path;
}

bool LoggerAgentFileThread::ok() {
  return queue_->healthy.load();
}

bool LoggerAgentFileThread::writeLine(const std::string& line) {
  std::lock_guard<std::mutex> guard(queue_->lock);
  if (queue_->lines.size() >= kMaxQueuedLines ||
      queue_->bytes + line.size() + 1 > kMaxQueuedBytes) {
    queue_->dropped.fetch_add(1);
    return false;
  }
  queue_->lines.push_back(line);
  queue_->bytes += line.size() + 1;
  return true;
}

bool LoggerAgentFileThread::running() const {
  return writer_ && writer_->running();
}

uint64_t LoggerAgentFileThread::droppedLines() const {
  return queue_->dropped.load();
}

uint64_t LoggerAgentFileThread::lostLines() const {
  return queue_->lostTotal.load();
}

uint64_t LoggerAgentFileThread::bytesCounted() const {
  return session_->bytes();
}

void LoggerAgentFileThread::setRotationRetryMs(uint32_t ms) {
  gRotationRetryMs.store(ms == 0 ? kRotationRetryMs : ms);
}

bool LoggerAgentFileThread::start(const std::string& path) {
  if (writer_) stop();
  {
    std::lock_guard<std::mutex> guard(queue_->lock);
    queue_->path = path;
    session_->startLocked(path);
  }
  Session& session = *session_;
  uint64_t size = 0;
  if (FileOps::pathExists(path)) size = static_cast<uint64_t>(FileUtils::fileSize(path));
  // A file whose rename fails is reopened; the writer tries again later.
  const bool opened = size >= kRotationLimit ? session.rotateAndReopen() : session.openFile();
  if (!opened) return false;
  std::shared_ptr<Session> writerSession = session_;
  writer_ = platform::startThread([writerSession]() { return writerSession->run(); });
  return writer_ != nullptr;
}

bool LoggerAgentFileThread::stop() {
  if (!writer_) return false;
  {
    std::lock_guard<std::mutex> guard(queue_->lock);
    session_->requestQuitLocked();
  }
  queue_->wake.notify_all();
  // The writer sees the request within its wait and ends after one more
  // pass. It is never killed, so no line is cut or written twice. A writer
  // that gets lines through is slow, not stuck: it gets more time.
  bool ended = false;
  for (uint64_t seen = session_->progress();;) {
    ended = writer_->waitFor(kStopWaitMs);
    const uint64_t now = session_->progress();
    if (ended || now == seen) break;
    seen = now;
  }
  writer_.reset();
  if (!ended) {
    giveUpWriter();
    return false;
  }
  return session_->flushQueue();
}

// The writer is stuck (a write or rename that does not return): it keeps
// its session and file, and the agent goes on with a fresh one.
void LoggerAgentFileThread::giveUpWriter() {
  auto fresh = std::make_shared<Session>(queue_, session_->path());
  {
    std::lock_guard<std::mutex> guard(queue_->lock);
    session_->abandonLocked(*fresh);
    queue_->healthy.store(false);
  }
  queue_->wake.notify_all();
  session_ = fresh;
}

void LoggerAgentFileThread::closeFile() {
  session_->close();
}

}  // namespace Vemora
