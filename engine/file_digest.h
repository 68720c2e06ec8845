#pragma once
// SHA-256 without any library, for the install record and the uninstaller:
// the uninstaller runs on bare systems that have no libcrypto.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

class TSha256 {
 public:
  // `portable`: the portable rounds even where the processor has SHA
  // instructions (both give the same digest).
  explicit TSha256(bool portable = false);
  void update(const void* data, size_t length);
  // Ends the message; the digest as 64 lower-case hexadecimal digits.
  std::string finishHex();

 private:
  void block(const uint8_t* p);
  // `count` blocks of 64 bytes, with the processor's SHA instructions where
  // it has them.
  void blocks(const uint8_t* p, size_t count);
  std::array<uint32_t, 8> h_;
  std::array<uint8_t, 64> buffer_{};
  size_t buffered_ = 0;
  bool portable_ = false;
  uint64_t length_ = 0;
};

// The SHA-256 (hexadecimal) and size of the whole file open as `fd`, read
// from its start. False when it cannot be read.
bool digestOfDescriptor(int fd, std::string& sha256, uint64_t& size);
