#include "medium/medium_signature.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <map>
#include <utility>

#include "common/exit_status.h"
#include "common/file_digest.h"
#include "medium/medium_owner.h"
#include "platform/text_file.h"

#ifndef SETUPKIT_TRUSTED_KEYS_DIR
#define SETUPKIT_TRUSTED_KEYS_DIR "/etc/setupkit/trusted-keys"
#endif

namespace medium_signature {

namespace {

struct Fd {
  int fd = -1;
  Fd() = default;
  explicit Fd(int f) : fd(f) {}
  Fd(Fd&& other) noexcept : fd(std::exchange(other.fd, -1)) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd >= 0) close(fd);
  }
};

bool readWhole(int fd, std::string& text, int64_t limit = 1 << 24) {
  text.clear();
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    text.append(buffer, size_t(n));
    if (int64_t(text.size()) > limit) return false;
  }
}

// The file `name` in the folder open as `dir`, read whole; false when it is
// missing (errno tells) or no plain file.
bool readIn(int dir, const std::string& name, std::string& text) {
  Fd f{openat(dir, name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW)};
  struct stat st {};
  return f.fd >= 0 && fstat(f.fd, &st) == 0 && S_ISREG(st.st_mode) && readWhole(f.fd, text);
}

Result failed(int status, const std::string& problem, const Signer& signer = {}) {
  Result r;
  r.status = status;
  r.problem = problem;
  r.signer = signer;
  return r;
}

// The files of the trusted-keys directory that are not trusted, for a
// refusal: the administrator learns why a key put there did not count.
std::string ignoredNote(const TrustedKeys& trusted) {
  std::string note;
  for (const auto& file : trusted.ignored)
    note += (note.empty() ? "; not trusted there: " : "; ") + file.path + " (" + file.why + ")";
  return note;
}

// What an unsigned medium gets: it runs, unless the administrator or the
// outside check wants a signature.
Result unsignedResult(const TrustedKeys& trusted, const signature::PublicKey* outsideKey) {
  if (trusted.enforced())
    return failed(setupkit::kExitRefused, "it is unsigned, and this system runs only media signed by a key in " +
                                              trusted.directory + ignoredNote(trusted));
  if (outsideKey)
    return failed(setupkit::kExitRefused,
                  "it is unsigned: it was not signed by key " + signature::keyIdText(outsideKey->id));
  return {};
}

std::map<std::string, digest::Sha256Digest> parseSums(const std::string& text, std::string& problem) {
  std::map<std::string, digest::Sha256Digest> sums;
  for (const std::string& line : platform::linesOf(text)) {
    digest::Sha256Digest d{};
    // "HEX  NAME", or "HEX *NAME" as sha256sum writes for binary mode.
    std::string name = line.size() > 66 ? line.substr(66) : std::string();
    if (line.size() < 67 || line[64] != ' ' || (line[65] != ' ' && line[65] != '*') ||
        !digest::parseHex(line.substr(0, 64), d) || name.empty() || name[0] == '/' ||
        name.find("..") != std::string::npos || name.find('\\') != std::string::npos || sums.count(name)) {
      problem = "SETUP.SUM has a line that is no sum of a file of the medium: " + line;
      return {};
    }
    sums[name] = d;
  }
  return sums;
}

// The key that checks `sig`: the administrator's (when set), the outside
// one, or the medium's own. A refusal when none may.
Result chooseKey(const signature::Signature& sig, const TrustedKeys& trusted, const signature::PublicKey* outsideKey,
                 const std::string& ownKeyText, signature::PublicKey& key) {
  Signer signer;
  signer.isSigned = true;
  signer.keyId = signature::keyIdText(sig.keyId);
  signer.comment = sig.trustedComment;
  if (trusted.enforced()) {
    for (const auto& k : trusted.keys)
      if (k.id == sig.keyId) {
        key = k;
        signer.byAdministrator = true;
        return {0, {}, signer};
      }
    return failed(setupkit::kExitRefused,
                  "it is signed by key " + signer.keyId + ", which is not among the keys this system trusts in " +
                      trusted.directory + ignoredNote(trusted),
                  signer);
  }
  if (outsideKey) {
    if (outsideKey->id != sig.keyId)
      return failed(setupkit::kExitRefused,
                    "it is signed by key " + signer.keyId + ", not by key " + signature::keyIdText(outsideKey->id),
                    signer);
    key = *outsideKey;
    return {0, {}, signer};
  }
  std::string why;
  auto own = signature::parsePublicKey(ownKeyText, &why);
  if (!own) return failed(setupkit::kExitDamaged, std::string(kPublicKey) + " is missing or damaged: " + why, signer);
  key = *own;
  return {0, {}, signer};
}

// Checks the signature of the sums with the chosen key; the sums on success.
Result checkList(const std::string& sigText, const std::string& keyText, const std::string& sumsText,
                 const TrustedKeys& trusted, const signature::PublicKey* outsideKey,
                 std::map<std::string, digest::Sha256Digest>& sums) {
  std::string why;
  auto sig = signature::parseSignature(sigText, &why);
  if (!sig) return failed(setupkit::kExitDamaged, std::string(kSumsSignature) + " is damaged: " + why);
  signature::PublicKey key;
  Result r = chooseKey(*sig, trusted, outsideKey, keyText, key);
  if (r.status != 0) return r;
  signature::Hasher hasher;
  hasher.update(sumsText.data(), sumsText.size());
  why = signature::verify(key, *sig, hasher.digest());
  if (!why.empty()) return failed(setupkit::kExitDamaged, std::string(kSums) + ": " + why, r.signer);
  r.signer.publicKey = signature::base64Encode("Ed" + std::string(key.id.begin(), key.id.end()) +
                                               std::string(key.key.begin(), key.key.end()));
  sums = parseSums(sumsText, why);
  if (!why.empty()) return failed(setupkit::kExitDamaged, why, r.signer);
  return r;
}

std::string changed(const std::string& what) { return what + " was changed after it was signed"; }

std::string folded(std::string name) {
  for (char& c : name) c = char(std::tolower((unsigned char)c));
  return name;
}


// The file `name` of the directory open as `dir` (host path `path`),
// opened when root alone could have made it what it is; else `why` says who
// else could. A link counts by its target and the folders above that.
Fd openRootsFile(int dir, const std::string& name, const std::string& path, std::string& why) {
  struct stat st {};
  if (fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    why = std::strerror(errno);
    return {};
  }
  Fd f;
  std::string shown = "it";
  if (S_ISLNK(st.st_mode)) {
    char* real = realpath(path.c_str(), nullptr);
    if (!real) {
      why = std::string("a link that leads nowhere: ") + std::strerror(errno);
      return {};
    }
    const std::string target = real;
    free(real);
    why = medium_owner::foldersChangeable(target.substr(0, target.rfind('/')));
    if (!why.empty()) return {};
    f.fd = open(target.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    shown = "its target " + target;
  } else {
    f.fd = openat(dir, name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
  }
  if (f.fd < 0 || fstat(f.fd, &st) != 0) {
    why = std::strerror(errno);
  } else if (!S_ISREG(st.st_mode)) {
    why = shown + " is no plain file";
  } else if (st.st_uid != 0) {
    why = shown + " belongs to uid " + std::to_string(st.st_uid);
  } else if (st.st_mode & 022) {
    why = "others can write " + shown;
  }
  if (why.empty()) return f;
  return {};
}

}  // namespace

std::string trustedKeysDirectory() { return SETUPKIT_TRUSTED_KEYS_DIR; }

// Every reader looks a name up in another letter case when the exact one is
// missing, so a signed medium must cover each of these in any case. The
// runtime folder holds libraries the program would load.
bool isMediumFile(const std::string& name) {
  static const char* const kNames[] = {"setup",       "setup.ins", "setup.bin", "setup.atr",
                                       "runtime.pak", "uninstall", "setup.pub", "runtime"};
  const std::string f = folded(name);
  for (const char* n : kNames)
    if (f == n) return true;
  // Continuation volumes: SETUP.002 ... SETUP.999.
  return f.size() == 9 && f.compare(0, 6, "setup.") == 0 &&
         std::all_of(f.begin() + 6, f.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::vector<MediumFile> filesOf(int folderFd) {
  std::vector<MediumFile> files;
  DIR* listing = fdopendir(dup(folderFd));
  if (!listing) return files;
  rewinddir(listing);
  while (dirent* e = readdir(listing)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    MediumFile file{name, MediumFile::Kind::Other};
    struct stat st {};
    if (fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
      file.kind = S_ISLNK(st.st_mode)   ? MediumFile::Kind::Link
                  : S_ISREG(st.st_mode) ? MediumFile::Kind::File
                  : S_ISDIR(st.st_mode) ? MediumFile::Kind::Folder
                                        : MediumFile::Kind::Other;
    files.push_back(std::move(file));
  }
  closedir(listing);
  std::sort(files.begin(), files.end(), [](const MediumFile& a, const MediumFile& b) { return a.name < b.name; });
  return files;
}

TrustedKeys readTrustedKeys(const std::string& directory) {
  TrustedKeys trusted;
  trusted.directory = directory;
  Fd dir{open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
  if (dir.fd < 0) return trusted;
  DIR* listing = fdopendir(dup(dir.fd));
  if (!listing) return trusted;
  std::vector<std::string> names;
  while (dirent* e = readdir(listing))
    if (e->d_name[0] != '.') names.push_back(e->d_name);
  closedir(listing);
  std::sort(names.begin(), names.end());
  // The directory and the folders above it, once for all its files.
  std::string folderWhy;
  char* real = realpath(directory.c_str(), nullptr);
  folderWhy = real ? medium_owner::foldersChangeable(real)
                   : "the folder cannot be resolved: " + std::string(std::strerror(errno));
  free(real);
  for (const std::string& name : names) {
    const std::string path = directory + "/" + name;
    // Every file there counts: one that is no key, or that someone else
    // could have changed, makes trust stricter, never looser.
    if (!folderWhy.empty()) {
      trusted.ignored.push_back({path, folderWhy});
      continue;
    }
    std::string why;
    Fd f = openRootsFile(dir.fd, name, path, why);
    if (!why.empty()) {
      trusted.ignored.push_back({path, why});
      continue;
    }
    std::string text;
    const bool read = f.fd >= 0 && readWhole(f.fd, text, 4096);
    auto key = read ? signature::parsePublicKey(text) : std::nullopt;
    if (key)
      trusted.keys.push_back(*key);
    else
      trusted.unreadable.push_back(path);
  }
  return trusted;
}

std::string describe(const Signer& signer) {
  if (!signer.isSigned) return "unsigned";
  // The comment is the signer's text, the rest this system's: it stands in
  // quotes with its quotes and backslashes escaped, so that no comment
  // reads as the trust mark or closes its quotes early.
  std::string comment;
  for (char c : signer.comment) {
    if ((unsigned char)c < 0x20 || c == 0x7f) c = ' ';
    if (c == '"' || c == '\\') comment += '\\';
    comment += c;
  }
  return "signed by key " + signer.keyId + (signer.byAdministrator ? " (trusted by this system)" : "") +
         (signer.comment.empty() ? "" : ", comment \"" + comment + "\"");
}

bool sha256Of(int fd, int64_t offset, int64_t size, digest::Sha256Digest& out) {
  digest::Sha256 sha;
  if (!readRange(fd, offset, size, [&sha](const uint8_t* data, size_t n) { sha.update(data, n); })) return false;
  out = sha.finish();
  return true;
}

Result checkFolder(const std::string& folder, const TrustedKeys& trusted, const signature::PublicKey* outsideKey) {
  Fd dir{open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
  if (dir.fd < 0) return failed(setupkit::kExitMissing, "cannot read " + folder + ": " + std::strerror(errno));
  std::string sigText, keyText, sumsText;
  if (!readIn(dir.fd, kSumsSignature, sigText)) {
    if (errno != ENOENT) return failed(setupkit::kExitDamaged, std::string("cannot read ") + kSumsSignature);
    return unsignedResult(trusted, outsideKey);
  }
  if (!readIn(dir.fd, kSums, sumsText))
    return failed(setupkit::kExitMissing, std::string(kSums) + " is missing beside its signature");
  readIn(dir.fd, kPublicKey, keyText);
  std::map<std::string, digest::Sha256Digest> sums;
  Result r = checkList(sigText, keyText, sumsText, trusted, outsideKey, sums);
  if (r.status != 0) return r;
  // What the signature does not cover, before any file is read: a link
  // (a reader would follow it), or an entry a reader may open under
  // another letter case or that the programs read unlisted.
  std::map<std::string, std::string> listed;  // folded name -> the listed one
  for (const auto& [name, digest] : sums) listed.emplace(folded(name), name);
  for (const MediumFile& file : filesOf(dir.fd)) {
    const bool signature = file.name == kSums || file.name == kSumsSignature;
    if (file.kind == MediumFile::Kind::Link)
      return failed(setupkit::kExitDamaged, file.name + " is a link, and links are not among the files signed",
                    r.signer);
    if (signature || sums.count(file.name)) {
      if (file.kind != MediumFile::Kind::File)
        return failed(setupkit::kExitDamaged, file.name + " is no plain file, as it was signed", r.signer);
      continue;
    }
    if (isMediumFile(file.name) || listed.count(folded(file.name)))
      return failed(setupkit::kExitDamaged, file.name + " is not among the files signed: it was added after signing",
                    r.signer);
  }
  for (const auto& [name, expected] : sums) {
    Fd f{openat(dir.fd, name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK)};
    if (f.fd < 0) return failed(setupkit::kExitMissing, name + " is missing: it is among the files signed", r.signer);
    struct stat st {};
    if (fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode))
      return failed(setupkit::kExitDamaged, name + " is no plain file, as it was signed", r.signer);
    digest::Sha256Digest d{};
    if (!sha256Of(f.fd, 0, -1, d)) return failed(setupkit::kExitMissing, "cannot read " + name, r.signer);
    if (d != expected) return failed(setupkit::kExitDamaged, changed(name), r.signer);
  }
  return r;
}

Result checkOneFile(int fd, const installer::Parts& parts, const TrustedKeys& trusted,
                    const signature::PublicKey* outsideKey) {
  if (parts.signature == 0) return unsignedResult(trusted, outsideKey);
  std::string part(size_t(std::min<int64_t>(parts.signature, 1 << 20)), '\0');
  if (pread(fd, part.data(), part.size(), off_t(parts.signatureOffset())) != ssize_t(part.size()) ||
      parts.signature > (1 << 20))
    return failed(setupkit::kExitDamaged, "its signature part cannot be read");
  // The key's two lines, the signature's four, then the sums.
  size_t at = 0;
  auto lines = [&](int n) {
    const size_t from = at;
    for (int i = 0; i < n && at != std::string::npos; ++i) {
      at = part.find('\n', at);
      if (at != std::string::npos) ++at;
    }
    return at == std::string::npos ? std::string() : part.substr(from, at - from);
  };
  const std::string keyText = lines(2), sigText = lines(4);
  const std::string sumsText = at == std::string::npos ? std::string() : part.substr(at);
  std::map<std::string, digest::Sha256Digest> sums;
  Result r = checkList(sigText, keyText, sumsText, trusted, outsideKey, sums);
  if (r.status != 0) return r;
  struct Stretch {
    const char* name;
    const char* shown;
    int64_t offset, size;
  };
  const Stretch stretches[] = {
      {"setup", "the launcher (the program at the start of the file)", 0, parts.launcher},
      {"SETUP.INS", "SETUP.INS", parts.configurationOffset(), parts.configuration},
      {"runtime.pak", "the packed runtime (runtime.pak)", parts.runtimeOffset(), parts.runtime},
      {"SETUP.BIN", "the archive (SETUP.BIN)", parts.archiveOffset(), parts.archive},
      {"SETUP.ATR", "SETUP.ATR (the file attributes)", parts.attributesOffset(), parts.attributes},
  };
  for (const Stretch& s : stretches) {
    const auto it = sums.find(s.name);
    if (it == sums.end()) {
      if (s.size == 0) continue;
      return failed(setupkit::kExitDamaged, std::string(s.shown) + " is not among the parts signed", r.signer);
    }
    digest::Sha256Digest d{};
    if (!sha256Of(fd, s.offset, s.size, d))
      return failed(setupkit::kExitMissing, std::string("cannot read ") + s.shown, r.signer);
    if (d != it->second) return failed(setupkit::kExitDamaged, changed(s.shown), r.signer);
  }
  return r;
}

std::string sumsText(const std::vector<Sum>& sums) {
  std::string text;
  for (const Sum& s : sums) text += digest::hexOf(s.digest) + "  " + s.name + "\n";
  return text;
}

}  // namespace medium_signature
