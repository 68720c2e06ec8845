#pragma once
// A medium signed by its publisher, and its check before anything of it is
// unpacked, run or written.
//
// A signed folder medium holds, beside its files:
//   SETUP.SUM          one `sha256sum` line ("HEX  NAME") per other file;
//   SETUP.SUM.minisig  the publisher's signature of SETUP.SUM;
//   SETUP.PUB          the publisher's public key.
// A signed one-file installer has the same three as one part (the key's two
// lines, the signature's four, then the sums), whose sums name the parts
// before it: "setup" (the launcher), SETUP.INS, runtime.pak, SETUP.BIN and
// SETUP.ATR. Each file or part has its own digest, so a change is named.
//
// The key carried on the medium only tells a medium changed by accident or
// by someone who could not sign again. The keys an administrator puts in the
// trusted-keys directory, a key given from outside (setupkit verify --key)
// and the key pinned by an earlier installation are what tell the publisher.
#include <cstdint>
#include <string>
#include <vector>

#include "common/sha256.h"
#include "medium/installer_file.h"
#include "medium/signature.h"

namespace medium_signature {

inline constexpr const char* kSums = "SETUP.SUM";
inline constexpr const char* kSumsSignature = "SETUP.SUM.minisig";
inline constexpr const char* kPublicKey = "SETUP.PUB";

// Where an administrator puts the public keys that alone may sign the media
// this machine runs (fixed when the program is built, never read from the
// environment: a root installer must not be told by its caller whom to trust).
std::string trustedKeysDirectory();

struct TrustedKeys {
  struct Ignored {
    std::string path;  // the file in the directory
    std::string why;   // who else could have put it there or changed it
  };
  std::string directory;
  std::vector<signature::PublicKey> keys;
  std::vector<std::string> unreadable;  // files there that are no public key
  std::vector<Ignored> ignored;         // files there not trusted, with why
  // Whether the administrator has set trust: any file in the directory. A
  // file that is no key, or is not trusted, makes the check stricter, never
  // looser.
  bool enforced() const { return !keys.empty() || !unreadable.empty() || !ignored.empty(); }
};
// The keys of `directory`. A key is trusted only when no one but root could
// have put it there or changed it: the file and every folder above it
// belong to root and no one else can write them (a folder others may write
// only with its sticky bit, as /tmp, where they cannot replace root's
// entries); a symbolic link counts by its target, by the same rule. Other
// files are listed in `ignored` with why; files in order of their names.
TrustedKeys readTrustedKeys(const std::string& directory);

struct Signer {
  bool isSigned = false;
  std::string keyId;             // 16 hex digits
  std::string comment;           // the trusted comment
  std::string publicKey;         // the key's base64 line, to pin
  bool byAdministrator = false;  // checked with a key of the trusted-keys directory
};

struct Result {
  int status = 0;       // 0; 2 changed or damaged; 3 a signed file missing; 5 refused by trust
  std::string problem;  // why, naming the file or part
  Signer signer;
};

// The line that tells who signed a medium: `signed by key ID, comment
// "COMMENT"` (with " (trusted by this system)" after the ID for a key of the
// administrator's), or "unsigned". The comment is quoted with its quotes
// and backslashes escaped, its control characters shown as blanks.
std::string describe(const Signer& signer);

// One entry of a folder medium as the signature check sees it.
struct MediumFile {
  enum class Kind { File, Link, Folder, Other };
  std::string name;  // exactly as on disk, letter case kept
  Kind kind = Kind::Other;
};
// Every entry of the folder open as `folderFd` but "." and "..", sorted by
// name: its kind from the entry itself (a link is a link, never followed).
// Every reader of a folder medium is meant to take its names from here, so
// that what it opens is what the check saw.
std::vector<MediumFile> filesOf(int folderFd);

// Whether `name`, in any letter case, is an entry the setup program or the
// launcher reads from a folder medium: setup, SETUP.INS, SETUP.BIN,
// SETUP.nnn, SETUP.ATR, runtime.pak, uninstall, SETUP.PUB, the runtime
// folder.
bool isMediumFile(const std::string& name);

// Checks the folder medium `folder` (a signed one's files, and each listed
// file). `outsideKey` (setupkit verify --key) replaces the medium's own key.
// A signed medium is refused (status 2) when it holds, besides the listed
// files and the signature, a symbolic link of any name or a listed name
// that is no plain file, or an entry a reader of the medium might open:
// a name that differs from a listed one or from a file the programs read
// (setup, SETUP.INS, SETUP.BIN, SETUP.nnn, SETUP.ATR, runtime.pak,
// uninstall, SETUP.PUB, the runtime folder) only in letter case, or is one
// of them unlisted. Other files (a README beside it) are left alone.
Result checkFolder(const std::string& folder, const TrustedKeys& trusted,
                   const signature::PublicKey* outsideKey = nullptr);

// Checks the one-file installer open as `fd` with the parts `parts`.
Result checkOneFile(int fd, const installer::Parts& parts, const TrustedKeys& trusted,
                    const signature::PublicKey* outsideKey = nullptr);

// What the publisher's tool writes. One sum per named file.
struct Sum {
  std::string name;
  digest::Sha256Digest digest;
};
std::string sumsText(const std::vector<Sum>& sums);

// The three texts of a signed list.
struct SignedList {
  std::string publicKey, signature, sums;
  // The signature part of a one-file installer.
  std::string part() const { return publicKey + signature + sums; }
};
SignedList signSums(const signature::SecretKey& key, const std::vector<Sum>& sums, const std::string& trustedComment);

// SHA-256 of `size` bytes at `offset` of `fd` (size < 0: to the end).
bool sha256Of(int fd, int64_t offset, int64_t size, digest::Sha256Digest& out);

}  // namespace medium_signature
