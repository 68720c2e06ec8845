#include "framework/core/exceptions.h"

std::string ioErrorMessage(uint32_t code) {
  switch (code) {
    case 2: return "File not found";
    case 3: return "Path not found";
    case 4: return "Too many open files";
    case 5: return "File access denied";
    case 100: return "Read beyond end of file";
    case 101: return "Disk full";
    default: return "I/O error " + std::to_string(code);
  }
}

EInOutError::EInOutError(uint32_t errorCode) : Exception(ioErrorMessage(errorCode)), errorCode_(errorCode) {}
