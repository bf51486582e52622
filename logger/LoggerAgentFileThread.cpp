#include "logger/LoggerAgentFileThread.h"

#include <chrono>

#include "common/DateTime.h"
#include "common/FileOps.h"
#include "common/FileUtils.h"
#include "logger/LogFileNames.h"
#include "platform/Thread.h"

namespace Vemora {

namespace {

constexpr int kAppendMode = 3;
constexpr const char* kHeader = "Vemora VERSION(6.5.0.0) REVISION(21508)";

std::string nowText() {
  return DateTime().toString(false, false);
}

}  // namespace

LoggerAgentFileThread::LoggerAgentFileThread() = default;

LoggerAgentFileThread::~LoggerAgentFileThread() {
  stop();
  if (!file_.isClosed()) flushQueue();
  closeFile();
}

std::string LoggerAgentFileThread::target() {
  std::lock_guard<std::mutex> guard(queueLock_);
  return path_;
}

bool LoggerAgentFileThread::writeLine(const std::string& line) {
  if (!enabled_.load()) return false;
  std::lock_guard<std::mutex> guard(queueLock_);
  if (queue_.size() >= kMaxQueuedLines || queuedBytes_ + line.size() + 1 > kMaxQueuedBytes) {
    dropped_.fetch_add(1);
    return false;
  }
  queue_.push_back(line);
  queuedBytes_ += line.size() + 1;
  return true;
}

bool LoggerAgentFileThread::running() const {
  return writer_ && writer_->running();
}

bool LoggerAgentFileThread::start(const std::string& path) {
  if (writer_) stop();
  {
    std::lock_guard<std::mutex> guard(queueLock_);
    path_ = path;
    quit_.store(false);
  }
  enabled_.store(true);
  bytes_ = 0;
  if (FileOps::pathExists(path_)) bytes_ = static_cast<uint64_t>(FileUtils::fileSize(path_));
  if (bytes_ >= kRotationLimit) {
    // A file whose rename fails is reopened; the writer tries again.
    rotateOldFile();
    if (!openFile()) return false;
  } else if (!openFile()) {
    return false;
  }
  writer_ = platform::startThread([this]() { return run(); });
  return writer_ != nullptr;
}

bool LoggerAgentFileThread::stop() {
  if (!writer_) return false;
  {
    std::lock_guard<std::mutex> guard(queueLock_);
    quit_.store(true);
  }
  wake_.notify_all();
  // Cooperative: the writer sees the request within one wait and ends after
  // its last pass. It is never killed, so no line is cut or written twice.
  while (!writer_->waitFor(1000)) {
  }
  writer_.reset();
  return flushQueue();
}

void LoggerAgentFileThread::closeFile() {
  if (!file_.isClosed()) file_.close();
}

uint32_t LoggerAgentFileThread::run() {
  if (!enabled_.load()) return 0;
  for (;;) {
    const bool quitting = quit_.load();
    if (bytes_ >= kRotationLimit) {
      rotateOldFile();
      // After a failed rename this reopens the same path; the count stays at
      // the limit, so the next pass tries again.
      if (!openFile()) {
        enabled_.store(false);
        return 1;
      }
    }
    if (!flushQueue()) return 1;
    if (quitting) return 0;
    waitPass();
  }
}

void LoggerAgentFileThread::waitPass() {
  std::unique_lock<std::mutex> guard(queueLock_);
  wake_.wait_for(guard, std::chrono::milliseconds(kPassMs), [this]() { return quit_.load(); });
}

bool LoggerAgentFileThread::openFile() {
  if (!file_.isClosed()) file_.close();
  if (!file_.open(path_, kAppendMode)) return false;
  bytes_ = static_cast<uint64_t>(file_.size());
  std::string header = std::string(kHeader) + "\n";
  if (!previousName_.empty()) {
    header += "         Log file continued from \"" + previousName_ + "\"\n";
    previousName_.clear();
  }
  writeStamped(header, false, 1);
  return true;
}

bool LoggerAgentFileThread::writeStamped(const std::string& text, bool flushFirst, int blankLines) {
  if (file_.isClosed()) return false;
  if (flushFirst && !flushQueue()) return false;
  for (int i = 0; i < blankLines; ++i) {
    if (!file_.writeLine("")) return false;
    bytes_ += 1;
  }
  const std::string line = nowText() + " : " + text;
  if (!file_.writeLine(line)) return false;
  bytes_ += line.size() + 1;
  file_.flush();
  return true;
}

bool LoggerAgentFileThread::flushQueue() {
  if (file_.isClosed()) {
    std::lock_guard<std::mutex> guard(queueLock_);
    return queue_.empty();
  }
  std::list<std::string> lines;
  {
    std::lock_guard<std::mutex> guard(queueLock_);
    lines.splice(lines.end(), queue_);
    queuedBytes_ = 0;
  }
  const uint64_t dropped = dropped_.load();
  if (dropped > droppedWritten_) {
    lines.push_front(nowText() + " : " + std::to_string(dropped - droppedWritten_) +
                     " log lines were dropped: the queue was full.");
    droppedWritten_ = dropped;
  }
  for (const std::string& line : lines) {
    if (!file_.writeLine(line)) {
      enabled_.store(false);
      return false;
    }
    bytes_ += line.size() + 1;
  }
  file_.flush();
  return true;
}

std::string LoggerAgentFileThread::rotatedName() const {
  const std::string ext = LogFileNames::extension(path_);
  const std::string stem = LogFileNames::stem(path_) + "-" + DateTime().toString(true, false);
  std::string name = stem + "." + ext;
  // Two rotations within one second must not replace the first one's file.
  for (int n = 1; FileOps::pathExists(name) && n < 100000; ++n) {
    name = stem + "-" + std::to_string(n) + "." + ext;
  }
  return name;
}

bool LoggerAgentFileThread::rotateOldFile() {
  if (!file_.isClosed()) {
    if (flushQueue()) writeStamped("Rotating log file", false, 1);
    file_.close();
  } else if (FileOps::pathExists(path_)) {
    FileUtils::appendFile(path_, "\n\n" + nowText() + " : ROTATING OLD LOG FILE\n");
  }
  const std::string name = rotatedName();
  if (!FileUtils::move(path_, name, true)) {
    previousName_.clear();
    return false;
  }
  previousName_ = name;
  return true;
}

}  // namespace Vemora
