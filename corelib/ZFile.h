// A gzip file through zlib's gz functions, opened by its narrow name. Lines
// keep their CR bytes. Line counter: 1 after each open, +1 for every LF.
#pragma once

#include <cstdint>
#include <string>

namespace VemoraCorelib {

class ZFile {
 public:
  explicit ZFile(const std::string& name);
  virtual ~ZFile();
  ZFile(const ZFile&) = delete;
  ZFile& operator=(const ZFile&) = delete;

  bool openRead();
  bool openWrite();
  bool close();
  bool isReading() const { return (state_ & 2) != 0; }
  bool isWriting() const { return (state_ & 4) != 0; }
  // True when not open or at the end of the data.
  bool eof() const;
  bool readLine(std::string& out, char delimiter);
  bool write(const std::string& text);

  const std::string& name() const { return name_; }
  int64_t line() const { return line_; }
  int64_t lineAtReadStart() const { return lineAtReadStart_; }
  uint64_t byteCount() const { return byteCount_; }

 private:
  bool open(const char* mode, int state);

  std::string name_;
  std::wstring wideName_;
  void* handle_ = nullptr;  // gzFile
  int64_t line_ = 0;
  int64_t lineAtReadStart_ = 0;
  int state_ = 0;
  uint64_t byteCount_ = 0;
};

}  // namespace VemoraCorelib
