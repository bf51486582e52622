#include "corelib/BasicFile.h"

#include "corelib/FileTools.h"
#include "corelib/StringTools.h"

namespace VemoraCorelib {

BasicFile::BasicFile(const std::string& name)
    : name_(name), wideName_(StringTools::convert(name)) {}

BasicFile::~BasicFile() {
  if (handle_ != nullptr) close();
}

bool BasicFile::open(std::FILE* file, int state) {
  if (file == nullptr) return false;
  handle_ = file;
  line_ = 1;
  lineAtReadStart_ = 0;
  state_ = state;
  return true;
}

bool BasicFile::openRead() {
  if (handle_ != nullptr) return false;
  return open(FileTools::openForRead(wideName_), 3);
}

bool BasicFile::openWrite() {
  if (handle_ != nullptr) return false;
  return open(FileTools::openForWrite(wideName_), 5);
}

bool BasicFile::close() {
  if (handle_ == nullptr) return false;
  // The stream is gone after fclose whatever it reports, so the handle is
  // dropped in either case; only the result tells the failure.
  const bool closed = std::fclose(handle_) == 0;
  handle_ = nullptr;
  line_ = 0;
  lineAtReadStart_ = 0;
  state_ = 0;
  return closed;
}

bool BasicFile::eof() const {
  return handle_ == nullptr || std::feof(handle_) != 0 || std::ferror(handle_) != 0;
}

bool BasicFile::readLine(std::string& out, char delimiter) {
  if (eof()) return false;
  lineAtReadStart_ = line_;
  out.clear();
  char byte;
  while (FileTools::readByte(handle_, byte)) {
    if (byte == '\n') ++line_;
    if (byte == delimiter) return true;
    out += byte;
  }
  return !out.empty();
}

bool BasicFile::readLine(std::wstring& out, wchar_t delimiter) {
  if (eof()) return false;
  lineAtReadStart_ = line_;
  out.clear();
  wchar_t unit;
  while (FileTools::readUnit16(handle_, unit)) {
    if (unit == skippedUnit_) continue;
    if (unit == L'\n') ++line_;
    if (unit == delimiter) return true;
    out += unit;
  }
  return true;
}

bool BasicFile::write(const std::string& text) {
  return handle_ != nullptr && FileTools::writeText(handle_, text);
}

bool BasicFile::write(const std::wstring& text) {
  return handle_ != nullptr && FileTools::writeText(handle_, text);
}

}  // namespace VemoraCorelib
