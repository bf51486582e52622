// A plain stdio file opened by its wide name, read and written through the
// FileTools byte and UTF-16 primitives. Line counter: 1 after each open, +1
// for every LF read.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace VemoraCorelib {

class BasicFile {
 public:
  explicit BasicFile(const std::string& name);
  virtual ~BasicFile();
  BasicFile(const BasicFile&) = delete;
  BasicFile& operator=(const BasicFile&) = delete;

  bool openRead();
  bool openWrite();
  bool close();
  bool isReading() const { return (state_ & 2) != 0; }
  bool isWriting() const { return (state_ & 4) != 0; }
  // True when not open, at the end of the file or after a stream error.
  bool eof() const;
  bool readLine(std::string& out, char delimiter);
  bool readLine(std::wstring& out, wchar_t delimiter);
  bool write(const std::string& text);
  bool write(const std::wstring& text);

  const std::string& name() const { return name_; }
  const std::wstring& wideName() const { return wideName_; }
  int64_t line() const { return line_; }
  int64_t lineAtReadStart() const { return lineAtReadStart_; }

 private:
  bool open(std::FILE* file, int state);

  std::string name_;
  std::wstring wideName_;
  std::FILE* handle_ = nullptr;
  int64_t line_ = 0;
  int64_t lineAtReadStart_ = 0;
  int state_ = 0;
  wchar_t skippedUnit_ = 0xFEFF;
};

}  // namespace VemoraCorelib
