// Making keys and signatures: only setupkit signs. Kept apart from checking
// (signature.cpp) so that a program that only checks (the launcher) links
// neither sodium_init nor the random numbers and ciphers behind it.
#include <sodium.h>

#include <cstring>
#include <stdexcept>

#include "medium/medium_signature.h"
#include "medium/signature.h"

namespace signature {

namespace {

// Ed25519 is deterministic: the same key and message give the same bytes
// whichever library signs.
void ed25519Sign(const SecretKey& key, const void* message, size_t size, unsigned char* sig) {
  initialiseSodium();
  unsigned char pk[crypto_sign_PUBLICKEYBYTES], sk[crypto_sign_SECRETKEYBYTES];
  crypto_sign_seed_keypair(pk, sk, key.seed.data());
  const bool matches = sodium_memcmp(pk, key.publicKey.data(), sizeof pk) == 0;
  if (matches) crypto_sign_detached(sig, nullptr, static_cast<const unsigned char*>(message), size, sk);
  sodium_memzero(sk, sizeof sk);
  // A signature by another key than the one named would never verify.
  if (!matches) throw std::runtime_error("cannot sign: the secret key's public half does not belong to its seed");
}

}  // namespace

void initialiseSodium() {
  // Safe to call from several threads; later calls only report it is ready.
  static const bool ready = sodium_init() >= 0;
  if (!ready) throw std::runtime_error("libsodium cannot start (no source of random numbers?)");
}

std::string sign(const SecretKey& key, const Digest& digest, const std::string& trustedComment) {
  if (trustedComment.find_first_of("\r\n") != std::string::npos)
    throw std::runtime_error("the trusted comment must be one line");
  unsigned char sig[64], global[64];
  ed25519Sign(key, digest.data(), digest.size(), sig);
  std::string signedComment(reinterpret_cast<const char*>(sig), sizeof sig);
  signedComment += trustedComment;
  ed25519Sign(key, signedComment.data(), signedComment.size(), global);
  std::string bytes = "ED";
  bytes.append(reinterpret_cast<const char*>(key.id.data()), key.id.size());
  bytes.append(reinterpret_cast<const char*>(sig), sizeof sig);
  return "untrusted comment: signature from setupkit secret key\n" + base64Encode(bytes) + "\n" + kTrustedPrefix +
         trustedComment + "\n" + base64Encode(std::string(reinterpret_cast<const char*>(global), sizeof global)) + "\n";
}

SecretKey generateKey() {
  initialiseSodium();
  SecretKey key;
  unsigned char sk[crypto_sign_SECRETKEYBYTES];  // the seed, then the public key
  crypto_sign_keypair(key.publicKey.data(), sk);
  std::memcpy(key.seed.data(), sk, key.seed.size());
  sodium_memzero(sk, sizeof sk);
  randombytes_buf(key.id.data(), key.id.size());
  return key;
}

}  // namespace signature

namespace medium_signature {

SignedList signSums(const signature::SecretKey& key, const std::vector<Sum>& sums, const std::string& trustedComment) {
  SignedList list;
  list.sums = sumsText(sums);
  list.publicKey = signature::publicKeyText(signature::publicKeyOf(key));
  signature::Hasher hasher;
  hasher.update(list.sums.data(), list.sums.size());
  list.signature = signature::sign(key, hasher.digest(), trustedComment);
  return list;
}

}  // namespace medium_signature
