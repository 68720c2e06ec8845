#include "engine/sha256.h"

#include <gcrypt.h>

#include <mutex>
#include <new>

namespace digest {

// libgcrypt wants its version checked once before any other call.
void initialiseGcrypt() {
  static std::once_flag once;
  std::call_once(once, [] {
    gcry_check_version(nullptr);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
  });
}

struct Sha256::Context {
  gcry_md_hd_t handle = nullptr;
  ~Context() { gcry_md_close(handle); }
};

Sha256::Sha256() : context_(std::make_unique<Context>()) {
  initialiseGcrypt();
  if (gcry_md_open(&context_->handle, GCRY_MD_SHA256, 0) != 0) throw std::bad_alloc();
}
Sha256::~Sha256() = default;
Sha256::Sha256(Sha256&&) noexcept = default;
Sha256& Sha256::operator=(Sha256&&) noexcept = default;

void Sha256::update(const void* data, size_t length) { gcry_md_write(context_->handle, data, length); }

Sha256Digest Sha256::finish() {
  Sha256Digest out{};
  const unsigned char* sum = gcry_md_read(context_->handle, GCRY_MD_SHA256);
  std::copy(sum, sum + out.size(), out.begin());
  gcry_md_reset(context_->handle);
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
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
  };
  for (size_t i = 0; i < 32; ++i) {
    const int hi = value(text[2 * i]), lo = value(text[2 * i + 1]);
    if (hi < 0 || lo < 0) return false;
    digest[i] = uint8_t(hi << 4 | lo);
  }
  return true;
}

}  // namespace digest
