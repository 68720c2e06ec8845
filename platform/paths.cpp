#include "platform/paths.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cctype>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/current_dir.h"
#include "platform/drives.h"
#include "platform/errors.h"

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

struct Listing {
  int64_t mtimeNs = 0;
  uint64_t ino = 0;
  uint64_t dev = 0;
  std::unordered_map<std::string, std::string> byLowerName;
};

std::mutex gCacheMutex;
std::unordered_map<std::string, Listing> gCache;

int64_t mtimeNs(const struct stat& st) { return int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec; }

bool sameVersion(const Listing& l, const struct stat& st) {
  return l.mtimeNs == mtimeNs(st) && l.ino == uint64_t(st.st_ino) && l.dev == uint64_t(st.st_dev);
}

// The real name of `name` in host directory `dir`, ignoring letter case.
// `known` is the directory's stat when the caller has just taken it.
std::optional<std::string> findInsensitive(const std::string& dir, const std::string& name,
                                           const struct stat* known = nullptr) {
  struct stat st {};
  if (known)
    st = *known;
  else if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    return std::nullopt;
  std::lock_guard<std::mutex> lock(gCacheMutex);
  auto it = gCache.find(dir);
  if (it == gCache.end() || !sameVersion(it->second, st)) {
    if (gCache.size() > 512) gCache.clear();
    Listing l;
    l.mtimeNs = mtimeNs(st);
    l.ino = st.st_ino;
    l.dev = st.st_dev;
    if (DIR* d = opendir(dir.c_str())) {
      while (dirent* e = readdir(d)) l.byLowerName.emplace(lowerAscii(e->d_name), e->d_name);
      closedir(d);
    }
    it = gCache.insert_or_assign(dir, std::move(l)).first;
  }
  auto found = it->second.byLowerName.find(lowerAscii(name));
  if (found == it->second.byLowerName.end()) return std::nullopt;
  return found->second;
}

std::string joinHost(const std::string& dir, const std::string& name) {
  return dir == "/" ? "/" + name : dir + "/" + name;
}

bool hostExists(const std::string& p) {
  struct stat st {};
  return lstat(p.c_str(), &st) == 0;
}

std::string resolveComponent(const std::string& dir, const std::string& name) {
  std::string exact = joinHost(dir, name);
  if (hostExists(exact)) return exact;
  if (auto real = findInsensitive(dir, name)) return joinHost(dir, *real);
  return exact;
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

std::optional<std::string> hostPathOf(const std::string& path) {
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
  std::string root = trimHostRoot(drive->hostRoot);
  auto parts = splitComponents(full.substr(2));
  if (parts.empty()) return root;

  // Fast paths: the exact path exists, or its exact parent does.
  std::string exact = root;
  for (auto& p : parts) exact = joinHost(exact, p);
  if (hostExists(exact)) return exact;
  std::string parent = root;
  for (size_t i = 0; i + 1 < parts.size(); ++i) parent = joinHost(parent, parts[i]);
  struct stat st {};
  if (stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    // The exact name is known to be missing (a file about to be created, as a
    // rule): look for it by letter case only, without testing it again.
    auto real = findInsensitive(parent, parts.back(), &st);
    return joinHost(parent, real ? *real : parts.back());
  }

  std::string host = root;
  for (auto& p : parts) host = resolveComponent(host, p);
  return host;
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

void noteHostEntryCreated(const std::string& hostPath) {
  auto slash = hostPath.find_last_of('/');
  if (slash == std::string::npos) return;
  std::string dir = slash == 0 ? "/" : hostPath.substr(0, slash);
  std::string name = hostPath.substr(slash + 1);
  std::lock_guard<std::mutex> lock(gCacheMutex);
  auto it = gCache.find(dir);
  if (it == gCache.end()) return;
  struct stat st {};
  if (stat(dir.c_str(), &st) != 0) {
    gCache.erase(it);
    return;
  }
  it->second.byLowerName.emplace(lowerAscii(name), name);
  it->second.mtimeNs = mtimeNs(st);
}

}  // namespace platform
