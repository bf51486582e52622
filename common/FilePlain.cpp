#include "common/FilePlain.h"

#include "common/FileException.h"
#include "common/FileOps.h"
#include "common/FileUtils.h"
#include "common/TimeException.h"
#include "platform/Clock.h"

namespace Vemora {

namespace {

int basicMode(uint16_t flags) {
  const bool read = flags & FileBase::kRead;
  const bool write = flags & FileBase::kWrite;
  if (read && write) {
    if (flags & FileBase::kAppend) return 6;
    return (flags & FileBase::kTruncate) ? 5 : 4;
  }
  if (read) return 1;
  if (write) return (flags & FileBase::kAppend) ? 3 : 2;
  return 0;
}

}  // namespace

FilePlain::FilePlain(const std::string& name) : FileBase(name) {}

FilePlain::~FilePlain() {
  if (closed_) return;
  try {
    commit();
  } catch (const Exception&) {
    // A destructor must not throw; the temporary copy stays for inspection.
  }
}

void FilePlain::fail(int code, int line) const {
  throw FileException(code, name_, __FILE__, line);
}

void FilePlain::failWrite(int line) const {
  throw FileException(FileException::kWrite,
                      name_ + " - BFile error: " + std::to_string(file_.lastError()) +
                          " - Access: " + std::to_string(file_.mode()),
                      __FILE__, line);
}

void FilePlain::open(uint16_t flags) {
  try {
    openLocked(flags);
  } catch (FileException& e) {
    e.addTrace(__FILE__, __LINE__);
    throw;
  } catch (TimeException& e) {
    e.addTrace(__FILE__, __LINE__);
    throw;
  }
}

void FilePlain::openLocked(uint16_t flags) {
  if (!closed_) fail(FileException::kIsOpen, __LINE__);
  const bool read = flags & kRead;
  const bool write = flags & kWrite;
  if (read && !write && (flags & (kTruncate | kWriteOption | kAppend))) {
    fail(FileException::kAccessCombination, __LINE__);
  }
  if ((flags & kTruncate) && (flags & kAppend)) fail(FileException::kAccessCombination, __LINE__);
  if (read && !write && !FileOps::pathExists(name_)) {
    throw FileException(FileException::kExistsNot, name_ + "-->File does not exist.", __FILE__,
                        __LINE__);
  }
  const int mode = basicMode(flags);
  if (mode == 0) fail(FileException::kAccessCombination, __LINE__);
  bool copied = false;
  // What an earlier open left (its lock, a copy a failed commit kept) says
  // nothing about this one.
  created_ = false;
  temporary_ = false;
  if (write && !(flags & kNoLock)) takeLock(flags & kDirect, copied);
  const std::string path = temporary_ ? temporaryName() : name_;
  if (!file_.open(path, mode)) {
    cleanUp();
    if (copied) FileUtils::deleteFile(temporaryName(), true);
    temporary_ = false;
    throw FileException(FileException::kCannotOpen, path, __FILE__, __LINE__);
  }
  closed_ = false;
  flags_ = flags;
  position_ = 0;
  end_ = false;
  // Appending writes always land at the end; the position reports it.
  if (flags & kAppend) position_ = file_.size();
}

void FilePlain::takeLock(bool direct, bool& copied) {
  lock_ = std::make_unique<LockFile>(name_);
  if (lock_->present() && !lock_->unlock()) {
    lock_.reset();
    fail(FileException::kIsLocked, __LINE__);
  }
  if (!direct) {
    if (FileOps::pathExists(name_)) {
      if (!FileUtils::copy(name_, temporaryName(), true)) {
        lock_.reset();
        fail(FileException::kCannotCopy, __LINE__);
      }
      copied = true;
    }
    temporary_ = true;
  }
  created_ = !lock_->existedBefore();
  if (!lock_->lockFor(lockLifetime_, !direct)) {
    created_ = false;
    if (copied) FileUtils::deleteFile(temporaryName(), true);
    temporary_ = false;
    lock_.reset();
    fail(FileException::kCannotLock, __LINE__);
  }
}

void FilePlain::cleanUp() {
  const bool created = created_;
  created_ = false;
  if (lock_) {
    const bool unlocked = lock_->unlock();
    if (created) FileUtils::deleteFile(name_, false);
    lock_.reset();
    if (!unlocked) fail(FileException::kCannotUnlock, __LINE__);
  }
  // Only a temporary copy of this open is ours to delete.
  if (temporary_) FileUtils::deleteFile(temporaryName(), true);
}

void FilePlain::markClosed() {
  closed_ = true;
  flags_ = 0;
  position_ = 0;
}

void FilePlain::commit() {
  if (closed_) return;
  file_.close();
  if (lock_ && !lock_->unlock()) {
    markClosed();
    fail(FileException::kCannotUnlock, __LINE__);
  }
  markClosed();
  created_ = false;
  if (!temporary_) return;
  for (int attempt = 0; attempt < kCommitAttempts; ++attempt) {
    if (FileOps::move(temporaryName(), name_, true)) {
      temporary_ = false;
      return;
    }
    platform::sleepMs(kCommitRetryMs);
  }
  throw FileException(FileException::kRename, "Failed to update the file \"" + name_ + "\"",
                      __FILE__, __LINE__);
}

void FilePlain::discard() {
  if (closed_) return;
  file_.close();
  const bool unlocked = !lock_ || lock_->unlock();
  if (created_) FileUtils::deleteFile(name_, false);
  created_ = false;
  markClosed();
  if (temporary_) {
    FileUtils::deleteFile(temporaryName(), true);
    temporary_ = false;
  }
  if (!unlocked) fail(FileException::kCannotUnlock, __LINE__);
}

int64_t FilePlain::readBytes(char* buffer, uint64_t count) {
  if (closed_) fail(FileException::kIsClosed, __LINE__);
  if (!(flags_ & kRead)) fail(FileException::kCannotRead, __LINE__);
  if (atEnd()) fail(FileException::kEof, __LINE__);
  std::string chunk;
  if (!file_.read(chunk, count) && file_.lastError() != 10) fail(FileException::kRead, __LINE__);
  chunk.copy(buffer, chunk.size());
  position_ += static_cast<int64_t>(chunk.size());
  return static_cast<int64_t>(chunk.size());
}

bool FilePlain::read(std::string& out, uint64_t count) {
  out.clear();
  if (!file_.read(out, count)) fail(FileException::kRead, __LINE__);
  position_ += static_cast<int64_t>(out.size());
  return out.size() == count;
}

std::string& FilePlain::readLine(std::string& out) {
  if (closed_) fail(FileException::kIsClosed, __LINE__);
  if (!(flags_ & kRead)) fail(FileException::kCannotRead, __LINE__);
  if (atEnd()) fail(FileException::kEof, __LINE__);
  out = file_.readLine();
  const int error = file_.lastError();
  if (error != 0 && error != 10) fail(FileException::kRead, __LINE__);
  return out;
}

int64_t FilePlain::writeBytes(const char* buffer, uint64_t length) {
  if (closed_) fail(FileException::kIsClosed, __LINE__);
  if (!(flags_ & kWrite)) fail(FileException::kCannotWrite, __LINE__);
  if (!file_.write(std::string(buffer, length))) failWrite(__LINE__);
  position_ += static_cast<int64_t>(length);
  return static_cast<int64_t>(length);
}

bool FilePlain::write(const std::string& text) {
  if (!file_.write(text)) failWrite(__LINE__);
  return true;
}

bool FilePlain::writeLine(const std::string& text) {
  if (!file_.writeLine(text)) failWrite(__LINE__);
  return true;
}

bool FilePlain::flush() {
  if (closed_) fail(FileException::kIsClosed, __LINE__);
  if (!(flags_ & kWrite)) fail(FileException::kCannotWrite, __LINE__);
  if (!file_.flush()) fail(FileException::kFlush, __LINE__);
  return true;
}

int64_t FilePlain::seek(int64_t offset, int origin) {
  if (closed_) fail(FileException::kIsClosed, __LINE__);
  const int basicOrigin = origin == 0   ? BasicFile::kFromBegin
                          : origin == 2 ? BasicFile::kFromEnd
                                        : BasicFile::kFromCurrent;
  if (!file_.seek(offset, basicOrigin, BasicFile::kLast)) fail(FileException::kPosition, __LINE__);
  position_ = file_.tell(BasicFile::kLast);
  return position_;
}

int64_t FilePlain::tell() {
  // Every write of an appending open lands at the end, and it cannot seek.
  if (!closed_ && (flags_ & kAppend)) return file_.size();
  const int64_t at = file_.tell(BasicFile::kLast);
  return at < 0 ? position_ : at;
}

bool FilePlain::atEnd() {
  return file_.atEnd(BasicFile::kLast);
}

}  // namespace Vemora
