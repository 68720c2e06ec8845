#include "tools/secret_key.h"

#include <fcntl.h>
#include <sodium.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "common/tool_error.h"

namespace setupkit {

namespace {

// scrypt's cost as stored in the file (the values a careful key needs:
// 1 GiB of memory, about a second or more of work), and how they turn into
// scrypt's N, r and p, as every reader of the format computes them.
constexpr uint64_t kOpsLimit = 33554432;
constexpr uint64_t kMemLimit = 1073741824;
constexpr size_t kSealed = 104;  // key id, seed, public key and checksum

struct ScryptCost {
  unsigned nLog2 = 1, r = 8, p = 1;
};

ScryptCost scryptCost(uint64_t ops, uint64_t mem) {
  ScryptCost c;
  if (ops < 32768) ops = 32768;
  uint64_t maxN = ops < mem / 32 ? ops / (uint64_t(c.r) * 4) : mem / (uint64_t(c.r) * 128);
  for (c.nLog2 = 1; c.nLog2 < 63; ++c.nLog2)
    if (uint64_t(1) << c.nLog2 > maxN / 2) break;
  if (!(ops < mem / 32)) {
    uint64_t maxrp = (ops / 4) / (uint64_t(1) << c.nLog2);
    if (maxrp > 0x3fffffff) maxrp = 0x3fffffff;
    c.p = unsigned(maxrp) / c.r;
  }
  return c;
}

void xorWithScrypt(unsigned char* data, const std::string& password, const unsigned char* salt, uint64_t ops,
                   uint64_t mem) {
  const ScryptCost c = scryptCost(ops, mem);
  // A cost beyond these bounds asks for more than 16 GiB of memory or hours
  // of work: only a damaged or hostile file holds one.
  if (c.r != 8 || c.nLog2 > 24 || c.p < 1 || c.p > 64)
    throw ToolError("the secret key's password cost is out of range (damaged key file?)");
  unsigned char stream[kSealed];
  signature::initialiseSodium();
  if (crypto_pwhash_scryptsalsa208sha256_ll(reinterpret_cast<const uint8_t*>(password.data()), password.size(), salt,
                                            32, uint64_t(1) << c.nLog2, c.r, c.p, stream, sizeof stream) != 0)
    throw ToolError("cannot derive the key from the password (out of memory?)");
  for (size_t i = 0; i < kSealed; ++i) data[i] ^= stream[i];
  std::memset(stream, 0, sizeof stream);
}

std::array<unsigned char, 32> checksum(const unsigned char* id, const unsigned char* seed, const unsigned char* pk) {
  std::string data = "Ed";
  data.append(reinterpret_cast<const char*>(id), 8);
  data.append(reinterpret_cast<const char*>(seed), 32);
  data.append(reinterpret_cast<const char*>(pk), 32);
  std::array<unsigned char, 32> sum{};
  signature::initialiseSodium();
  crypto_generichash(sum.data(), sum.size(), reinterpret_cast<const unsigned char*>(data.data()), data.size(), nullptr,
                     0);
  return sum;
}

uint64_t readLe(const unsigned char* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

void writeLe(std::string& out, uint64_t v) {
  for (int i = 0; i < 8; ++i) out += char((v >> (8 * i)) & 0xff);
}

std::string askOnTerminal(const std::string& prompt) {
  const int tty = open("/dev/tty", O_RDWR | O_CLOEXEC);
  if (tty < 0) throw ToolError("no terminal to ask the password on: name a file with --password-file");
  termios old{};
  const bool canHide = tcgetattr(tty, &old) == 0;
  if (canHide) {
    termios quiet = old;
    quiet.c_lflag &= ~tcflag_t(ECHO);
    tcsetattr(tty, TCSAFLUSH, &quiet);
  }
  if (write(tty, prompt.data(), prompt.size()) < 0) {
  }
  std::string line;
  char c;
  while (read(tty, &c, 1) == 1 && c != '\n') line += c;
  if (canHide) tcsetattr(tty, TCSAFLUSH, &old);
  if (write(tty, "\n", 1) < 0) {
  }
  close(tty);
  return line;
}

std::string passwordFrom(const PasswordSource& source, const std::string& prompt) {
  if (source.file.empty()) return askOnTerminal(prompt);
  std::ifstream in(source.file, std::ios::binary);
  if (!in) throw ToolError("cannot read the password file " + source.file);
  std::string line;
  std::getline(in, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace

std::string newPassword(const PasswordSource& source) {
  if (!source.file.empty()) return passwordFrom(source, {});
  std::string first = askOnTerminal("Password for the new key: ");
  if (askOnTerminal("The same password again: ") != first) throw ToolError("the two passwords differ");
  return first;
}

signature::SecretKey readSecretKey(const std::string& path, const PasswordSource& password) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ToolError("cannot read the secret key " + path);
  std::string comment, line;
  std::getline(in, comment);
  std::getline(in, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  auto bytes = signature::base64Decode(line);
  if (comment.rfind("untrusted comment:", 0) != 0 || !bytes || bytes->size() != 6 + 32 + 16 + kSealed ||
      bytes->compare(0, 2, "Ed") != 0 || bytes->compare(4, 2, "B2") != 0)
    throw ToolError(path + " is not an Ed25519 secret key");
  auto* raw = reinterpret_cast<unsigned char*>(bytes->data());
  unsigned char* sealed = raw + 6 + 32 + 16;
  if (bytes->compare(2, 2, "Sc") == 0)
    xorWithScrypt(sealed, passwordFrom(password, "Password for " + path + ": "), raw + 6, readLe(raw + 38),
                  readLe(raw + 46));
  else if (raw[2] != 0 || raw[3] != 0)
    throw ToolError(path + ": unknown key encryption");
  signature::SecretKey key;
  std::memcpy(key.id.data(), sealed, 8);
  std::memcpy(key.seed.data(), sealed + 8, 32);
  std::memcpy(key.publicKey.data(), sealed + 40, 32);
  std::array<unsigned char, 32> stored{};
  std::memcpy(stored.data(), sealed + 72, stored.size());
  // An unencrypted key may carry no checksum (all zero bytes).
  const bool encrypted = raw[2] != 0;
  const bool sound =
      checksum(sealed, sealed + 8, sealed + 40) == stored || (!encrypted && stored == std::array<unsigned char, 32>{});
  std::memset(bytes->data(), 0, bytes->size());
  if (!sound) throw ToolError("wrong password for " + path + " (or the key file is damaged)");
  return key;
}

std::string secretKeyText(const signature::SecretKey& key, const std::optional<std::string>& password) {
  std::string sealed(reinterpret_cast<const char*>(key.id.data()), 8);
  sealed.append(reinterpret_cast<const char*>(key.seed.data()), 32);
  sealed.append(reinterpret_cast<const char*>(key.publicKey.data()), 32);
  const auto sum = checksum(key.id.data(), key.seed.data(), key.publicKey.data());
  sealed.append(reinterpret_cast<const char*>(sum.data()), sum.size());
  std::string salt(32, '\0');
  std::string bytes = "Ed";
  if (password) {
    signature::initialiseSodium();
    randombytes_buf(salt.data(), salt.size());
    xorWithScrypt(reinterpret_cast<unsigned char*>(sealed.data()), *password,
                  reinterpret_cast<const unsigned char*>(salt.data()), kOpsLimit, kMemLimit);
    bytes += "Sc";
  } else {
    bytes += std::string(2, '\0');
  }
  bytes += "B2" + salt;
  writeLe(bytes, password ? kOpsLimit : 0);
  writeLe(bytes, password ? kMemLimit : 0);
  bytes += sealed;
  std::string text = "untrusted comment: setupkit secret key " + signature::keyIdText(key.id) +
                     (password ? "" : " (not encrypted)") + "\n" + signature::base64Encode(bytes) + "\n";
  std::memset(sealed.data(), 0, sealed.size());
  std::memset(bytes.data(), 0, bytes.size());
  return text;
}

}  // namespace setupkit
