#pragma once
// Windows error numbers as the layers above the platform see them, and the
// per-thread "last error" that every failing platform call leaves behind.
#include <cstdint>
#include <string>

namespace platform {

enum ErrorCode : uint32_t {
  kErrorSuccess = 0,
  kErrorFileNotFound = 2,
  kErrorPathNotFound = 3,
  kErrorTooManyOpenFiles = 4,
  kErrorAccessDenied = 5,
  kErrorNotEnoughMemory = 8,
  kErrorInvalidDrive = 15,
  kErrorWriteProtect = 19,
  kErrorNotReady = 21,
  kErrorSharingViolation = 32,
  kErrorHandleDiskFull = 39,
  kErrorBadNetPath = 53,
  kErrorFileExists = 80,
  kErrorInvalidParameter = 87,
  kErrorDiskFull = 112,
  kErrorInvalidName = 123,
  kErrorDirNotEmpty = 145,
  kErrorAlreadyExists = 183,
  kErrorFilenameTooLong = 206,
  kErrorDirectory = 267,
};

// The error number left by the last failing platform call on this thread.
uint32_t lastError();
void setLastError(uint32_t code);

// The host system's text for the reason of the last failing platform call on
// this thread ("No space left on device"); empty when it was not the host's.
std::string lastErrorMessage();

// Maps a host errno value onto the nearest Windows error number.
uint32_t errorFromErrno(int errnoValue);

// Sets the last error from errno and returns false, for one-line failure exits.
bool failFromErrno();

}  // namespace platform
