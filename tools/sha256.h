#pragma once
// SHA-256, for the manifest that pack stores and verify checks.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace setupkit {

class Sha256 {
 public:
  Sha256();
  // Adds bytes to the message.
  void update(const void* data, size_t length);
  // Ends the message and returns the digest; the object is spent afterwards.
  std::array<uint8_t, 32> finish();
  // finish() as 64 lower-case hexadecimal digits.
  std::string finishHex();

 private:
  void compress(const uint8_t* block);
  uint32_t state_[8];
  uint8_t buffer_[64];
  size_t buffered_ = 0;
  uint64_t length_ = 0;
};

// The hexadecimal SHA-256 of a byte string.
std::string sha256Hex(const std::string& data);

}  // namespace setupkit
