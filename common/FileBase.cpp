#include "common/FileBase.h"

#include "common/FileException.h"
#include "common/FileUtils.h"

namespace Vemora {

FileBase::FileBase(const std::string& name) : name_(name) {}

FileBase::~FileBase() = default;

int64_t FileBase::tell() {
  return position_;
}

bool FileBase::atEnd() {
  return end_;
}

void FileBase::checkText(const std::string& text) {
  for (unsigned char c : text) {
    if (c < 32 && c != '\t' && c != '\r' && c != '\n') {
      throw FileException(FileException::kTextCheck, name_, __FILE__, __LINE__);
    }
  }
}

std::string FileBase::fileName() const {
  return FileUtils::fileName(name_);
}

int64_t FileBase::diskSize() const {
  return FileUtils::fileSize(name_);
}

}  // namespace Vemora
