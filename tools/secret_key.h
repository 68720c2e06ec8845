#pragma once
// The secret key file in minisign's format:
//   "untrusted comment: ..." /
//   base64("Ed" || kdf || "B2" || salt(32) || opslimit(8) || memlimit(8) ||
//          key id(8) || seed(32) || public key(32) || checksum(32))
// where kdf is "Sc" (the last 104 bytes are XORed with scrypt of the
// password) or two zero bytes (not encrypted), and the checksum is the
// BLAKE2b-256 of "Ed" || key id || seed || public key.
#include <optional>
#include <string>

#include "medium/signature.h"

namespace setupkit {

// Where the password comes from: a file's first line, or the terminal.
struct PasswordSource {
  std::string file;  // empty: ask on the terminal
};

// Reads the key file; asks for the password (or reads it from the file)
// when the key is encrypted. Raises ToolError.
signature::SecretKey readSecretKey(const std::string& path, const PasswordSource& password);

// The text of a secret key file; encrypted when `password` has a value.
std::string secretKeyText(const signature::SecretKey& key, const std::optional<std::string>& password);

// The password for a new key: from the file, or asked twice on the terminal.
std::string newPassword(const PasswordSource& source);

}  // namespace setupkit
