#pragma once
// Keys and signatures in minisign's text formats: Ed25519 over the
// BLAKE2b-512 hash of the data (the prehashed "ED" algorithm), with an
// 8-byte key id and a trusted comment that is signed too.
//
//   public key:  "untrusted comment: ..." / base64("Ed" || key id || key)
//   signature:   "untrusted comment: ..." / base64("ED" || key id || sig)
//                "trusted comment: TEXT" / base64(Ed25519(sig || TEXT))
//
// The legacy algorithm "Ed" (the whole data signed, not its hash) is not
// accepted: everything here hashes its data as it streams by.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace signature {

using KeyId = std::array<unsigned char, 8>;
using Digest = std::array<unsigned char, 64>;

struct PublicKey {
  KeyId id{};
  std::array<unsigned char, 32> key{};
};

struct Signature {
  KeyId keyId{};
  std::array<unsigned char, 64> signature{};
  std::string trustedComment;
  std::array<unsigned char, 64> commentSignature{};
};

// How the third line of a signature file begins.
inline constexpr const char* kTrustedPrefix = "trusted comment: ";

// An Ed25519 key pair: the 32-byte seed and its public key.
struct SecretKey {
  KeyId id{};
  std::array<unsigned char, 32> seed{};
  std::array<unsigned char, 32> publicKey{};
  ~SecretKey();
};

// BLAKE2b-512 of data given in pieces.
class Hasher {
 public:
  Hasher();
  ~Hasher();
  Hasher(const Hasher&) = delete;
  Hasher& operator=(const Hasher&) = delete;
  void update(const void* data, size_t size);
  Digest digest();

 private:
  struct Context;
  std::unique_ptr<Context> context_;
};

// BLAKE2b-512 of the `size` bytes at `offset` of the open file `fd`
// (size < 0: to its end); false when they cannot all be read.
bool hashFile(int fd, int64_t offset, int64_t size, Hasher& hasher);

// The key id as minisign shows it: 16 hex digits of the little-endian number.
std::string keyIdText(const KeyId& id);

// Parse the text of a public key file or of a signature file; nullopt with
// the reason in `problem` when it is not one.
std::optional<PublicKey> parsePublicKey(const std::string& text, std::string* problem = nullptr);
std::optional<Signature> parseSignature(const std::string& text, std::string* problem = nullptr);

// Empty when `sig` is `key`'s signature of data with the hash `digest`,
// trusted comment included; otherwise why not.
std::string verify(const PublicKey& key, const Signature& sig, const Digest& digest);

// The text of a public key file, and of the signature of data with the hash
// `digest`. The trusted comment must be one line.
std::string publicKeyText(const PublicKey& key);
std::string sign(const SecretKey& key, const Digest& digest, const std::string& trustedComment);

// Readies libsodium once per process, for making keys and signatures (the
// functions here do so themselves); checking needs it not.
void initialiseSodium();

// A new key pair with a random key id.
SecretKey generateKey();
PublicKey publicKeyOf(const SecretKey& key);

std::string base64Encode(const std::string& bytes);
std::optional<std::string> base64Decode(const std::string& text);

}  // namespace signature
