#include "common/BasicFile.h"

#include <algorithm>

#include "platform/File.h"

namespace Vemora {

namespace {

constexpr size_t kReadChunk = 1024;
constexpr size_t kLineChunk = 256;

uint32_t flagsOfMode(int mode) {
  using platform::File;
  switch (mode) {
    case 1:
      return File::kRead;
    case 2:
      return File::kWrite | File::kCreate | File::kTruncate;
    case 3:
      return File::kWrite | File::kCreate | File::kAppend;
    case 4:
      return File::kRead | File::kWrite;
    case 5:
      return File::kRead | File::kWrite | File::kCreate | File::kTruncate;
    default:
      return File::kRead | File::kWrite | File::kCreate | File::kAppend;
  }
}

}  // namespace

BasicFile::BasicFile() = default;

BasicFile::~BasicFile() {
  close();
}

bool BasicFile::fail(int code) {
  lastError_ = code;
  return false;
}

bool BasicFile::open(const std::string& path, int mode) {
  lastError_ = 0;
  if (mode_ != 0) return fail(2);
  if (mode == 0) return true;
  if (mode < 0 || mode > 6) return fail(3);
  std::unique_ptr<platform::File> file = platform::File::open(path, flagsOfMode(mode));
  if (!file) return fail(4);
  const int64_t size = file->size();
  if (size < 0) return fail(4);
  file_ = std::move(file);
  path_ = path;
  mode_ = mode;
  size_ = size;
  position_ = 0;
  atEnd_ = size_ == position_;
  direction_ = mode == 1 ? kRead : kWrite;
  return true;
}

void BasicFile::close() {
  lastError_ = 0;
  if (file_) file_->close();
  file_.reset();
  mode_ = 0;
  direction_ = -1;
  atEnd_ = true;
  position_ = 0;
}

bool BasicFile::read(std::string& out, uint64_t count) {
  lastError_ = 0;
  if (mode_ == 0) return fail(1);
  if (!canRead()) return fail(6);
  if (count == 0) {
    out.clear();
    return true;
  }
  if (atEnd_) return fail(10);
  const uint64_t left = size_ > position_ ? static_cast<uint64_t>(size_ - position_) : 0;
  const uint64_t wanted = std::min(count, left);
  std::string text;
  char chunk[kReadChunk];
  while (text.size() < wanted) {
    const size_t length = static_cast<size_t>(std::min<uint64_t>(kReadChunk, wanted - text.size()));
    const int64_t n = file_->readAt(static_cast<uint64_t>(position_) + text.size(), chunk, length);
    if (n < 0) return fail(7);  // the position stays where it was
    if (n == 0) {
      // The file is shorter than it was: the read position goes to its end.
      atEnd_ = true;
      break;
    }
    text.append(chunk, static_cast<size_t>(n));
  }
  position_ += static_cast<int64_t>(text.size());
  direction_ = kRead;
  if (position_ >= size_) atEnd_ = true;
  out.swap(text);
  return true;
}

std::string BasicFile::readLine() {
  lastError_ = 0;
  if (mode_ == 0) return fail(1), std::string();
  if (!canRead()) return fail(6), std::string();
  if (atEnd_) return fail(10), std::string();
  std::string line;
  int64_t position = position_;
  int64_t taken = 0;  // characters read, at most the size
  char chunk[kLineChunk];
  bool done = false;
  while (!done && taken < size_) {
    const size_t length = static_cast<size_t>(std::min<int64_t>(kLineChunk, size_ - taken));
    const int64_t n = file_->readAt(static_cast<uint64_t>(position), chunk, length);
    if (n < 0) return fail(7), std::string();
    if (n == 0) {
      atEnd_ = true;
      break;
    }
    for (int64_t i = 0; i < n; ++i) {
      ++position;
      ++taken;
      const char c = chunk[i];
      if (c == '\n') {
        done = true;
        break;
      }
      if (c != '\r') line.push_back(c);
    }
  }
  position_ = position;
  direction_ = kRead;
  if (position_ >= size_) atEnd_ = true;
  return line;
}

bool BasicFile::write(const std::string& text) {
  lastError_ = 0;
  if (mode_ == 0) return fail(1);
  if (!canWrite()) return fail(8);
  if (!file_->writeAt(static_cast<uint64_t>(position_), text.data(), text.size())) return fail(9);
  const int64_t length = static_cast<int64_t>(text.size());
  if (appends()) {
    // Appends land at the end, whatever the position was.
    size_ += length;
    position_ = size_;
  } else {
    position_ += length;
    size_ = std::max(size_, position_);
  }
  direction_ = kWrite;
  return true;
}

bool BasicFile::writeLine(const std::string& text) {
  return write(text) && write("\n");
}

bool BasicFile::flush() {
  lastError_ = 0;
  if (mode_ == 0) return fail(1);
  if (!canWrite()) return fail(8);
  return true;
}

bool BasicFile::seek(int64_t offset, int origin, int direction) {
  lastError_ = 0;
  if (mode_ == 0) return fail(1);
  if (origin < kFromBegin || origin > kFromCurrent) return fail(5);
  if (direction == kLast) {
    if (direction_ < 0) return fail(11);
    direction = direction_;
  }
  const bool readSeek = direction == kRead || direction == kBoth;
  const bool writeSeek = direction == kWrite || direction == kBoth;
  if (!readSeek && !writeSeek) return false;
  if (readSeek && !canRead()) return false;
  if (writeSeek && (mode_ < 2 || mode_ > 5)) return false;
  const int64_t base = origin == kFromBegin ? 0 : origin == kFromEnd ? size_ : position_;
  int64_t target;
  if (__builtin_add_overflow(base, offset, &target) || target < 0) return fail(12);
  position_ = target;
  direction_ = writeSeek && !readSeek ? kWrite : kRead;
  atEnd_ = position_ >= size_;
  return true;
}

int64_t BasicFile::tell(int /*direction*/) {
  lastError_ = 0;
  if (mode_ == 0) return fail(1), -1;
  // Reads and writes share one position, as in a file stream.
  return position_;
}

bool BasicFile::atEnd(int direction) {
  lastError_ = 0;
  if (mode_ != 0) {
    const bool reads = mode_ == 1 || mode_ == 4 || mode_ == 5 || mode_ == 6;
    if ((direction == kRead && reads) || (direction == kWrite && canWrite())) {
      return position_ == size_;
    }
  }
  return atEnd_;
}

int64_t BasicFile::size() {
  lastError_ = 0;
  if (mode_ == 0) return fail(1), -1;
  return size_;
}

}  // namespace Vemora
