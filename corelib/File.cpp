#include "corelib/File.h"

#include <new>

#include "corelib/BasicFile.h"
#include "corelib/StringTools.h"
#include "corelib/ZFile.h"

namespace VemoraCorelib {

File::Kind File::kindOf(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos) return Plain;
  std::string extension = name.substr(dot + 1);
  return StringTools::toLower(extension) == "gz" ? Gzip : Plain;
}

File::File(const std::string& name) : kind_(kindOf(name)) {
  if (kind_ == Gzip) {
    gzip_.reset(new (std::nothrow) ZFile(name));
  } else {
    basic_.reset(new (std::nothrow) BasicFile(name));
  }
}

File::~File() {
  close();
}

bool File::openRead() {
  if (basic_) return basic_->openRead();
  return gzip_ && gzip_->openRead();
}

bool File::openWrite() {
  if (basic_) return basic_->openWrite();
  return gzip_ && gzip_->openWrite();
}

bool File::close() {
  if (basic_) return basic_->close();
  return gzip_ && gzip_->close();
}

bool File::isReading() const {
  if (basic_) return basic_->isReading();
  return gzip_ && gzip_->isReading();
}

bool File::isWriting() const {
  if (basic_) return basic_->isWriting();
  return gzip_ && gzip_->isWriting();
}

bool File::readLine(std::string& out, char delimiter) {
  if (basic_) return basic_->readLine(out, delimiter);
  return gzip_ && gzip_->readLine(out, delimiter);
}

bool File::readLine(std::wstring& out, wchar_t delimiter) {
  return basic_ && basic_->readLine(out, delimiter);
}

bool File::eof() const {
  if (basic_) return basic_->eof();
  return gzip_ && gzip_->eof();
}

bool File::write(const std::string& text) {
  if (basic_) return basic_->write(text);
  return gzip_ && gzip_->write(text);
}

bool File::write(const std::wstring& text) {
  return basic_ && basic_->write(text);
}

std::string File::name() const {
  if (basic_) return basic_->name();
  return gzip_ ? gzip_->name() : std::string();
}

int64_t File::line() const {
  if (basic_) return basic_->line();
  return gzip_ ? gzip_->line() : 0;
}

}  // namespace VemoraCorelib
