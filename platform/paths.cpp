#include "platform/paths.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/current_dir.h"
#include "platform/drives.h"
#include "platform/errors.h"
#include "platform/host_lookup.h"

namespace platform {

namespace {

std::string lowerAscii(std::string s) {
  for (char& c : s) c = char(std::tolower((unsigned char)c));
  return s;
}

std::vector<std::string> splitComponents(const std::string& rest) {
  std::vector<std::string> parts;
  std::string cur;
  for (char c : rest) {
    if (isSeparator(c)) {
      if (!cur.empty()) parts.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) parts.push_back(cur);
  return parts;
}

// prefix is "C:" or "\\server\share"; rest is what follows it.
std::string fold(const std::string& prefix, const std::string& rest, bool trailing) {
  std::vector<std::string> out;
  for (auto& part : splitComponents(rest)) {
    if (part == ".") continue;
    if (part == "..") {
      if (!out.empty()) out.pop_back();
      continue;
    }
    out.push_back(part);
  }
  std::string result = prefix;
  for (auto& part : out) result += "\\" + part;
  if (out.empty() || trailing) result += "\\";
  return result;
}

// ---- case-insensitive lookup with cached directory listings ----

// What identifies one state of a directory: any entry added or removed changes
// its modification time (and, on most file systems, its size or link count);
// a directory removed and made anew is another inode.
struct DirVersion {
  int64_t mtimeNs = 0;
  uint64_t ino = 0;
  uint64_t dev = 0;
  int64_t size = 0;
  uint64_t links = 0;
  bool operator==(const DirVersion&) const = default;
};

struct Listing {
  DirVersion version;
  // Made by this process while an OwnDirectories object lived: the listing is
  // kept up to date by this process alone and trusted without a version check.
  bool own = false;
  std::unordered_set<std::string> names;                    // every entry, exact
  std::unordered_map<std::string, std::string> byLowerName;  // first entry of each lower-case name
  void add(const std::string& name) {
    names.insert(name);
    byLowerName.emplace(lowerAscii(name), name);
  }
  void remove(const std::string& name) {
    if (!names.erase(name)) return;
    const std::string lower = lowerAscii(name);
    auto it = byLowerName.find(lower);
    if (it == byLowerName.end() || it->second != name) return;
    byLowerName.erase(it);
    for (const auto& other : names)
      if (lowerAscii(other) == lower) {
        byLowerName.emplace(lower, other);
        break;
      }
  }
};

std::mutex gCacheMutex;
std::unordered_map<std::string, Listing> gCache;
int gOwnDepth = 0;  // OwnDirectories objects alive
// Enough for the directories of a large installation, so that a restore's
// own listings are rarely dropped while it still writes into them.
constexpr size_t kCachedListings = 4096;

// The listing of `dir` when it is one of this process's own: current without
// asking the file system. Call with gCacheMutex held.
Listing* ownListing(const std::string& dir) {
  if (gOwnDepth == 0) return nullptr;
  auto it = gCache.find(dir);
  return it != gCache.end() && it->second.own ? &it->second : nullptr;
}

DirVersion versionOf(const struct stat& st) {
  return DirVersion{int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec, uint64_t(st.st_ino),
                    uint64_t(st.st_dev), int64_t(st.st_size), uint64_t(st.st_nlink)};
}

// Stores a listing; the cache is emptied now and then so that it stays small.
Listing& storeListing(const std::string& dir, Listing listing) {
  if (gCache.size() > kCachedListings) gCache.clear();
  return gCache.insert_or_assign(dir, std::move(listing)).first->second;
}

bool isCached(const std::string& dir) {
  std::lock_guard<std::mutex> lock(gCacheMutex);
  return gCache.count(dir) != 0;
}

// How a name stands in a directory according to its cached listing.
struct CachedEntry {
  enum Kind { NoListing, Exact, Variant, Missing } kind = NoListing;
  std::string real;  // the variant's name
};

// Answers from the cached listing of `dir`, without touching the file system,
// when it is one of this process's own or current for `dirStat` (when given).
CachedEntry lookUpCached(const std::string& dir, const std::string& name, const struct stat* dirStat) {
  std::lock_guard<std::mutex> lock(gCacheMutex);
  auto it = gCache.find(dir);
  if (it == gCache.end()) return {};
  const Listing& l = it->second;
  const bool current = (l.own && gOwnDepth > 0) || (dirStat && l.version == versionOf(*dirStat));
  if (!current) return {};
  if (l.names.count(name)) return {CachedEntry::Exact, {}};
  auto found = l.byLowerName.find(lowerAscii(name));
  if (found == l.byLowerName.end()) return {CachedEntry::Missing, {}};
  return {CachedEntry::Variant, found->second};
}

// The real name of `name` in host directory `dir`, ignoring letter case.
// `known` is the directory's stat when the caller has just taken it.
std::optional<std::string> findInsensitive(const std::string& dir, const std::string& name,
                                           const struct stat* known = nullptr) {
  {
    std::lock_guard<std::mutex> lock(gCacheMutex);
    if (const Listing* own = ownListing(dir)) {
      auto found = own->byLowerName.find(lowerAscii(name));
      if (found == own->byLowerName.end()) return std::nullopt;
      return found->second;
    }
  }
  struct stat st {};
  if (known)
    st = *known;
  else if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    return std::nullopt;
  std::lock_guard<std::mutex> lock(gCacheMutex);
  auto it = gCache.find(dir);
  const Listing* l = it == gCache.end() || !(it->second.version == versionOf(st)) ? nullptr : &it->second;
  if (!l) {
    // The version is taken before the entries are read: a change made while
    // reading gives the directory a newer version, and the next lookup reads again.
    Listing fresh;
    fresh.version = versionOf(st);
    if (DIR* d = opendir(dir.c_str())) {
      while (dirent* e = readdir(d)) fresh.add(e->d_name);
      closedir(d);
    }
    l = &storeListing(dir, std::move(fresh));
  }
  auto found = l->byLowerName.find(lowerAscii(name));
  if (found == l->byLowerName.end()) return std::nullopt;
  return found->second;
}

std::string joinHost(const std::string& dir, const std::string& name) {
  return dir == "/" ? "/" + name : dir + "/" + name;
}

bool hostExists(const std::string& p) {
  struct stat st {};
  return lstat(p.c_str(), &st) == 0;
}

bool isHostDirectory(const std::string& p, struct stat& st) { return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode); }

// The host path of the components `parts` below the host directory `root`:
// each component under its exact name when that exists, else under a name
// that differs only in letter case, else as given. When `lookup` is given, the
// exact path is stat()ed first and the outcome kept when the exact path is
// the answer.
std::string resolveBelow(const std::string& root, const std::vector<std::string>& parts, HostLookup* lookup) {
  std::string exact = root;
  for (auto& p : parts) exact = joinHost(exact, p);
  int exactErrno = 0;
  if (lookup) {
    if (stat(exact.c_str(), &lookup->st) == 0) {
      lookup->statKnown = true;
      return exact;
    }
    exactErrno = errno;
  }
  auto answer = [&](std::string host) {
    if (lookup && host == exact) {
      lookup->statKnown = true;
      lookup->statErrno = exactErrno;
    }
    return host;
  };

  std::string parent = root;
  for (size_t i = 0; i + 1 < parts.size(); ++i) parent = joinHost(parent, parts[i]);
  const std::string& name = parts.back();
  // A directory of this process's own answers at once.
  {
    CachedEntry e = lookUpCached(parent, name, nullptr);
    if (e.kind == CachedEntry::Exact || e.kind == CachedEntry::Missing) return answer(exact);
    if (e.kind == CachedEntry::Variant) return answer(joinHost(parent, e.real));
  }
  struct stat parentStat {};
  bool parentStatted = false;
  bool parentIsDirectory = false;
  // A current listing of the parent answers without testing the name itself.
  if (isCached(parent)) {
    parentStatted = true;
    parentIsDirectory = isHostDirectory(parent, parentStat);
    if (parentIsDirectory) {
      CachedEntry e = lookUpCached(parent, name, &parentStat);
      if (e.kind == CachedEntry::Exact || e.kind == CachedEntry::Missing) return answer(exact);
      if (e.kind == CachedEntry::Variant) return answer(joinHost(parent, e.real));
    }
  }
  if (!lookup || exactErrno != ENOTDIR) {
    // A failed stat() may still leave a name that exists: a dangling link.
    if (hostExists(exact)) return answer(exact);
  }
  if (!parentStatted) parentIsDirectory = isHostDirectory(parent, parentStat);
  if (parentIsDirectory) {
    // The exact name is known to be missing (a file about to be created, as a
    // rule): look for it by letter case only.
    auto real = findInsensitive(parent, name, &parentStat);
    return answer(real ? joinHost(parent, *real) : exact);
  }

  // Some directory on the way is missing under its exact name. Every prefix
  // that exists under its exact names keeps them, so the walk starts at the
  // deepest such prefix; from the first component that exists under no name
  // at all, nothing below can exist and the rest is taken as given.
  size_t start = parts.size() - 1;
  std::vector<std::string> prefixes(parts.size());
  std::string prefix = root;
  for (size_t i = 0; i < parts.size(); ++i) prefixes[i] = prefix = joinHost(prefix, parts[i]);
  while (start > 0 && !hostExists(prefixes[start - 1])) --start;
  std::string host = start == 0 ? root : prefixes[start - 1];
  size_t i = start;
  for (; i < parts.size(); ++i) {
    std::string next = joinHost(host, parts[i]);
    if (hostExists(next)) {
      host = next;
      continue;
    }
    auto real = findInsensitive(host, parts[i]);
    host = real ? joinHost(host, *real) : next;
    if (!real) {
      ++i;
      break;
    }
  }
  for (; i < parts.size(); ++i) host = joinHost(host, parts[i]);
  return answer(host);
}

std::string trimHostRoot(std::string root) {
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  return root;
}

}  // namespace

bool isUncPath(const std::string& path) { return path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1]); }

std::string expandPath(const std::string& input) {
  std::string s = input;
  for (char& c : s)
    if (c == '/') c = '\\';
  bool trailing = !s.empty() && s.back() == '\\';
  if (isUncPath(s)) {
    // \\server\share is the prefix; the rest folds like a path on a drive.
    auto parts = splitComponents(s);
    std::string prefix = "\\";
    size_t i = 0;
    for (; i < parts.size() && i < 2; ++i) prefix += "\\" + parts[i];
    std::string rest;
    for (; i < parts.size(); ++i) rest += "\\" + parts[i];
    return fold(prefix, rest, trailing);
  }
  if (s.size() >= 2 && s[1] == ':' && std::isalpha((unsigned char)s[0])) {
    char letter = char(std::toupper((unsigned char)s[0]));
    std::string rest = s.substr(2);
    if (!rest.empty() && rest[0] == '\\') return fold(std::string(1, letter) + ":", rest, trailing);
    std::string base = driveCurrentDirectory(letter);
    return expandPath(rest.empty() ? base : base + "\\" + rest + (trailing ? "\\" : ""));
  }
  std::string cur = getCurrentDirectory();
  if (!s.empty() && s[0] == '\\') {
    if (isUncPath(cur)) {
      auto parts = splitComponents(cur);
      return expandPath("\\\\" + parts[0] + "\\" + parts[1] + s);
    }
    return fold(cur.substr(0, 2), s, trailing);
  }
  if (s.empty()) return cur;
  return expandPath(cur + "\\" + s);
}

namespace {

// The drive root and the components of a Windows-form path; empty (and
// lastError set) when the path has no host form.
std::optional<std::pair<std::string, std::vector<std::string>>> hostParts(const std::string& path) {
  // A zero byte would cut the host path short and name another file.
  if (path.find('\0') != std::string::npos) {
    setLastError(kErrorInvalidName);
    return std::nullopt;
  }
  std::string full = expandPath(path);
  if (isUncPath(full)) {
    setLastError(kErrorBadNetPath);
    return std::nullopt;
  }
  const Drive* drive = findDrive(full[0]);
  if (!drive) {
    setLastError(kErrorPathNotFound);
    return std::nullopt;
  }
  if (!drive->mediumPresent) {
    setLastError(kErrorNotReady);
    return std::nullopt;
  }
  return std::make_pair(trimHostRoot(drive->hostRoot), splitComponents(full.substr(2)));
}

}  // namespace

std::optional<std::string> hostPathOf(const std::string& path) {
  auto parts = hostParts(path);
  if (!parts) return std::nullopt;
  if (parts->second.empty()) return parts->first;
  return resolveBelow(parts->first, parts->second, nullptr);
}

std::optional<HostLookup> lookupHostPath(const std::string& path) {
  auto parts = hostParts(path);
  if (!parts) return std::nullopt;
  HostLookup lookup;
  if (parts->second.empty())
    lookup.path = parts->first;
  else
    lookup.path = resolveBelow(parts->first, parts->second, &lookup);
  return lookup;
}

std::optional<std::string> virtualPathOf(const std::string& hostPathIn) {
  std::string hostPath = trimHostRoot(hostPathIn);
  if (hostPath.empty() || hostPath[0] != '/') return std::nullopt;
  const Drive* best = nullptr;
  size_t bestLength = 0;
  for (const auto& d : driveTable()) {
    std::string root = trimHostRoot(d.hostRoot);
    bool covers = root == "/" || hostPath == root ||
                  (hostPath.size() > root.size() && hostPath.compare(0, root.size(), root) == 0 &&
                   hostPath[root.size()] == '/');
    if (covers && (!best || root.size() > bestLength)) {
      best = &d;
      bestLength = root.size();
    }
  }
  if (!best) return std::nullopt;
  std::string rest = bestLength == 1 ? hostPath.substr(1) : hostPath.substr(std::min(hostPath.size(), bestLength + 1));
  for (char& c : rest)
    if (c == '/') c = '\\';
  return std::string(1, best->letter) + ":\\" + rest;
}

namespace {
// The host directory and the name of a host path; false for a bare name.
bool splitHostPath(const std::string& hostPath, std::string& dir, std::string& name) {
  auto slash = hostPath.find_last_of('/');
  if (slash == std::string::npos) return false;
  dir = slash == 0 ? "/" : hostPath.substr(0, slash);
  name = hostPath.substr(slash + 1);
  return true;
}
}  // namespace

void noteHostEntryCreated(const std::string& hostPath) {
  std::string dir, name;
  if (!splitHostPath(hostPath, dir, name)) return;
  std::lock_guard<std::mutex> lock(gCacheMutex);
  if (Listing* own = ownListing(dir)) {
    own->add(name);
    return;
  }
  auto it = gCache.find(dir);
  if (it == gCache.end()) return;
  struct stat st {};
  if (stat(dir.c_str(), &st) != 0) {
    gCache.erase(it);
    return;
  }
  it->second.add(name);
  it->second.version = versionOf(st);
}

void noteHostEntryRemoved(const std::string& hostPath) {
  std::string dir, name;
  if (!splitHostPath(hostPath, dir, name)) return;
  std::lock_guard<std::mutex> lock(gCacheMutex);
  if (Listing* own = ownListing(dir)) own->remove(name);
}

void noteHostEntryRenamed(const std::string& fromHostPath, const std::string& toHostPath) {
  noteHostEntryRemoved(fromHostPath);
  std::string dir, name;
  if (!splitHostPath(toHostPath, dir, name)) return;
  std::lock_guard<std::mutex> lock(gCacheMutex);
  if (Listing* own = ownListing(dir)) own->add(name);
}

void noteHostDirectoryCreated(const std::string& hostPath) {
  noteHostEntryCreated(hostPath);
  // Just made, the directory holds only "." and "..". While this process owns
  // the directories it makes, that listing is kept up to date here; otherwise
  // its version taken now stands for it, and any later change gives it
  // another version.
  Listing empty;
  empty.add(".");
  empty.add("..");
  {
    std::lock_guard<std::mutex> lock(gCacheMutex);
    if (gOwnDepth > 0) {
      empty.own = true;
      storeListing(hostPath, std::move(empty));
      return;
    }
  }
  struct stat st {};
  if (stat(hostPath.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return;
  empty.version = versionOf(st);
  std::lock_guard<std::mutex> lock(gCacheMutex);
  storeListing(hostPath, std::move(empty));
}

OwnDirectories::OwnDirectories() {
  std::lock_guard<std::mutex> lock(gCacheMutex);
  ++gOwnDepth;
}

OwnDirectories::~OwnDirectories() {
  std::lock_guard<std::mutex> lock(gCacheMutex);
  if (--gOwnDepth > 0) return;
  // The listings were kept without versions: once the owner is gone they
  // would look stale anyway, and a later owner must not trust them.
  for (auto it = gCache.begin(); it != gCache.end();)
    it = it->second.own ? gCache.erase(it) : std::next(it);
}

}  // namespace platform
