#pragma once
// SHA-256, for the manifest that pack stores and verify checks, computed by
// libcrypto (OpenSSL 3), which uses the processor's SHA instructions where
// there are any.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

struct evp_md_ctx_st;

namespace setupkit {

class Sha256 {
 public:
  Sha256();
  // A copy goes on from the same point of the message on its own.
  Sha256(const Sha256& other);
  Sha256& operator=(const Sha256& other);
  Sha256(Sha256&&) noexcept = default;
  Sha256& operator=(Sha256&&) noexcept = default;
  ~Sha256();

  // Adds bytes to the message.
  void update(const void* data, size_t length);
  // Ends the message and returns the digest; the object is spent afterwards.
  std::array<uint8_t, 32> finish();
  // finish() as 64 lower-case hexadecimal digits.
  std::string finishHex();

 private:
  struct Free {
    void operator()(evp_md_ctx_st* context) const;
  };
  std::unique_ptr<evp_md_ctx_st, Free> context_;
};

}  // namespace setupkit
