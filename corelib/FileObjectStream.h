// An object stream bound to a file. A tree is written to a side file (the
// name followed by ".saving") that only close puts in place under the final
// name, so a reader never sees a half-written file; a side file whose text
// was not written completely is discarded and never replaces the final
// file. A file opened for reading is read and parsed whole when opened.
// Streams opened by name always use narrow text. One thread at a time.
#pragma once

#include <memory>
#include <string>

#include "corelib/Exception.h"
#include "corelib/ObjectStream.h"

namespace VemoraCorelib {

class File;

class FileObjectStream : public ObjectStream {
 public:
  VEMORA_CORELIB_ERROR_CLASS(OpenOut_AlreadyOpen);
  VEMORA_CORELIB_ERROR_CLASS(OpenOut_OutOfMemory);
  VEMORA_CORELIB_ERROR_CLASS(OpenOut_Failed);
  VEMORA_CORELIB_ERROR_CLASS(OpenIn_OutOfMemory);
  VEMORA_CORELIB_ERROR_CLASS(OpenIn_Failed);
  VEMORA_CORELIB_ERROR_CLASS(Close_NotOpen);
  VEMORA_CORELIB_ERROR_CLASS(Close_CannotCloseExternalFile);
  VEMORA_CORELIB_ERROR_CLASS(Close_FailedToFinalize);
  VEMORA_CORELIB_ERROR_CLASS(Save_HaveNoFile);
  VEMORA_CORELIB_ERROR_CLASS(Save_FileNotOpenForWriting);
  VEMORA_CORELIB_ERROR_CLASS(Save_FailedToSave);
  VEMORA_CORELIB_ERROR_CLASS(Load_HaveNoFile);
  VEMORA_CORELIB_ERROR_CLASS(Load_FileNotOpenForReading);
  VEMORA_CORELIB_ERROR_CLASS(Load_FailedToLoad);

  static constexpr const char* kSideSuffix = ".saving";

  FileObjectStream();
  // Closes a file the stream opened; errors are dropped here (a side file
  // that was not finished is discarded, one that could not be moved stays).
  ~FileObjectStream() override;

  // Opens name + ".saving" for writing (created or truncated).
  void openOut(const std::string& name);
  // Opens the file and parses it whole: readable, root current.
  void openIn(const std::string& name);
  // Closes the file; after writing, moves the side file over the final
  // name. Close_FailedToFinalize when the text was not saved completely
  // (the side file is then deleted) or the move failed (it stays); a
  // folder under the final name is never replaced.
  void close();

  void save() override;
  void load() override;
  bool readLine(ParseContext& context, DualString& line) override;

  bool isOpen() const { return file_ != nullptr; }

 private:
  void requireNoFile() const;
  bool readRawLine(DualString& line);
  [[noreturn]] void failToLoad() const;

  std::unique_ptr<File> file_;
  bool ownsFile_ = false;
  // The text was written whole since openOut; only then may close move it.
  bool saved_ = false;
};

}  // namespace VemoraCorelib
