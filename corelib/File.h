// A text file chosen by its name: a gzip file (ZFile) when the text after
// the last '.' is "gz" in any case, else a plain stdio file (BasicFile).
// Every operation forwards to the one it holds; nothing throws.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace VemoraCorelib {

class BasicFile;
class ZFile;

class File {
 public:
  enum Kind { Plain = 1, Gzip = 2 };

  // Picks the kind and allocates the implementation; opens nothing.
  explicit File(const std::string& name);
  // Closes an open file.
  virtual ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  static Kind kindOf(const std::string& name);
  Kind kind() const { return kind_; }

  // False when already open or the open fails.
  bool openRead();
  bool openWrite();
  // False when not open or the close fails.
  bool close();
  bool isReading() const;
  bool isWriting() const;
  // A line up to `delimiter` (not stored). Plain: CR bytes never reach
  // `out`; gzip: they stay.
  bool readLine(std::string& out, char delimiter);
  // UTF-16 units, byte-order marks dropped; plain kind only.
  bool readLine(std::wstring& out, wchar_t delimiter);
  bool eof() const;
  bool write(const std::string& text);
  // Plain kind only.
  bool write(const std::wstring& text);
  // The name given; "" without an implementation.
  std::string name() const;
  // Line counter: 1 after an open, +1 for every LF read; 0 without an
  // implementation. A read that gives nothing and leaves it unchanged has
  // consumed no line end.
  int64_t line() const;

 private:
  Kind kind_;
  std::unique_ptr<BasicFile> basic_;
  std::unique_ptr<ZFile> gzip_;
};

}  // namespace VemoraCorelib
