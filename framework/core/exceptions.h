#pragma once
// The one exception hierarchy of the system. Every exception carries the exact
// message text the user sees.
#include <cstdint>
#include <exception>
#include <string>

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& message() const { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// A stream delivered fewer bytes than an exact read asked for.
class EReadError : public Exception {
 public:
  EReadError() : Exception("Stream read error") {}
};

// A stream stored fewer bytes than an exact write asked for (a full disk).
class EWriteError : public Exception {
 public:
  EWriteError() : Exception("Stream write error") {}
};

class EOutOfMemory : public Exception {
 public:
  EOutOfMemory() : Exception("Out of memory") {}
};

// A file could not be created or opened by a file stream.
class EFCreateError : public Exception {
 public:
  using Exception::Exception;
};
class EFOpenError : public Exception {
 public:
  using Exception::Exception;
};

// A failed directory or drive operation, with its Windows error number.
class EInOutError : public Exception {
 public:
  explicit EInOutError(uint32_t errorCode);
  uint32_t errorCode() const { return errorCode_; }

 private:
  uint32_t errorCode_;
};

// The message of an I/O error: a text of its own for the codes the framework
// knows, "I/O error %d" for the rest.
std::string ioErrorMessage(uint32_t errorCode);
