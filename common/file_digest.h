#pragma once
// SHA-256 in hexadecimal, for the install record and the uninstaller: the
// engine's digest (common/sha256.h), which the static launcher and
// uninstaller carry, so no system library is needed.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "common/sha256.h"

class TSha256 {
 public:
  void update(const void* data, size_t length) { digest_.update(data, length); }
  // Ends the message; the digest as 64 lower-case hexadecimal digits.
  std::string finishHex() { return digest::hexOf(digest_.finish()); }

 private:
  digest::Sha256 digest_;
};

// The SHA-256 (hexadecimal) and size of the whole file open as `fd`, read
// from its start. False when it cannot be read.
bool digestOfDescriptor(int fd, std::string& sha256, uint64_t& size);

// The one read-and-hash loop: hands the `size` bytes at `offset` of `fd`
// (size < 0: up to the end) to `take` in pieces of up to 1 MiB, in order.
// False when they cannot all be read. `read` gets the count handed over.
bool readRange(int fd, int64_t offset, int64_t size, const std::function<void(const uint8_t*, size_t)>& take,
               uint64_t* read = nullptr);
