#include "common/FileException.h"

namespace Vemora {

namespace {

// Indexed by code; the text check (27) has no row of its own.
constexpr Exception::CodeRow kRows[] = {
    {"FL_NONE", "No exception!"},
    {"FL_MEM", "Insufficient memory available."},
    {"FL_EXISTS_NOT", "File does not exist."},
    {"FL_EXISTS", "File already exists."},
    {"FL_IS_OPEN", "File is open."},
    {"FL_CANNOT_OPEN", "File cannot be opened."},
    {"FL_IS_CLOSED", "File is closed."},
    {"FL_CANNOT_CLOSE", "Unable to close file."},
    {"FL_ACCESS_COMB", "Illegal combination of access flaggs."},
    {"FL_CANNOT_READ", "File is not opened for reading."},
    {"FL_READ", "Unable to read."},
    {"FL_CANNOT_WRITE", "File is not opened for writing."},
    {"FL_WRITE", "Unable to write."},
    {"FL_FLUSH", "Unable to flush buffer."},
    {"FL_EOF", "End of file."},
    {"FL_POSITION", "Illegal position."},
    {"FL_CANNOT_UNLOCK", "Unable to unlock file."},
    {"FL_CANNOT_LOCK", "Unable to lock file."},
    {"FL_IS_LOCKED", "Someone else has locked the file."},
    {"FL_CANNOT_COPY", "Unable to copy file."},
    {"FL_RENAME", "Failed to rename."},
    {"FL_REMOVE", "Failed to remove."},
    {"FL_CREATE_DIR", "Failed to create directory."},
    {"FL_GET_DIR", "Failed to get current directory."},
    {"FL_NO_DIR", "Not a directory."},
    {"FL_SPACE", "Unable to obtain free disk space."},
    {"FL_ACCESS", "Unable to access file."},
    {"", ""},
    {"FL_ERROR", "An error occured. (No changes made.)"},
};

}  // namespace

FileException::FileException(int code) : Exception(code) {}

FileException::FileException(int code, const std::string& message, const std::string& sourceFile,
                             int line)
    : Exception(code, message, sourceFile, line) {}

FileException::FileException(const FileException& other) = default;

FileException::~FileException() = default;

std::string FileException::text() const {
  return tableText("File", kRows);
}

int FileException::category() const {
  return 60;
}

}  // namespace Vemora
