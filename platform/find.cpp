#include "platform/find.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <vector>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/host_attributes.h"
#include "platform/paths.h"

namespace platform {

struct FindState {
  std::vector<FindData> entries;
  size_t next = 0;
};

namespace {

constexpr uint32_t kErrorNoMoreFiles = 18;

char lowerAscii(char c) { return char(std::tolower((unsigned char)c)); }

// Plain "*" and "?" matching with backtracking to the last star.
bool globMatch(const std::string& name, const std::string& mask) {
  size_t n = 0, m = 0;
  size_t starMask = std::string::npos, starName = 0;
  while (n < name.size()) {
    if (m < mask.size() && (mask[m] == '?' || (mask[m] != '*' && lowerAscii(mask[m]) == lowerAscii(name[n])))) {
      ++n;
      ++m;
    } else if (m < mask.size() && mask[m] == '*') {
      starMask = m++;
      starName = n;
    } else if (starMask != std::string::npos) {
      m = starMask + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}


FindData entryOf(const std::string& hostDir, const std::string& name) {
  std::string host = hostDir == "/" ? "/" + name : hostDir + "/" + name;
  FindData d;
  d.name = name;
  struct stat st {};
  if (stat(host.c_str(), &st) != 0 && lstat(host.c_str(), &st) != 0) {
    d.attributes = kAttrArchive;  // vanished between listing and stat
    return d;
  }
  if (S_ISLNK(st.st_mode)) {
    d.attributes = kAttrArchive;  // a dangling link lists as a plain file
    return d;
  }
  d.attributes = hostEntryAttributes(st, name);
  d.size = S_ISREG(st.st_mode) ? int64_t(st.st_size) : 0;
  return d;
}

// Splits a pattern into its directory ("" for the current one) and its mask.
void splitPattern(const std::string& pattern, std::string& dir, std::string& mask) {
  auto p = pattern.find_last_of("\\/");
  if (p == std::string::npos && pattern.size() >= 2 && pattern[1] == ':') p = 1;
  if (p == std::string::npos) {
    dir.clear();
    mask = pattern;
  } else {
    dir = pattern.substr(0, p + 1);
    mask = pattern.substr(p + 1);
  }
}

}  // namespace

bool matchesMask(const std::string& name, const std::string& mask) {
  if (globMatch(name, mask)) return true;
  bool noDot = name.find('.') == std::string::npos;
  if (noDot && mask.size() >= 2 && mask.compare(mask.size() - 2, 2, ".*") == 0)
    return globMatch(name, mask.substr(0, mask.size() - 2));
  if (noDot && !mask.empty() && mask.back() == '.') return globMatch(name, mask.substr(0, mask.size() - 1));
  return false;
}

FindHandle findFirstFile(const std::string& pattern, FindData& data) {
  std::string dir, mask;
  splitPattern(pattern, dir, mask);
  std::string full = expandPath(dir);
  auto hostDir = hostPathOf(full);
  if (!hostDir) return nullptr;
  struct stat st {};
  if (stat(hostDir->c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    setLastError(kErrorPathNotFound);
    return nullptr;
  }
  DIR* d = opendir(hostDir->c_str());
  if (!d) {
    failFromErrno();
    return nullptr;
  }
  std::vector<std::string> names;
  while (dirent* e = readdir(d)) names.emplace_back(e->d_name);
  closedir(d);

  bool driveRoot = full.size() == 3 && full[1] == ':';
  // "." and ".." first, the rest in byte order, so that listings are stable.
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    bool dotsA = a == "." || a == "..", dotsB = b == "." || b == "..";
    if (dotsA != dotsB) return dotsA;
    return a < b;
  });
  auto state = new FindState;
  for (const auto& name : names) {
    if (driveRoot && (name == "." || name == "..")) continue;
    if (!mask.empty() && matchesMask(name, mask)) state->entries.push_back(entryOf(*hostDir, name));
  }
  if (state->entries.empty()) {
    delete state;
    setLastError(kErrorFileNotFound);
    return nullptr;
  }
  data = state->entries[state->next++];
  return state;
}

bool findNextFile(FindHandle search, FindData& data) {
  if (!search || search->next >= search->entries.size()) {
    setLastError(kErrorNoMoreFiles);
    return false;
  }
  data = search->entries[search->next++];
  return true;
}

void findClose(FindHandle search) { delete search; }

}  // namespace platform
