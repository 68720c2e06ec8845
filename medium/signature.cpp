#include "medium/signature.h"

#include <sodium.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "common/file_digest.h"
#include "platform/text_file.h"

namespace signature {

namespace {

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr const char* kUntrusted = "untrusted comment:";

// The lines of a key or signature file, without line ends ("\r\n" too).
std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines = platform::linesOf(text);
  for (std::string& line : lines)
    if (!line.empty() && line.back() == '\r') line.pop_back();
  return lines;
}

bool startsWith(const std::string& s, const char* prefix) { return s.compare(0, std::strlen(prefix), prefix) == 0; }

// Checking needs no sodium_init: Ed25519 verification and BLAKE2b have no
// implementation picked at start (BLAKE2b then runs its portable code), and
// no random numbers. A static program that only checks (the launcher) so
// links none of the ciphers and hashes sodium_init would pick among.
bool ed25519Verify(const std::array<unsigned char, 32>& key, const void* message, size_t size,
                   const unsigned char* sig) {
  return crypto_sign_ed25519_verify_detached(sig, static_cast<const unsigned char*>(message), size, key.data()) == 0;
}


}  // namespace

SecretKey::~SecretKey() {
  // Leave no copy of the secret behind in freed memory.
  volatile unsigned char* p = seed.data();
  for (size_t i = 0; i < seed.size(); ++i) p[i] = 0;
}

struct Hasher::Context {
  crypto_generichash_blake2b_state state;
  void start() { crypto_generichash_blake2b_init(&state, nullptr, 0, sizeof(Digest)); }
};

Hasher::Hasher() : context_(new Context) { context_->start(); }
Hasher::~Hasher() = default;

void Hasher::update(const void* data, size_t size) {
  crypto_generichash_blake2b_update(&context_->state, static_cast<const unsigned char*>(data), size);
}

Digest Hasher::digest() {
  Digest d{};
  crypto_generichash_blake2b_final(&context_->state, d.data(), d.size());
  context_->start();
  return d;
}

bool hashFile(int fd, int64_t offset, int64_t size, Hasher& hasher) {
  return readRange(fd, offset, size, [&hasher](const uint8_t* data, size_t n) { hasher.update(data, n); });
}

std::string keyIdText(const KeyId& id) {
  static const char hex[] = "0123456789ABCDEF";
  std::string text;
  for (size_t i = id.size(); i-- > 0;) {
    text += hex[id[i] >> 4];
    text += hex[id[i] & 15];
  }
  return text;
}

std::string base64Encode(const std::string& bytes) {
  std::string out;
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const unsigned v = unsigned((unsigned char)bytes[i]) << 16 | unsigned((unsigned char)bytes[i + 1]) << 8 |
                       (unsigned char)bytes[i + 2];
    for (int k = 18; k >= 0; k -= 6) out += kBase64[(v >> k) & 63];
  }
  if (i < bytes.size()) {
    unsigned v = unsigned((unsigned char)bytes[i]) << 16;
    if (i + 1 < bytes.size()) v |= unsigned((unsigned char)bytes[i + 1]) << 8;
    out += kBase64[(v >> 18) & 63];
    out += kBase64[(v >> 12) & 63];
    out += i + 1 < bytes.size() ? kBase64[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::optional<std::string> base64Decode(const std::string& text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::string out;
  for (size_t i = 0; i < text.size(); i += 4) {
    unsigned v = 0;
    int pad = 0;
    for (size_t k = 0; k < 4; ++k) {
      const char c = text[i + k];
      const char* at = c ? std::strchr(kBase64, c) : nullptr;
      if (c == '=' && i + 4 == text.size() && k >= 2) {
        ++pad;
        v <<= 6;
      } else if (at && pad == 0) {
        v = v << 6 | unsigned(at - kBase64);
      } else {
        return std::nullopt;
      }
    }
    out += char(v >> 16);
    if (pad < 2) out += char((v >> 8) & 0xff);
    if (pad < 1) out += char(v & 0xff);
  }
  return out;
}

std::optional<PublicKey> parsePublicKey(const std::string& text, std::string* problem) {
  const std::vector<std::string> lines = linesOf(text);
  // A file with the comment line, or the bare base64 line.
  const std::string& line = lines.size() >= 2 && startsWith(lines[0], kUntrusted) ? lines[1]
                            : lines.empty()                                       ? std::string()
                                                                                  : lines[0];
  const auto bytes = base64Decode(line);
  if (!bytes || bytes->size() != 42 || bytes->compare(0, 2, "Ed") != 0) {
    if (problem) *problem = "not an Ed25519 public key";
    return std::nullopt;
  }
  PublicKey key;
  std::memcpy(key.id.data(), bytes->data() + 2, 8);
  std::memcpy(key.key.data(), bytes->data() + 10, 32);
  return key;
}

std::optional<Signature> parseSignature(const std::string& text, std::string* problem) {
  const std::vector<std::string> lines = linesOf(text);
  auto fail = [&](const char* why) {
    if (problem) *problem = why;
    return std::nullopt;
  };
  if (lines.size() < 4 || !startsWith(lines[0], kUntrusted) || !startsWith(lines[2], kTrustedPrefix))
    return fail("not a signature file");
  const auto sig = base64Decode(lines[1]);
  const auto global = base64Decode(lines[3]);
  if (!sig || sig->size() != 74 || !global || global->size() != 64) return fail("not a signature file");
  if (sig->compare(0, 2, "ED") != 0)
    return fail(sig->compare(0, 2, "Ed") == 0
                    ? "a legacy signature of the whole data (sign again: it must be of the hash)"
                    : "an unknown signature algorithm");
  Signature s;
  std::memcpy(s.keyId.data(), sig->data() + 2, 8);
  std::memcpy(s.signature.data(), sig->data() + 10, 64);
  s.trustedComment = lines[2].substr(std::strlen(kTrustedPrefix));
  std::memcpy(s.commentSignature.data(), global->data(), 64);
  return s;
}

std::string verify(const PublicKey& key, const Signature& sig, const Digest& digest) {
  if (key.id != sig.keyId) return "it is signed by key " + keyIdText(sig.keyId) + ", not by key " + keyIdText(key.id);
  if (!ed25519Verify(key.key, digest.data(), digest.size(), sig.signature.data()))
    return "its signature does not match its bytes: it was changed after signing";
  std::string signedComment(reinterpret_cast<const char*>(sig.signature.data()), sig.signature.size());
  signedComment += sig.trustedComment;
  if (!ed25519Verify(key.key, signedComment.data(), signedComment.size(), sig.commentSignature.data()))
    return "the signature of its trusted comment does not match: the comment was changed";
  return {};
}

std::string publicKeyText(const PublicKey& key) {
  std::string bytes = "Ed";
  bytes.append(reinterpret_cast<const char*>(key.id.data()), key.id.size());
  bytes.append(reinterpret_cast<const char*>(key.key.data()), key.key.size());
  return "untrusted comment: setupkit public key " + keyIdText(key.id) + "\n" + base64Encode(bytes) + "\n";
}

PublicKey publicKeyOf(const SecretKey& key) {
  PublicKey pk;
  pk.id = key.id;
  pk.key = key.publicKey;
  return pk;
}

}  // namespace signature
