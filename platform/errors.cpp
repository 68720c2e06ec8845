#include "platform/errors.h"

#include <cerrno>
#include <cstring>

namespace platform {

namespace {
thread_local uint32_t tLastError = kErrorSuccess;
thread_local int tLastErrno = 0;  // the host's reason behind tLastError, 0 if none
}

uint32_t lastError() { return tLastError; }
void setLastError(uint32_t code) {
  tLastError = code;
  tLastErrno = 0;
}

std::string lastErrorMessage() { return tLastErrno ? std::string(strerror(tLastErrno)) : std::string(); }

uint32_t errorFromErrno(int e) {
  switch (e) {
    case 0: return kErrorSuccess;
    case ENOENT: return kErrorFileNotFound;
    case ENOTDIR:
    case ELOOP: return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR: return kErrorAccessDenied;
    case EROFS: return kErrorWriteProtect;
    case EMFILE:
    case ENFILE: return kErrorTooManyOpenFiles;
    case ENOMEM: return kErrorNotEnoughMemory;
    case EEXIST: return kErrorAlreadyExists;
    case ENOSPC:
    case EDQUOT: return kErrorDiskFull;
    case ENAMETOOLONG: return kErrorFilenameTooLong;
    case ENOTEMPTY: return kErrorDirNotEmpty;
    case EBUSY:
    case ETXTBSY: return kErrorSharingViolation;
    case EINVAL: return kErrorInvalidParameter;
    case ENXIO:
    case ENODEV:
    case ENOMEDIUM: return kErrorNotReady;
    default: return kErrorAccessDenied;
  }
}

bool failFromErrno() {
  const int e = errno;
  setLastError(errorFromErrno(e));
  tLastErrno = e;
  return false;
}

}  // namespace platform
