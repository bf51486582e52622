// A per-thread last-error value with Windows error numbers. Every call of the
// platform layer sets it (0 on success), so the libraries above can report
// the numbers their callers expect.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

enum ErrorCode : uint32_t {
  kErrorSuccess = 0,
  kErrorInvalidFunction = 1,
  kErrorFileNotFound = 2,
  kErrorPathNotFound = 3,
  kErrorTooManyOpenFiles = 4,
  kErrorAccessDenied = 5,
  kErrorInvalidHandle = 6,
  kErrorNotEnoughMemory = 8,
  kErrorNotSameDevice = 17,
  kErrorSharingViolation = 32,
  kErrorHandleDiskFull = 39,
  kErrorNotSupported = 50,
  kErrorBadNetPath = 53,
  kErrorFileExists = 80,
  kErrorInvalidParameter = 87,
  kErrorBrokenPipe = 109,
  kErrorDiskFull = 112,
  kErrorInsufficientBuffer = 122,
  kErrorInvalidName = 123,
  kErrorDirNotEmpty = 145,
  kErrorBusy = 170,
  kErrorAlreadyExists = 183,
  kErrorEnvVarNotFound = 203,
  kErrorFilenameTooLong = 206,
  kErrorMoreData = 234,
  kErrorNoMoreItems = 259,
  kErrorTimeout = 1460,
};

uint32_t lastError();
void setLastError(uint32_t code);

// The Windows number for an errno value (ENOENT 2, EACCES 5, EEXIST 183, ...).
uint32_t errorFromErrno(int err);
// setLastError(errorFromErrno(err)); returns the Windows number.
uint32_t setLastErrorFromErrno(int err);

// The system's text for a Windows error number, as FormatMessage gives it
// (no trailing line end).
std::string errorText(uint32_t code);

}  // namespace platform
