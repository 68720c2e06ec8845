#include "tools/sha256.h"

#include <openssl/evp.h>

#include <new>
#include <stdexcept>

namespace setupkit {

namespace {

// The digest's implementation, fetched once: an implicit fetch on every
// initialisation costs a look-up in the provider's tables per entry.
const EVP_MD* sha256Method() {
  static const EVP_MD* method = [] {
    const EVP_MD* m = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    if (!m) throw std::runtime_error("libcrypto offers no SHA-256");
    return m;
  }();
  return method;
}

[[noreturn]] void failed(const char* what) { throw std::runtime_error(std::string("SHA-256: ") + what + " failed"); }

}  // namespace

void Sha256::Free::operator()(evp_md_ctx_st* context) const { EVP_MD_CTX_free(context); }

Sha256::Sha256() : context_(EVP_MD_CTX_new()) {
  if (!context_) throw std::bad_alloc();
  if (EVP_DigestInit_ex(context_.get(), sha256Method(), nullptr) != 1) failed("initialisation");
}

Sha256::Sha256(const Sha256& other) : context_(EVP_MD_CTX_new()) {
  if (!context_) throw std::bad_alloc();
  if (EVP_MD_CTX_copy_ex(context_.get(), other.context_.get()) != 1) failed("copying the state");
}

Sha256& Sha256::operator=(const Sha256& other) {
  if (this != &other) *this = Sha256(other);
  return *this;
}

Sha256::~Sha256() = default;

void Sha256::update(const void* data, size_t length) {
  if (EVP_DigestUpdate(context_.get(), data, length) != 1) failed("hashing");
}

std::array<uint8_t, 32> Sha256::finish() {
  std::array<uint8_t, 32> digest{};
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context_.get(), digest.data(), &length) != 1 || length != digest.size()) failed("finishing");
  return digest;
}

std::string Sha256::finishHex() {
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  for (uint8_t b : finish()) {
    text += kHex[b >> 4];
    text += kHex[b & 15];
  }
  return text;
}

}  // namespace setupkit
