// The shared library's abstract file: failures are thrown as FileException
// instead of returned. A writing open goes, unless told to write directly,
// to a temporary copy (name + ".tmp") that commit() renames over the file,
// and marks the file with a LockFile that other writers respect.
//
// Access flags of open(): kRead 1, kWrite 2, kTruncate 4, kWriteOption 8 (no
// further effect), kAppend 16, kDirect 32 (no temporary copy), kNoLock 64.
//
// One object is used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "common/LockFile.h"
#include "common/TimeSpan.h"

namespace Vemora {

class FileBase {
 public:
  enum Flags : uint16_t {
    kRead = 1,
    kWrite = 2,
    kTruncate = 4,
    kWriteOption = 8,
    kAppend = 16,
    kDirect = 32,
    kNoLock = 64,
  };

  explicit FileBase(const std::string& name);
  virtual ~FileBase();
  FileBase(const FileBase&) = delete;
  FileBase& operator=(const FileBase&) = delete;

  virtual void open(uint16_t flags) = 0;
  // Closes, unlocks and moves the temporary copy over the file (code 20 when
  // that keeps failing; the copy then stays beside the unchanged file).
  virtual void commit() = 0;
  // Closes and unlocks, dropping the temporary copy (and a file that the
  // open created).
  virtual void discard() = 0;
  // True when exactly `count` bytes were read.
  virtual bool read(std::string& out, uint64_t count) = 0;
  virtual int64_t readBytes(char* buffer, uint64_t count) = 0;
  virtual bool write(const std::string& text) = 0;
  virtual int64_t writeBytes(const char* buffer, uint64_t length) = 0;
  virtual std::string& readLine(std::string& out) = 0;
  virtual bool writeLine(const std::string& text) = 0;
  virtual bool flush() = 0;
  // origin 0 from the beginning, 2 from the end, else from the current
  // position. Returns the new position.
  virtual int64_t seek(int64_t offset, int origin) = 0;
  virtual int64_t tell();
  virtual bool atEnd();
  // Code 27 when the text holds a byte below 32 other than TAB, CR and LF.
  virtual void checkText(const std::string& text);

  const std::string& name() const { return name_; }
  // The name after its last separator.
  std::string fileName() const;
  // The size on disk of the file (not of its temporary copy).
  int64_t diskSize() const;
  bool isClosed() const { return closed_; }
  uint16_t flags() const { return flags_; }
  const LockFile* lock() const { return lock_.get(); }
  // How long a lock stays valid: 30 seconds unless changed.
  void setLockLifetime(const TimeSpan& lifetime) { lockLifetime_ = lifetime; }

 protected:
  std::string name_;
  bool temporary_ = false;
  uint16_t flags_ = 0;
  int64_t position_ = 0;
  bool end_ = false;
  bool closed_ = true;
  std::unique_ptr<LockFile> lock_;
  TimeSpan lockLifetime_{30};
};

}  // namespace Vemora
