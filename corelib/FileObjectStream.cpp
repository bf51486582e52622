#include "corelib/FileObjectStream.h"

#include <cstring>
#include <new>

#include "corelib/File.h"
#include "corelib/FileTools.h"
#include "corelib/ParamStream.h"
#include "corelib/StringTools.h"
#include "platform/File.h"

namespace VemoraCorelib {

namespace {

constexpr unsigned kMoveChunk = 4096;

ParamStream nameArgument(const std::string& name) {
  ParamStream arguments;
  arguments << name;
  return arguments;
}

// Allocates the File for `name`; null when memory ran out.
std::unique_ptr<File> makeFile(const std::string& name) {
  try {
    return std::make_unique<File>(name);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

bool syncFile(const std::string& path) {
  const std::unique_ptr<platform::File> file = platform::File::open(path, platform::File::kRead);
  return file && file->sync() && file->close();
}

template <class Text>
bool isSkipped(const Text& line) {
  return line.empty() || line[0] == '#';
}

}  // namespace

FileObjectStream::FileObjectStream() = default;

FileObjectStream::~FileObjectStream() {
  if (!file_ || !ownsFile_) return;
  try {
    close();
  } catch (...) {
    // Nothing can be reported from here; close has already made sure that
    // an unfinished text never replaces the final file.
  }
}

void FileObjectStream::requireNoFile() const {
  if (file_) throw OpenOut_AlreadyOpen("", VEMORA_CORELIB_SOURCE_CONTEXT());
}

void FileObjectStream::openOut(const std::string& name) {
  requireNoFile();
  std::unique_ptr<File> file = makeFile(name + kSideSuffix);
  if (!file) {
    throw OpenOut_OutOfMemory("@out-of-memory{Out of memory};", VEMORA_CORELIB_SOURCE_CONTEXT());
  }
  if (!file->openWrite()) {
    throw OpenOut_Failed("@file-object-stream.open-out.failed{Could not open \"%\" for writing};",
                         VEMORA_CORELIB_SOURCE_CONTEXT(), nameArgument(name));
  }
  file_ = std::move(file);
  ownsFile_ = true;
  saved_ = false;
  setTextKind(kNarrowText);
}

void FileObjectStream::openIn(const std::string& name) {
  requireNoFile();
  std::unique_ptr<File> file = makeFile(name);
  if (!file) {
    throw OpenIn_OutOfMemory("@out-of-memory{Out of memory};", VEMORA_CORELIB_SOURCE_CONTEXT());
  }
  if (!file->openRead()) {
    throw OpenIn_Failed("@file-object-stream.open-in.failed{Could not open \"%\" for reading};",
                        VEMORA_CORELIB_SOURCE_CONTEXT(), nameArgument(name));
  }
  file_ = std::move(file);
  ownsFile_ = true;
  saved_ = false;
  setTextKind(kNarrowText);
  load();
}

void FileObjectStream::close() {
  if (!file_) throw Close_NotOpen("", VEMORA_CORELIB_SOURCE_CONTEXT());
  if (!ownsFile_) throw Close_CannotCloseExternalFile("", VEMORA_CORELIB_SOURCE_CONTEXT());
  const bool wasWriting = file_->isWriting();
  const std::string side = file_->name();
  // Buffered text may fail to reach the disk only now.
  const bool closed = file_->close();
  file_.reset();
  ownsFile_ = false;
  if (!wasWriting) return;
  const bool complete = saved_ && closed;
  saved_ = false;
  const std::string final = side.substr(0, side.size() - std::strlen(kSideSuffix));
  // The text must be on the disk before the rename can put it in place of
  // the old one. The move would remove a folder in the way.
  if (complete && syncFile(side) && !FileTools::isDirectory(final) &&
      FileTools::moveFile(side, final, true, kMoveChunk, false)) {
    return;
  }
  if (!complete) FileTools::deleteFile(side, false);
  ParamStream arguments;
  arguments << side << final;
  throw Close_FailedToFinalize(
      "@file-object-stream.close.failed-to-finalize{Failed to rename \"%\" to final \"%\"};",
      VEMORA_CORELIB_SOURCE_CONTEXT(), arguments);
}

void FileObjectStream::save() {
  if (!file_) throw Save_HaveNoFile("", VEMORA_CORELIB_SOURCE_CONTEXT());
  if (!file_->isWriting()) throw Save_FileNotOpenForWriting("", VEMORA_CORELIB_SOURCE_CONTEXT());
  saved_ = false;
  const bool written =
      textKind() == kWideText ? file_->write(toWideText()) : file_->write(toText());
  if (!written) {
    throw Save_FailedToSave(
        "@file-object-stream.save.failed-to-save{Failed to save stream to \"%\"};",
        VEMORA_CORELIB_SOURCE_CONTEXT(), nameArgument(file_->name()));
  }
  saved_ = true;
}

void FileObjectStream::load() {
  if (!file_) throw Load_HaveNoFile("", VEMORA_CORELIB_SOURCE_CONTEXT());
  if (!file_->isReading()) throw Load_FileNotOpenForReading("", VEMORA_CORELIB_SOURCE_CONTEXT());
  ParseContext context(textKind() == kWideText);
  parseText(context);
  setState(kReadable);
}

void FileObjectStream::failToLoad() const {
  throw Load_FailedToLoad(
      "@file-object-stream.load.failed-to-load{Failed to load data from \"%\"};",
      VEMORA_CORELIB_SOURCE_CONTEXT(), nameArgument(file_->name()));
}

// One physical line, trimmed; false at the end of the file.
bool FileObjectStream::readRawLine(DualString& line) {
  if (!file_ || file_->eof()) return false;
  const int64_t lineBefore = file_->line();
  const bool wideText = textKind() == kWideText;
  std::string narrow;
  std::wstring wide;
  const bool read = wideText ? file_->readLine(wide, L'\n') : file_->readLine(narrow, '\n');
  // A read that gives nothing and passes no line end has not moved on: it is
  // the end of the file or a read error (a damaged gzip stream reads
  // nothing for ever without reporting its end).
  const bool nothing = wideText ? wide.empty() : narrow.empty();
  if (!read || (nothing && file_->line() == lineBefore)) {
    if (file_->eof()) return false;
    failToLoad();
  }
  if (wideText) {
    line = DualString(StringTools::trimRight(StringTools::trimLeft(wide, true), true));
  } else {
    line = DualString(StringTools::trimRight(StringTools::trimLeft(narrow, true), true));
  }
  return true;
}

bool FileObjectStream::readLine(ParseContext& context, DualString& line) {
  DualString raw;
  while (readRawLine(raw)) {
    ++context.line;
    const bool skipped = raw.isWide() ? isSkipped(raw.toWide()) : isSkipped(raw.toNarrow());
    if (skipped) continue;
    line = raw;
    return true;
  }
  return false;
}

}  // namespace VemoraCorelib
