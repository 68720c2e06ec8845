#include "platform/errors.h"

#include <cerrno>

namespace platform {

namespace {
thread_local uint32_t tLastError = kErrorSuccess;
}

uint32_t lastError() { return tLastError; }
void setLastError(uint32_t code) { tLastError = code; }

uint32_t errorFromErrno(int e) {
  switch (e) {
    case 0: return kErrorSuccess;
    case ENOENT: return kErrorFileNotFound;
    case ENOTDIR: return kErrorPathNotFound;
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
  setLastError(errorFromErrno(errno));
  return false;
}

}  // namespace platform
