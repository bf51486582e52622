#include "logger/LoggerAgentFile.h"

#include <atomic>
#include <new>

#include "common/FileBase.h"
#include "common/FileOps.h"
#include "common/FilePlain.h"
#include "common/FileUtils.h"
#include "common/Monopoly.h"
#include "common/StringOps.h"
#include "common/SystemInfo.h"
#include "common/ZoneInfo.h"
#include "logger/LogFileNames.h"
#include "platform/Clock.h"
#include "platform/LastError.h"
#include "platform/Numbers.h"

namespace Vemora {

namespace {

// Open flags: write, 8, append, direct, no lock file: the agent appends
// straight to the file and coordinates through its own named lock.
constexpr uint16_t kOpenFlags = 2 | 8 | 16 | 32 | 64;
constexpr int kLockAttempts = 50;
constexpr uint32_t kLockPauseMs = 40;
constexpr const char* kCrLf = "\r\n";

// Process-wide rotation settings: written during start-up and
// configuration, read by every plain agent under its own lock.
struct Settings {
  std::mutex lock;  // guards baseName and counterText
  std::string baseName = "core";
  std::string counterText = "0";
  std::atomic<int> scheme{0};
  std::atomic<int> rotationTime{0};
  std::atomic<int> rotationSize{0};
  std::atomic<bool> initFlag{true};
  std::atomic<int> lastSeenTime{0};
  std::atomic<int> lastSeenSize{0};
};

Settings& settings() {
  static Settings s;
  return s;
}

std::string nowText() {
  return DateTime().toString(false, false);
}

}  // namespace

LoggerAgentFile::LoggerAgentFile() : openTime_(), nextRotation_(0) {
  settings().rotationSize.store(10);
}

LoggerAgentFile::~LoggerAgentFile() {
  try {
    close("Quitting Logger Agent");
  } catch (...) {
    // Destructors never throw.
  }
  file_.reset();
}

std::string LoggerAgentFile::target() {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return "file:///" + path_;
}

std::string LoggerAgentFile::path() const {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return path_;
}

bool LoggerAgentFile::writeLine(const std::string& line) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return writeText(line, false);
}

void LoggerAgentFile::close(const std::string& reason) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  closeLocked(reason);
}

void LoggerAgentFile::closeLocked(const std::string& reason) {
  if (!open_) return;
  writeText(std::string(kCrLf) + "Closing log file \"" + FileUtils::fileName(path_) +
                "\". Time: " + nowText() + ". Reason: " + reason + "." + kCrLf,
            true);
  open_ = false;
  try {
    file_->commit();
  } catch (...) {
    // A file that cannot be closed cleanly is dropped all the same.
  }
}

bool LoggerAgentFile::setFile(const std::string& path) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (!file_.isNull() && path_ == path) return true;
  SmartPointer<FileBase> next(new (std::nothrow) FilePlain(path));
  if (next.isNull()) return false;
  std::string name = FileUtils::fileName(path);
  StringOps::replaceChar(name, '/', '_');
  StringOps::replaceChar(name, '\\', '_');
  std::string continued;
  if (!file_.isNull() && open_) {
    closeLocked("Log file moved to \"" + path + "\".");
    continued = "Log continued from \"" + path_ + "\"." + kCrLf;
  }
  lockName_ = name;
  file_ = next;
  path_ = path;
  open_ = false;
  if (!continued.empty()) writeText(continued, true);
  return true;
}

bool LoggerAgentFile::lockFile() {
  Monopoly* named = new (std::nothrow) Monopoly(lockName_);
  if (named == nullptr) return false;
  for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
    if (named->enforce()) {
      fileLock_ = named;
      return true;
    }
    platform::sleepMs(kLockPauseMs);
  }
  delete named;
  return false;
}

void LoggerAgentFile::unlockFile() {
  if (fileLock_ == nullptr) return;
  fileLock_->relax();
  delete fileLock_;
  fileLock_ = nullptr;
}

bool LoggerAgentFile::writeText(const std::string& text, bool inner) {
  Settings& s = settings();
  if (s.rotationTime.load() != s.lastSeenTime.load() ||
      s.rotationSize.load() != s.lastSeenSize.load()) {
    s.lastSeenTime.store(s.rotationTime.load());
    s.lastSeenSize.store(s.rotationSize.load());
    computeNextRotation();
  }
  // The whole check, rotation and write run under the agent's lock, so
  // only the agent's own inner writes can find it busy.
  if (!inner && state_ == kIdle) checkRotation();
  if (file_.isNull()) return false;
  const bool idle = state_ == kIdle;
  try {
    if (!open_ && !openFile()) return false;
    if (idle && !lockFile()) return false;
    file_->seek(0, 2);
    file_->write(text + kCrLf);
    if (idle) s.initFlag.store(false);
    file_->flush();
    if (idle) unlockFile();
    return true;
  } catch (...) {
    if (idle) unlockFile();
    return false;
  }
}

bool LoggerAgentFile::openFile() {
  Settings& s = settings();
  const bool idle = state_ == kIdle;
  openTime_ = DateTime();
  const bool existed = FileOps::pathExists(path_);
  if (existed) {
    std::string opened;
    if (SystemInfo::getResource(baseName() + "LogOpened", opened) == 0) {
      openTime_ = DateTime(opened);
    }
  } else {
    s.initFlag.store(false);
  }
  if (idle && !lockFile()) return false;
  try {
    file_->open(kOpenFlags);
    open_ = true;
    if (idle) {
      state_ = kHeader;
      writeText(std::string(kCrLf) + "Vemora VERSION(6.5.0.0) REVISION(21508)" + kCrLf +
                    "Opened log file \"" + FileUtils::fileName(path_) + "\". Time: " + nowText() +
                    " " + ZoneInfo::toString(ZoneInfo::local()),
                true);
      state_ = kIdle;
    }
  } catch (...) {
    if (state_ == kHeader) state_ = kIdle;
    if (idle) unlockFile();
    throw;
  }
  if (!nextComputed_) {
    nextComputed_ = true;
    computeNextRotation();
  }
  if (idle) unlockFile();
  if (!existed) {
    SystemInfo::setResource(baseName() + "LogOpened", openTime_.toUtcString(true, false));
  }
  baseSeconds_ = openTime_.seconds();
  computeNextRotation();
  return true;
}

void LoggerAgentFile::checkRotation() {
  if (!open_ || state_ != kIdle) return;
  state_ = kChecking;
  std::string reason;
  if (shouldRotate(reason)) {
    writeText("\nRotate condition(s):" + reason, true);
    rotate();
  }
  state_ = kIdle;
}

bool LoggerAgentFile::shouldRotate(std::string& reason) {
  const int scheme = rotationScheme();
  if (scheme == 0) return false;
  const auto append = [&reason](const std::string& text) {
    if (!reason.empty()) reason += " AND";
    reason += text;
  };
  if ((scheme & kRotateInit) != 0 && settings().initFlag.load()) append(" Init");
  std::string timeReason;
  if (timeConditionMet(timeReason)) append(timeReason);
  std::string sizeReason;
  if (sizeConditionMet(sizeReason)) append(sizeReason);
  return !reason.empty();
}

bool LoggerAgentFile::timeConditionMet(std::string& reason) {
  if ((rotationScheme() & kRotateTime) == 0 || rotationTimeSeconds() <= 0) return false;
  const DateTime now;
  if (now < nextRotation_) return false;
  reason = " Time " + nextRotation_.toString(false, false) + " <= " + now.toString(false, false);
  return true;
}

bool LoggerAgentFile::sizeConditionMet(std::string& reason) {
  if ((rotationScheme() & kRotateSize) == 0) return false;
  const uint64_t mebibytes = static_cast<uint64_t>(file_->diskSize()) >> 20;
  const double limit = static_cast<double>(static_cast<unsigned int>(rotationSize())) * sizeFactor_;
  if (static_cast<double>(mebibytes) < limit) return false;
  reason = " Size " + StringOps::fromUInt64(mebibytes) + " >= " + StringOps::fromDouble(limit);
  return true;
}

void LoggerAgentFile::computeNextRotation() {
  if ((rotationScheme() & kRotateTime) == 0) return;
  const int32_t span = rotationTimeSeconds();
  if (span < 1) return;
  const int64_t next = static_cast<int64_t>(baseSeconds_) + span;
  if (next <= baseSeconds_ || next > INT32_MAX) return;
  baseSeconds_ = static_cast<int32_t>(next);
  DateTime candidate(static_cast<int32_t>(next));
  candidate.roundDownLocal(TimeSpan(span));
  const DateTime now;
  if (candidate < now.minus(TimeSpan(span))) {
    candidate = now;
    candidate.roundDownLocal(TimeSpan(span));
  }
  // Bounded: each step moves one span, and the instant range is finite.
  while (candidate < now && candidate.seconds() <= INT32_MAX - span) candidate += TimeSpan(span);
  nextRotation_ = candidate;
}

std::string LoggerAgentFile::rotatedName(const std::string& path) {
  Settings& s = settings();
  const std::string counterResource = baseName() + "LogCounter";
  std::string counter;
  {
    std::string stored;
    const bool read = SystemInfo::getResource(counterResource, stored) == 0;
    std::lock_guard<std::mutex> guard(s.lock);
    if (read) s.counterText = stored;
    counter = s.counterText;
  }
  const std::string ext = LogFileNames::extension(path);
  const std::string stem = LogFileNames::stem(path) + "_" + openTime_.toString(true, false) + "_";
  int32_t number = platform::atol32(counter.c_str());
  std::string name = stem + StringOps::fromInt(number) + (ext.empty() ? "" : "." + ext);
  // Never replace an older rotated log: take the next free counter.
  for (int tries = 0; FileOps::pathExists(name) && tries < 100000; ++tries) {
    ++number;
    name = stem + StringOps::fromInt(number) + (ext.empty() ? "" : "." + ext);
  }
  SystemInfo::setResource(counterResource, StringOps::fromInt(number + 1));
  return name;
}

void LoggerAgentFile::rotate() {
  if (!lockFile()) {
    state_ = kIdle;
    return;
  }
  state_ = kRotating;
  writeText("\nRotation process started...", true);
  const std::string oldPath = path_;
  const std::string newName = rotatedName(oldPath);
  writeText("Renaming file from \"" + oldPath + "\" to \"" + newName + "\".", true);
  closeLocked("Rotating log file");
  if (!FileUtils::move(oldPath, newName, true)) {
    sizeFactor_ += 0.25;
    writeText("Log file rotation error. (" + StringOps::fromUInt(platform::lastError()) + ")",
              true);
  } else {
    sizeFactor_ = 1.0;
    writeText("Log continued from \"" + FileUtils::fileName(newName) + "\".", true);
  }
  state_ = kIdle;
  unlockFile();
}

// ---- process-wide settings ----

void LoggerAgentFile::setBaseName(const std::string& name) {
  std::lock_guard<std::mutex> guard(settings().lock);
  settings().baseName = name;
}

std::string LoggerAgentFile::baseName() {
  std::lock_guard<std::mutex> guard(settings().lock);
  return settings().baseName;
}

void LoggerAgentFile::setRotationScheme(int scheme) {
  settings().scheme.store(scheme);
}

void LoggerAgentFile::addRotationScheme(int bits) {
  settings().scheme.fetch_or(bits);
}

int LoggerAgentFile::rotationScheme() {
  return settings().scheme.load();
}

void LoggerAgentFile::setRotationTime(const TimeSpan& span) {
  settings().rotationTime.store(span.seconds());
}

int LoggerAgentFile::rotationTimeSeconds() {
  return settings().rotationTime.load();
}

void LoggerAgentFile::setRotationSize(int mebibytes) {
  settings().rotationSize.store(mebibytes);
}

int LoggerAgentFile::rotationSize() {
  return settings().rotationSize.load();
}

void LoggerAgentFile::requestInitRotation() {
  settings().initFlag.store(true);
  settings().lastSeenTime.store(0);
  settings().lastSeenSize.store(0);
}

void LoggerAgentFile::resetSettings() {
  Settings& s = settings();
  {
    std::lock_guard<std::mutex> guard(s.lock);
    s.baseName = "core";
    s.counterText = "0";
  }
  s.scheme.store(0);
  s.rotationTime.store(0);
  s.rotationSize.store(0);
  s.initFlag.store(true);
  s.lastSeenTime.store(0);
  s.lastSeenSize.store(0);
}

}  // namespace Vemora
