#include "platform/LastError.h"

#include <cerrno>

namespace platform {

namespace {

thread_local uint32_t tLastError = kErrorSuccess;

struct ErrorEntry {
  uint32_t code;
  const char* text;
};

// The texts Windows gives for the numbers the libraries report.
constexpr ErrorEntry kTexts[] = {
    {kErrorSuccess, "The operation completed successfully."},
    {kErrorInvalidFunction, "Incorrect function."},
    {kErrorFileNotFound, "The system cannot find the file specified."},
    {kErrorPathNotFound, "The system cannot find the path specified."},
    {kErrorTooManyOpenFiles, "The system cannot open the file."},
    {kErrorAccessDenied, "Access is denied."},
    {kErrorInvalidHandle, "The handle is invalid."},
    {kErrorNotEnoughMemory, "Not enough storage is available to process this command."},
    {kErrorNotSameDevice, "The system cannot move the file to a different disk drive."},
    {kErrorSharingViolation,
     "The process cannot access the file because it is being used by another process."},
    {kErrorHandleDiskFull, "The disk is full."},
    {kErrorNotSupported, "The request is not supported."},
    {kErrorBadNetPath, "The network path was not found."},
    {kErrorFileExists, "The file exists."},
    {kErrorInvalidParameter, "The parameter is incorrect."},
    {kErrorBrokenPipe, "The pipe has been ended."},
    {kErrorDiskFull, "There is not enough space on the disk."},
    {kErrorInsufficientBuffer, "The data area passed to a system call is too small."},
    {kErrorInvalidName, "The filename, directory name, or volume label syntax is incorrect."},
    {kErrorDirNotEmpty, "The directory is not empty."},
    {kErrorBusy, "The requested resource is in use."},
    {kErrorAlreadyExists, "Cannot create a file when that file already exists."},
    {kErrorEnvVarNotFound, "The system could not find the environment option that was entered."},
    {kErrorFilenameTooLong, "The filename or extension is too long."},
    {kErrorMoreData, "More data is available."},
    {kErrorNoMoreItems, "No more data is available."},
    {kErrorTimeout, "This operation returned because the timeout period expired."},
};

}  // namespace

uint32_t lastError() {
  return tLastError;
}

void setLastError(uint32_t code) {
  tLastError = code;
}

uint32_t errorFromErrno(int err) {
  switch (err) {
    case 0:
      return kErrorSuccess;
    case ENOENT:
      return kErrorFileNotFound;
    case ENOTDIR:
    case ELOOP:
      return kErrorPathNotFound;
    case EMFILE:
    case ENFILE:
      return kErrorTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return kErrorAccessDenied;
    case EBADF:
      return kErrorInvalidHandle;
    case ENOMEM:
      return kErrorNotEnoughMemory;
    case EXDEV:
      return kErrorNotSameDevice;
    case ETXTBSY:
      return kErrorSharingViolation;
    case ENOSYS:
    case EOPNOTSUPP:
      return kErrorNotSupported;
    case EEXIST:
      return kErrorAlreadyExists;
    case EINVAL:
    case ERANGE:
      return kErrorInvalidParameter;
    case EPIPE:
      return kErrorBrokenPipe;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return kErrorDiskFull;
    case ENAMETOOLONG:
      return kErrorFilenameTooLong;
    case ENOTEMPTY:
      return kErrorDirNotEmpty;
    case EBUSY:
    case EAGAIN:
      return kErrorBusy;
    case ETIMEDOUT:
      return kErrorTimeout;
    default:
      return kErrorInvalidFunction;
  }
}

uint32_t setLastErrorFromErrno(int err) {
  const uint32_t code = errorFromErrno(err);
  setLastError(code);
  return code;
}

std::string errorText(uint32_t code) {
  for (const ErrorEntry& entry : kTexts) {
    if (entry.code == code) return entry.text;
  }
  return "Unknown error " + std::to_string(code) + ".";
}

}  // namespace platform
