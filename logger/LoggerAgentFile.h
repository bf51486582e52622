// The plain log-file agent: writes each line at once (CR LF ended) under a
// per-file lock that other processes respect, and rotates its file on
// three conditions: init (rotate once at start-up), time (at each boundary
// of the rotation time, local time) and size (at the rotation size in
// MiB). A rotated file is renamed to <stem>_<open time>_<counter>.<ext>;
// the counter and the first opening time live in the registry resources
// <base name>"LogCounter" and <base name>"LogOpened".
//
// Thread-safety: writeLine, setFile and close may be called from any
// thread; each takes the agent's lock for the whole rotation check,
// rotation and write. The process-wide settings are plain values written
// during start-up and configuration, before other threads log.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "common/DateTime.h"
#include "common/SmartPointer.h"
#include "common/TimeSpan.h"
#include "logger/LoggerAgent.h"

namespace Vemora {

class FileBase;
class Monopoly;

class LoggerAgentFile : public LoggerAgent {
 public:
  static constexpr int kRotateInit = 1;
  static constexpr int kRotateTime = 2;
  static constexpr int kRotateSize = 4;

  // Sets the process-wide rotation size to 10 (MiB).
  LoggerAgentFile();
  LoggerAgentFile(const LoggerAgentFile&) = delete;
  LoggerAgentFile& operator=(const LoggerAgentFile&) = delete;
  // Closes the file with the reason "Quitting Logger Agent".
  ~LoggerAgentFile() override;

  // "file:///" followed by the file's path.
  std::string target() override;
  // Appends the line and CR LF (opening the file and writing its header
  // first when needed); false when the line was lost.
  bool writeLine(const std::string& line) override;
  // Switches to another path (nothing for the current one); the old file is
  // closed with a note naming the new one, and the new one starts with a
  // note naming the old. False when the file object cannot be made.
  bool setFile(const std::string& path);
  // Writes the closing note with the reason and closes the file.
  void close(const std::string& reason);
  std::string path() const;

  // ---- process-wide rotation settings ----
  static void setBaseName(const std::string& name);
  static std::string baseName();
  static void setRotationScheme(int scheme);
  static void addRotationScheme(int bits);
  static int rotationScheme();
  static void setRotationTime(const TimeSpan& span);
  static int rotationTimeSeconds();
  static void setRotationSize(int mebibytes);
  static int rotationSize();
  // Raises the init flag and forgets the last-seen time and size.
  static void requestInitRotation();
  // Back to the state of a freshly started process (tests).
  static void resetSettings();

 private:
  enum State { kIdle = 0, kChecking = 1, kRotating = 2, kHeader = 3 };

  bool writeText(const std::string& text, bool inner);
  bool openFile();
  bool writeRaw(const std::string& text);
  bool lockFile();
  void unlockFile();
  void checkRotation();
  bool shouldRotate(std::string& reason);
  bool timeConditionMet(std::string& reason);
  bool sizeConditionMet(std::string& reason);
  void computeNextRotation();
  void rotate();
  std::string rotatedName(const std::string& path);
  void closeLocked(const std::string& reason);

  mutable std::recursive_mutex lock_;  // the in-process lock
  SmartPointer<FileBase> file_;
  bool open_ = false;
  std::string path_;
  std::string lockName_;
  Monopoly* fileLock_ = nullptr;  // the named per-file lock while held
  DateTime openTime_;
  DateTime nextRotation_;
  bool nextComputed_ = false;
  int state_ = kIdle;
  double sizeFactor_ = 1.0;
  int32_t baseSeconds_ = 0;
};

}  // namespace Vemora
