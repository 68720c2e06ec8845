#pragma once
// SHA-256 for the restore's check of each file as it lands, computed by
// nettle, linked statically into the launcher and the uninstaller so that
// they check files on a bare system too. Nettle picks its code for the
// processor at start-up and uses the SHA instructions where there are any.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace digest {

using Sha256Digest = std::array<uint8_t, 32>;

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(Sha256&&) noexcept;
  Sha256& operator=(Sha256&&) noexcept;

  void update(const void* data, size_t length);
  // Ends the message and returns the digest; the object starts afresh.
  Sha256Digest finish();

 private:
  struct Context;
  std::unique_ptr<Context> context_;
};

// 64 lower-case hexadecimal digits, and back (false for anything else).
std::string hexOf(const Sha256Digest& digest);
bool parseHex(const std::string& text, Sha256Digest& digest);

}  // namespace digest
