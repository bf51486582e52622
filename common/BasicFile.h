// A binary file with numbered open modes, a size measured at open, one
// position, an end-of-file flag and a last-error code instead of
// exceptions. Nothing here throws or logs.
//
// Modes: 0 nothing opened; 1 read; 2 write (truncate); 3 write, append;
// 4 read and write; 5 read and write, truncate; 6 read and write, append
// (reading lines and bytes is allowed in modes 1, 4 and 5 only). Every open
// is binary and shared with other openers for reading and writing.
//
// lastError() after a call: 0 success, 1 not open, 2 already open, 3 mode
// above 6, 4 open failed, 5 bad seek origin, 6 reading not allowed, 7 read
// failure, 8 writing not allowed, 9 write failure, 10 already at the end,
// 11 no direction to seek in, 12 seek failed.
//
// One object is used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {
class File;
}

namespace Vemora {

class BasicFile {
 public:
  enum Direction { kRead = 0, kWrite = 1, kLast = 2, kBoth = 3 };
  enum Origin { kFromBegin = 0, kFromEnd = 1, kFromCurrent = 2 };

  BasicFile();
  virtual ~BasicFile();
  BasicFile(const BasicFile&) = delete;
  BasicFile& operator=(const BasicFile&) = delete;

  // Error 2 when already open (the open file stays), 3 for a mode above 6,
  // 4 when the file cannot be opened; mode 0 succeeds and opens nothing.
  bool open(const std::string& path, int mode);
  // Closes when open; afterwards mode 0 and the end flag set.
  void close();

  // Reads up to `count` bytes (never past the size measured at open plus
  // what was written) into `out`. A count of 0 gives "" and true. Error 10
  // when the end flag is already set.
  bool read(std::string& out, uint64_t count);
  // The next line without its '\n'; every '\r' is dropped. "" with error 1,
  // 6 or 10 (end flag set), or 7 on a read failure.
  std::string readLine();

  // Error 9 on failure: the position and size stay as they were.
  bool write(const std::string& text);
  // write(text), then write("\n").
  bool writeLine(const std::string& text);
  // Writes are handed to the system at once, so this only checks the mode.
  bool flush();

  // origin: kFromBegin, kFromEnd, kFromCurrent (else error 5); direction:
  // kRead, kWrite, kBoth or kLast (error 11 when there was none). A read
  // seek needs mode 1, 4 or 5, a write seek 2 to 5: in another mode false
  // without an error code. A position before the start is error 12 and
  // keeps the old position. Afterwards the end flag says position >= size.
  bool seek(int64_t offset, int origin, int direction);
  // The position; -1 and error 1 when closed.
  int64_t tell(int direction);
  // Position == size for a direction the mode allows; else the end flag.
  bool atEnd(int direction);

  // -1 and error 1 when closed.
  int64_t size();
  const std::string& path() const { return path_; }
  int mode() const { return mode_; }
  bool isClosed() const { return mode_ == 0; }
  int lastError() const { return lastError_; }

 private:
  bool canRead() const { return mode_ == 1 || mode_ == 4 || mode_ == 5; }
  bool canWrite() const { return mode_ >= 2 && mode_ <= 6; }
  bool appends() const { return mode_ == 3 || mode_ == 6; }
  bool fail(int code);

  std::string path_;
  int mode_ = 0;
  std::unique_ptr<platform::File> file_;
  int64_t size_ = 0;
  int64_t position_ = 0;
  int direction_ = -1;  // -1: none since the open
  bool atEnd_ = true;
  int lastError_ = 0;
};

}  // namespace Vemora
