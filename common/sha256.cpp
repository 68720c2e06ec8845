#include "common/sha256.h"

#include <nettle/sha2.h>

namespace digest {

struct Sha256::Context {
  sha256_ctx state;
};

Sha256::Sha256() : context_(std::make_unique<Context>()) { sha256_init(&context_->state); }
Sha256::~Sha256() = default;
Sha256::Sha256(Sha256&&) noexcept = default;
Sha256& Sha256::operator=(Sha256&&) noexcept = default;

void Sha256::update(const void* data, size_t length) {
  sha256_update(&context_->state, length, static_cast<const uint8_t*>(data));
}

Sha256Digest Sha256::finish() {
  Sha256Digest out{};
  // Writes the digest and starts the context afresh.
  sha256_digest(&context_->state, out.size(), out.data());
  return out;
}

std::string hexOf(const Sha256Digest& digest) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (uint8_t b : digest) {
    text += kDigits[b >> 4];
    text += kDigits[b & 15];
  }
  return text;
}

bool parseHex(const std::string& text, Sha256Digest& digest) {
  if (text.size() != 64) return false;
  auto value = [](char c) {
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
  };
  for (size_t i = 0; i < 32; ++i) {
    const int hi = value(text[2 * i]), lo = value(text[2 * i + 1]);
    if (hi < 0 || lo < 0) return false;
    digest[i] = uint8_t(hi << 4 | lo);
  }
  return true;
}

}  // namespace digest
