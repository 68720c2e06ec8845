#include "platform/current_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <map>
#include <mutex>

#include "platform/drives.h"
#include "platform/errors.h"
#include "platform/paths.h"

namespace platform {

namespace {

struct State {
  bool ready = false;
  std::string current;
  std::map<char, std::string> perDrive;
};

State& state() {
  static State s;
  return s;
}

std::string withoutTrailingBackslash(std::string p) {
  if (p.size() > 3 && p.back() == '\\') p.pop_back();
  return p;
}

std::string firstDriveRoot() {
  const auto& drives = driveTable();
  return drives.empty() ? std::string("C:\\") : std::string(1, drives.front().letter) + ":\\";
}

void ensureReady() {
  State& s = state();
  if (s.ready) return;
  s.ready = true;
  char buf[4096];
  std::optional<std::string> v;
  if (getcwd(buf, sizeof buf)) v = virtualPathOf(buf);
  s.current = v ? withoutTrailingBackslash(*v) : firstDriveRoot();
}

bool isDirectory(const std::string& host) {
  struct stat st {};
  return stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::string getCurrentDirectory() {
  ensureReady();
  return state().current;
}

std::string driveCurrentDirectory(char letter) {
  ensureReady();
  State& s = state();
  char up = char(std::toupper((unsigned char)letter));
  if (!s.current.empty() && std::toupper((unsigned char)s.current[0]) == up && s.current[1] == ':') return s.current;
  auto it = s.perDrive.find(up);
  return it != s.perDrive.end() ? it->second : std::string(1, up) + ":\\";
}

bool setCurrentDirectory(const std::string& path) {
  ensureReady();
  if (path.empty()) {
    setLastError(kErrorPathNotFound);
    return false;
  }
  std::string target = expandPath(path);
  if (isUncPath(target)) {
    setLastError(kErrorBadNetPath);
    return false;
  }
  const Drive* drive = findDrive(target[0]);
  if (!drive) {
    setLastError(kErrorInvalidDrive);
    return false;
  }
  if (!drive->mediumPresent) {
    setLastError(kErrorNotReady);
    return false;
  }
  auto host = hostPathOf(target);
  if (!host) return false;
  struct stat st {};
  if (stat(host->c_str(), &st) != 0) {
    // Windows tells a missing last component (2) from a missing parent (3).
    int err = errno;
    auto slash = host->find_last_of('/');
    std::string parent = slash == 0 ? "/" : host->substr(0, slash);
    if (err == ENOENT)
      setLastError(isDirectory(parent) ? kErrorFileNotFound : kErrorPathNotFound);
    else
      setLastError(errorFromErrno(err));
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    setLastError(kErrorDirectory);
    return false;
  }
  if (chdir(host->c_str()) != 0) return failFromErrno();
  // The stored form carries the real letter case of every component.
  std::string root = drive->hostRoot;
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  std::string rest = host->substr(std::min(host->size(), root == "/" ? size_t(1) : root.size() + 1));
  for (char& c : rest)
    if (c == '/') c = '\\';
  std::string result = withoutTrailingBackslash(std::string(1, drive->letter) + ":\\" + rest);
  State& s = state();
  s.current = result;
  s.perDrive[drive->letter] = result;
  return true;
}

void resetCurrentDirectories() {
  State& s = state();
  s.ready = true;
  s.perDrive.clear();
  s.current = firstDriveRoot();
  if (const Drive* d = findDrive(s.current[0]); d && d->mediumPresent) {
    if (chdir(d->hostRoot.c_str()) != 0) {
      // A table whose first drive cannot be entered still names it as current.
    }
  }
}

}  // namespace platform
