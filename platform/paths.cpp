#include "platform/paths.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/current_dir.h"
#include "platform/drives.h"
#include "platform/errors.h"
#include "platform/host_lookup.h"
#include "platform/name_listing.h"

namespace platform {

namespace {

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

// Cache keys are host directories; lookups pass views into longer paths.
struct PathHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
};

std::mutex gCacheMutex;
std::unordered_map<std::string, Listing, PathHash, std::equal_to<>> gCache;
// Enough for the directories of a large tree.
constexpr size_t kCachedListings = 4096;

// Stores a listing; the cache is emptied now and then so that it stays small.
Listing& storeListing(const std::string& dir, Listing listing) {
  if (gCache.size() > kCachedListings) gCache.clear();
  return gCache.insert_or_assign(dir, std::move(listing)).first->second;
}

bool isCached(std::string_view dir) {
  std::lock_guard<std::mutex> lock(gCacheMutex);
  return gCache.find(dir) != gCache.end();
}

// Answers from the cached listing of `dir`, without touching the file system,
// when it is current for `dirStat` (when given).
CachedEntry lookUpCached(std::string_view dir, std::string_view name, const struct stat* dirStat) {
  std::lock_guard<std::mutex> lock(gCacheMutex);
  auto it = gCache.find(dir);
  if (it == gCache.end()) return {};
  const Listing& l = it->second;
  if (!dirStat || !(l.version == versionOf(*dirStat))) return {};
  return l.find(name);
}

// The real name of `name` in host directory `dir`, ignoring letter case.
// `known` is the directory's stat when the caller has just taken it.
std::optional<std::string> findInsensitive(const std::string& dir, std::string_view name,
                                           const struct stat* known = nullptr) {
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
  return l->firstVariant(name);
}

// `dir` followed by the host name `name`.
std::string joinHost(std::string_view dir, std::string_view name) {
  std::string joined;
  joined.reserve(dir.size() + 1 + name.size());
  joined = dir;
  if (dir != "/") joined += '/';
  joined += name;
  return joined;
}

bool hostExists(const std::string& p) {
  struct stat st {};
  return lstat(p.c_str(), &st) == 0;
}

bool isHostDirectory(const std::string& p, struct stat& st) { return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode); }

// A Windows-form path on a drive in host terms.
struct HostPlan {
  std::string_view root;  // the drive's host root: no trailing '/' unless it is "/"
  std::string exact;      // the root followed by "/component" for every component, as given
  size_t components = 0;
};

// The host path of the components of `plan` below its root: each component
// under its exact name when that exists, else under a name that differs only
// in letter case, else as given. When `lookup` is given, the exact path is
// stat()ed first and the outcome kept when the exact path is the answer.
std::string resolveBelow(HostPlan plan, HostLookup* lookup) {
  std::string exact = std::move(plan.exact);
  int exactErrno = 0;
  if (lookup) {
    if (stat(exact.c_str(), &lookup->st) == 0) {
      lookup->statKnown = true;
      return exact;
    }
    exactErrno = errno;
  }
  auto answerExact = [&]() {
    if (lookup) {
      lookup->statKnown = true;
      lookup->statErrno = exactErrno;
    }
    return std::move(exact);
  };
  auto answer = [&](std::string host) { return host == exact ? answerExact() : std::move(host); };
  // The host opens no longer path, so no spelling of it can exist; looking
  // for one would cost time in the square of its depth.
  if (exact.size() >= PATH_MAX) return answerExact();

  // Components hold no '/': the last one is the name, what precedes it the parent.
  const size_t nameSlash = exact.rfind('/');
  const std::string_view name = std::string_view(exact).substr(nameSlash + 1);
  const std::string_view parentView = plan.components == 1 ? plan.root : std::string_view(exact).substr(0, nameSlash);
  // A listing of the parent that is current answers without testing the
  // name itself, once a stat() of the parent shows it unchanged.
  std::string host;
  auto answeredByListing = [&](const struct stat* parentStat) {
    CachedEntry e = lookUpCached(parentView, name, parentStat);
    if (e.kind == CachedEntry::NoListing) return false;
    host = e.kind == CachedEntry::Variant ? answer(joinHost(parentView, e.real)) : answerExact();
    return true;
  };
  const std::string parent(parentView);
  struct stat parentStat {};
  bool parentStatted = false;
  bool parentIsDirectory = false;
  if (isCached(parent)) {
    parentStatted = true;
    parentIsDirectory = isHostDirectory(parent, parentStat);
    if (parentIsDirectory && answeredByListing(&parentStat)) return host;
  }
  if (!lookup || exactErrno != ENOTDIR) {
    // A failed stat() may still leave a name that exists: a dangling link.
    if (hostExists(exact)) return answerExact();
  }
  if (!parentStatted) parentIsDirectory = isHostDirectory(parent, parentStat);
  if (parentIsDirectory) {
    // The exact name is known to be missing (a file about to be created, as a
    // rule): look for it by letter case only.
    auto real = findInsensitive(parent, name, &parentStat);
    return real ? answer(joinHost(parent, *real)) : answerExact();
  }

  // Some directory on the way is missing under its exact name. Every prefix
  // that exists under its exact names keeps them, so the walk starts at the
  // deepest such prefix; from the first component that exists under no name
  // at all, nothing below can exist and the rest is taken as given.
  std::vector<size_t> slashes;  // where the '/' before each component stands in `exact`
  slashes.reserve(plan.components);
  for (size_t i = plan.root == "/" ? 0 : plan.root.size(); i < exact.size(); ++i)
    if (exact[i] == '/') slashes.push_back(i);
  const size_t n = slashes.size();
  auto endOf = [&](size_t i) { return i + 1 < n ? slashes[i + 1] : exact.size(); };
  auto prefixThrough = [&](size_t i) { return exact.substr(0, endOf(i)); };
  auto component = [&](size_t i) { return std::string_view(exact).substr(slashes[i] + 1, endOf(i) - slashes[i] - 1); };
  size_t start = n - 1;
  while (start > 0 && !hostExists(prefixThrough(start - 1))) --start;
  host = start == 0 ? std::string(plan.root) : prefixThrough(start - 1);
  size_t i = start;
  for (; i < n; ++i) {
    std::string next = joinHost(host, component(i));
    if (hostExists(next)) {
      host = std::move(next);
      continue;
    }
    auto real = findInsensitive(host, component(i));
    host = real ? joinHost(host, *real) : std::move(next);
    if (!real) {
      ++i;
      break;
    }
  }
  for (; i < n; ++i) host = joinHost(host, component(i));
  return answer(std::move(host));
}

std::string_view trimHostRoot(std::string_view root) {
  while (root.size() > 1 && root.back() == '/') root.remove_suffix(1);
  return root;
}

// Whether `s` is a full path on a drive that expanding leaves as it is (but
// for the drive letter's case): "X:\" and components separated by single
// backslashes, none of them "." or "..". Paths from a restore's target
// directory are all of this form.
bool isFoldedDrivePath(std::string_view s) {
  if (s.size() < 3 || s[1] != ':' || s[2] != '\\' || !std::isalpha((unsigned char)s[0])) return false;
  size_t start = 3;
  for (size_t i = 3; i <= s.size(); ++i) {
    if (i < s.size() && s[i] != '\\') {
      if (s[i] == '/') return false;
      continue;
    }
    const std::string_view part = s.substr(start, i - start);
    // An empty component is a doubled separator, unless it ends the path.
    if ((part.empty() && i < s.size()) || part == "." || part == "..") return false;
    start = i + 1;
  }
  return true;
}

}  // namespace

bool isUncPath(const std::string& path) { return path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1]); }

std::string expandPath(const std::string& input) {
  if (isFoldedDrivePath(input)) {
    std::string s = input;
    s[0] = char(std::toupper((unsigned char)s[0]));
    return s;
  }
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

// The host plan of a Windows-form path; empty (and lastError set) when the
// path has no host form.
std::optional<HostPlan> hostPlanOf(const std::string& path) {
  // A zero byte would cut the host path short and name another file.
  if (path.find('\0') != std::string::npos) {
    setLastError(kErrorInvalidName);
    return std::nullopt;
  }
  // A full path that expanding would not change is taken as it is.
  const bool folded = isFoldedDrivePath(path);
  std::string expanded;
  std::string_view full = path;
  if (!folded) full = expanded = expandPath(path);
  if (full.size() >= 2 && isSeparator(full[0]) && isSeparator(full[1])) {
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
  HostPlan plan;
  plan.root = trimHostRoot(drive->hostRoot);
  plan.exact.reserve(plan.root.size() + full.size());
  if (plan.root != "/") plan.exact = plan.root;
  if (folded) {
    // "X:\a\b", perhaps with a trailing "\", has a component after each "\".
    const size_t from = plan.exact.size();
    plan.exact.append(full, 2);
    for (size_t i = from; i < plan.exact.size(); ++i)
      if (plan.exact[i] == '\\') {
        plan.exact[i] = '/';
        ++plan.components;
      }
    if (plan.exact.back() == '/') {
      plan.exact.pop_back();
      --plan.components;
    }
    return plan;
  }
  // Everything after "X:", split at either separator; empty components fall away.
  for (size_t i = 2; i < full.size();) {
    if (isSeparator(full[i])) {
      ++i;
      continue;
    }
    size_t end = i;
    while (end < full.size() && !isSeparator(full[end])) ++end;
    plan.exact += '/';
    plan.exact.append(full, i, end - i);
    ++plan.components;
    i = end;
  }
  return plan;
}

}  // namespace

std::optional<std::string> hostPathOf(const std::string& path) {
  auto plan = hostPlanOf(path);
  if (!plan) return std::nullopt;
  if (plan->components == 0) return std::string(plan->root);
  return resolveBelow(std::move(*plan), nullptr);
}

std::optional<HostLookup> lookupHostPath(const std::string& path) {
  auto plan = hostPlanOf(path);
  if (!plan) return std::nullopt;
  HostLookup lookup;
  if (plan->components == 0)
    lookup.path = plan->root;
  else
    lookup.path = resolveBelow(std::move(*plan), &lookup);
  return lookup;
}

std::optional<std::string> virtualPathOf(const std::string& hostPathIn) {
  std::string hostPath(trimHostRoot(hostPathIn));
  if (hostPath.empty() || hostPath[0] != '/') return std::nullopt;
  const Drive* best = nullptr;
  size_t bestLength = 0;
  for (const auto& d : driveTable()) {
    std::string root(trimHostRoot(d.hostRoot));
    bool covers =
        root == "/" || hostPath == root ||
        (hostPath.size() > root.size() && hostPath.compare(0, root.size(), root) == 0 && hostPath[root.size()] == '/');
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
// The views point into hostPath.
bool splitHostPath(const std::string& hostPath, std::string_view& dir, std::string_view& name) {
  auto slash = hostPath.find_last_of('/');
  if (slash == std::string::npos) return false;
  dir = slash == 0 ? std::string_view("/") : std::string_view(hostPath).substr(0, slash);
  name = std::string_view(hostPath).substr(slash + 1);
  return true;
}

}  // namespace

void noteHostEntryCreated(const std::string& hostPath) {
  std::string_view dir, name;
  if (!splitHostPath(hostPath, dir, name)) return;
  std::lock_guard<std::mutex> lock(gCacheMutex);
  auto it = gCache.find(dir);
  if (it == gCache.end()) return;
  struct stat st {};
  if (stat(std::string(dir).c_str(), &st) != 0) {
    gCache.erase(it);
    return;
  }
  it->second.add(name);
  it->second.version = versionOf(st);
}

void noteHostDirectoryCreated(const std::string& hostPath) {
  noteHostEntryCreated(hostPath);
  // Just made, the directory holds only "." and "..": its version taken now
  // stands for that listing, and any later change gives it another version.
  Listing empty;
  empty.add(".");
  empty.add("..");
  struct stat st {};
  if (stat(hostPath.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return;
  empty.version = versionOf(st);
  std::lock_guard<std::mutex> lock(gCacheMutex);
  storeListing(hostPath, std::move(empty));
}

}  // namespace platform
