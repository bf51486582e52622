// FileBase over a BasicFile on the local file system.
#pragma once

#include <string>

#include "common/BasicFile.h"
#include "common/FileBase.h"

namespace Vemora {

class FilePlain : public FileBase {
 public:
  explicit FilePlain(const std::string& name);
  // An open file is committed first; a failure of that commit is dropped
  // (the temporary copy then stays beside the unchanged file).
  ~FilePlain() override;

  void open(uint16_t flags) override;
  void commit() override;
  void discard() override;
  bool read(std::string& out, uint64_t count) override;
  int64_t readBytes(char* buffer, uint64_t count) override;
  bool write(const std::string& text) override;
  int64_t writeBytes(const char* buffer, uint64_t length) override;
  std::string& readLine(std::string& out) override;
  bool writeLine(const std::string& text) override;
  bool flush() override;
  int64_t seek(int64_t offset, int origin) override;
  int64_t tell() override;
  bool atEnd() override;

  // Calls of FileOps::move a commit makes before it gives up, and the pause
  // after each failed one.
  static constexpr int kCommitAttempts = 10;
  static constexpr uint32_t kCommitRetryMs = 2000;

 private:
  void openLocked(uint16_t flags);
  void takeLock(bool direct, bool& copied);
  void cleanUp();
  void markClosed();
  [[noreturn]] void fail(int code, int line) const;
  [[noreturn]] void failWrite(int line) const;
  std::string temporaryName() const { return name_ + ".tmp"; }

  BasicFile file_;
  // The current open made the file (it took a lock and the file did not
  // exist): only then may discard or a failed open delete it.
  bool created_ = false;
};

}  // namespace Vemora
