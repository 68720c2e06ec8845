// Signing against fixed answers, so that no change of the cryptographic
// library underneath can change a byte of a key file or signature unnoticed.
// The key is the one of RFC 8032's "SHA(abc)" Ed25519 example; its key files
// were written by an independent implementation of the format (one encrypted
// with scrypt at a small stored cost: N = 2^10, r = 8, p = 1, one not).
#include <gtest/gtest.h>

#include <optional>

#include "common/tool_error.h"
#include "medium/signature.h"
#include "tests/support/temp_dir.h"
#include "tools/secret_key.h"

namespace {

constexpr const char* kEncryptedKey =
    "untrusted comment: known-answer secret key\n"
    "RWRTY0IyAAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8AgAAAAAAAAAAAEAAAAAAALODb6ep2/NrA6neQaJMTH6XW+GDsqJdDKpjg31/"
    "m3fZtDvD4Lun1F3lnhiU3p8eqO5resUoTPPljRabzZdxeFLancTsytx9dElDUuNMd8oVvMcfyCCnURfH+cJdoZjY+TwheDKeNYUI=\n";
constexpr const char* kPlainKey =
    "untrusted comment: known-answer secret key (not encrypted)\n"
    "RWQAAEIyAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAASNFZ4mrze+DP+YkCSN7nWLsd1h1IJEemnWc7B0Z"
    "dVt9qQG5bco9QuwXK5OtXlY79JMscOEkUDTDVGfvLv1NZOv4GWg0Z+K/dnYSLpErjtGmc67U+m6HrWA65Kk0ab/100LyTGxSINc=\n";
constexpr const char* kPublicKey =
    "untrusted comment: known-answer public key\n"
    "RWQBI0VniavN7+wXK5OtXlY79JMscOEkUDTDVGfvLv1NZOv4GWg0Z+K/\n";
constexpr const char* kSeed = "833fe62409237b9d62ec77587520911e9a759cec1d19755b7da901b96dca3d42";
constexpr const char* kKey = "ec172b93ad5e563bf4932c70e1245034c35467ef2efd4d64ebf819683467e2bf";
// The example's message, SHA-512("abc"), signed as a medium's 64-byte hash is.
constexpr const char* kMessage =
    "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
    "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f";
constexpr const char* kSignature =
    "dc2a4459e7369633a52b1bf277839a00201009a3efbf3ecb69bea2186c26b589"
    "09351fc9ac90b3ecfdfbc7c66431e0303dca179c138ac17ad9bef1177331a704";

template <size_t N>
std::string hex(const std::array<unsigned char, N>& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (unsigned char b : bytes) (text += digits[b >> 4]) += digits[b & 15];
  return text;
}

template <size_t N>
std::array<unsigned char, N> bytesOf(const std::string& text) {
  std::array<unsigned char, N> out{};
  for (size_t i = 0; i < N; ++i) out[i] = static_cast<unsigned char>(std::stoi(text.substr(2 * i, 2), nullptr, 16));
  return out;
}

struct KeyFileRow {
  const char* name;
  const char* file;
  std::optional<std::string> password;  // the password file's line, if any
  bool opens;
};

}  // namespace

TEST(SigningKnownAnswer, KeyFilesOpenToTheExampleKey) {
  const KeyFileRow rows[] = {
      {"encrypted, right password", kEncryptedKey, "known answer", true},
      {"encrypted, wrong password", kEncryptedKey, "known answeR", false},
      {"not encrypted", kPlainKey, std::nullopt, true},
  };
  for (const KeyFileRow& row : rows) {
    SCOPED_TRACE(row.name);
    TempDir tmp;
    tmp.write("secret.key", row.file);
    setupkit::PasswordSource source;
    if (row.password) {
      tmp.write("password", *row.password + "\n");
      source.file = tmp.file("password");
    }
    if (!row.opens) {
      EXPECT_THROW(setupkit::readSecretKey(tmp.file("secret.key"), source), setupkit::ToolError);
      continue;
    }
    const signature::SecretKey key = setupkit::readSecretKey(tmp.file("secret.key"), source);
    EXPECT_EQ(hex(key.seed), kSeed);
    EXPECT_EQ(hex(key.publicKey), kKey);
    EXPECT_EQ(signature::keyIdText(key.id), "EFCDAB8967452301");
  }
}

TEST(SigningKnownAnswer, SignsTheExampleBytesAndChecksThem) {
  signature::SecretKey key;
  key.id = bytesOf<8>("0123456789abcdef");
  key.seed = bytesOf<32>(kSeed);
  key.publicKey = bytesOf<32>(kKey);
  signature::Digest message = bytesOf<64>(kMessage);

  const auto sig = signature::parseSignature(signature::sign(key, message, "release 1.0"));
  ASSERT_TRUE(sig);
  EXPECT_EQ(hex(sig->signature), kSignature);

  const auto publicKey = signature::parsePublicKey(kPublicKey);
  ASSERT_TRUE(publicKey);
  EXPECT_EQ(signature::verify(*publicKey, *sig, message), "");
  signature::Signature otherComment = *sig;
  otherComment.trustedComment = "release 1.1";
  EXPECT_NE(signature::verify(*publicKey, otherComment, message), "");
  message[63] ^= 1;
  EXPECT_NE(signature::verify(*publicKey, *sig, message), "");
}
