// Errors of the committed files (FileBase, FilePlain). Family "File",
// category 60; the codes name what failed (FL_CANNOT_OPEN 5, FL_IS_LOCKED 18,
// FL_RENAME 20, ...). Code 27, the text check, has no row and reads
// "Unknown error".
#pragma once

#include <string>

#include "common/Exception.h"

namespace Vemora {

class FileException : public Exception {
 public:
  enum Code {
    kNone = 0,
    kMemory = 1,
    kExistsNot = 2,
    kExists = 3,
    kIsOpen = 4,
    kCannotOpen = 5,
    kIsClosed = 6,
    kCannotClose = 7,
    kAccessCombination = 8,
    kCannotRead = 9,
    kRead = 10,
    kCannotWrite = 11,
    kWrite = 12,
    kFlush = 13,
    kEof = 14,
    kPosition = 15,
    kCannotUnlock = 16,
    kCannotLock = 17,
    kIsLocked = 18,
    kCannotCopy = 19,
    kRename = 20,
    kRemove = 21,
    kCreateDir = 22,
    kGetDir = 23,
    kNoDir = 24,
    kSpace = 25,
    kAccess = 26,
    kTextCheck = 27,
    kError = 28,
  };

  explicit FileException(int code);
  FileException(int code, const std::string& message, const std::string& sourceFile, int line);
  FileException(const FileException& other);
  ~FileException() override;

  std::string text() const override;
  int category() const override;
};

}  // namespace Vemora
