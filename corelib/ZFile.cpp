#include "corelib/ZFile.h"

#include <zlib.h>

#include <algorithm>

#include "corelib/StringTools.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"

namespace VemoraCorelib {

namespace {

gzFile handleOf(void* handle) {
  return static_cast<gzFile>(handle);
}

// The largest piece handed to one gzwrite (its length is an unsigned int).
constexpr std::size_t kWritePiece = 1u << 30;

}  // namespace

ZFile::ZFile(const std::string& name) : name_(name), wideName_(StringTools::convert(name)) {}

ZFile::~ZFile() {
  if (handle_ != nullptr) close();
}

bool ZFile::open(const char* mode, int state) {
  if (handle_ != nullptr) return false;
  const uint32_t attributes = platform::fileAttributes(name_);
  if (attributes != platform::kInvalidFileAttributes &&
      (attributes & platform::kFileAttributeDirectory) != 0) {
    return false;  // a folder is never opened as a file
  }
  const std::optional<std::string> native = platform::toNativePath(name_);
  if (!native || native->empty()) return false;
  gzFile file = gzopen(native->c_str(), mode);
  if (file == nullptr) return false;
  handle_ = file;
  line_ = 1;
  lineAtReadStart_ = 0;
  byteCount_ = 0;
  state_ = state;
  return true;
}

bool ZFile::openRead() {
  return open("rb", 3);
}

bool ZFile::openWrite() {
  return open("wb", 5);
}

bool ZFile::close() {
  if (handle_ == nullptr) return false;
  // gzclose frees the handle whatever it reports.
  const bool closed = gzclose(handleOf(handle_)) == Z_OK;
  handle_ = nullptr;
  line_ = 0;
  lineAtReadStart_ = 0;
  byteCount_ = 0;
  state_ = 0;
  return closed;
}

bool ZFile::eof() const {
  return handle_ == nullptr || gzeof(handleOf(handle_)) != 0;
}

bool ZFile::readLine(std::string& out, char delimiter) {
  if (!isReading() || eof()) return false;
  lineAtReadStart_ = line_;
  out.clear();
  gzFile file = handleOf(handle_);
  while (gzeof(file) == 0) {
    const int c = gzgetc(file);
    if (c == -1) break;
    ++byteCount_;
    if (c == '\n') ++line_;
    if (static_cast<char>(c) == delimiter) break;
    out += static_cast<char>(c);
  }
  return true;
}

bool ZFile::write(const std::string& text) {
  if (!isWriting()) return false;
  gzFile file = handleOf(handle_);
  for (std::size_t done = 0; done < text.size();) {
    const auto piece = static_cast<unsigned>(std::min(kWritePiece, text.size() - done));
    const int written = gzwrite(file, text.data() + done, piece);
    if (written <= 0) return false;
    done += static_cast<std::size_t>(written);
    byteCount_ += static_cast<uint64_t>(written);
  }
  return true;
}

}  // namespace VemoraCorelib
