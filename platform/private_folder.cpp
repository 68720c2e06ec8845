#include "platform/private_folder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;

namespace platform {

namespace {

constexpr const char* kLockName = ".lock";

bool writeAll(int fd, const char* text, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, text, size);
    if (n <= 0) return false;
    text += n;
    size -= size_t(n);
  }
  return true;
}

bool hasMarker(const fs::path& folder) {
  const fs::path marker = folder / kPrivateFolderMarker;
  int fd = open(marker.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  char text[64] = {};
  const size_t expected = std::strlen(kPrivateFolderMarkerText);
  bool own = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() && size_t(st.st_size) == expected &&
             read(fd, text, sizeof text) == ssize_t(expected) && std::memcmp(text, kPrivateFolderMarkerText, expected) == 0;
  close(fd);
  return own;
}

void removeQuietly(const fs::path& folder) {
  std::error_code ec;
  fs::remove_all(folder, ec);
}

}  // namespace

std::vector<std::string> privateFolderBases() {
  std::vector<std::string> bases;
  auto add = [&](const std::string& dir) {
    if (dir.empty() || dir[0] != '/') return;
    for (const auto& b : bases)
      if (b == dir) return;
    bases.push_back(dir);
  };
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR")) add(runtime);
  const char* tmp = std::getenv("TMPDIR");
  add(tmp && tmp[0] == '/' ? tmp : "/tmp");
  const char* cache = std::getenv("XDG_CACHE_HOME");
  const char* home = std::getenv("HOME");
  if (cache && cache[0] == '/')
    add(cache);
  else if (home && home[0] == '/')
    add(std::string(home) + "/.cache");
  return bases;
}

std::optional<PrivateFolder> makePrivateFolder(const std::string& base) {
  std::error_code ec;
  if (!fs::is_directory(base, ec)) {
    // The cache folder may not exist yet; it is the user's own.
    if (mkdir(base.c_str(), 0700) != 0) return std::nullopt;
  }
  std::string pattern = base + "/" + kPrivateFolderPrefix + "XXXXXX";
  if (!mkdtemp(pattern.data())) return std::nullopt;
  const fs::path folder(pattern);
  // The marker first: whatever else happens, the folder can be told ours.
  int marker = open((folder / kPrivateFolderMarker).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  bool marked = marker >= 0 && writeAll(marker, kPrivateFolderMarkerText, std::strlen(kPrivateFolderMarkerText));
  if (marker >= 0 && close(marker) != 0) marked = false;
  // The lock is taken before the file gets its name: whoever finds a .lock
  // finds it held. Its descriptor stays open across exec.
  const fs::path unnamed = folder / ".lock.new";
  int lock = marked ? open(unnamed.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, 0600) : -1;
  if (lock < 0 || flock(lock, LOCK_EX) != 0 || rename(unnamed.c_str(), (folder / kLockName).c_str()) != 0) {
    if (lock >= 0) close(lock);
    removeQuietly(folder);
    return std::nullopt;
  }
  return PrivateFolder{folder.string(), lock};
}

bool isOwnPrivateFolder(const std::string& folder) {
  const fs::path path(folder);
  struct stat st {};
  return path.filename().string().rfind(kPrivateFolderPrefix, 0) == 0 && lstat(path.c_str(), &st) == 0 &&
         S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 07777) == 0700 && hasMarker(path);
}

bool allowsExecuting(const std::string& folder) {
  const std::string probe = folder + "/.exec-probe";
  int fd = open(probe.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0700);
  if (fd < 0) return false;
  bool ok = writeAll(fd, "\x7f" "ELF", 4) && access(probe.c_str(), X_OK) == 0;
  if (ok) {
    void* map = mmap(nullptr, 4, PROT_READ | PROT_EXEC, MAP_PRIVATE, fd, 0);
    ok = map != MAP_FAILED;
    if (ok) munmap(map, 4);
  }
  close(fd);
  unlink(probe.c_str());
  return ok;
}

std::string leaveMediumDirectory(const std::string& medium, const std::string& fallback) {
  std::error_code ec;
  const std::string cwd = fs::current_path(ec).string();
  const std::string root = fs::weakly_canonical(medium, ec).string();
  auto inside = [&](const std::string& path) {
    return !root.empty() && (path == root || path.rfind(root == "/" ? root : root + "/", 0) == 0);
  };
  if (cwd.empty() || !inside(cwd)) return {};
  const char* home = std::getenv("HOME");
  const bool useHome = home && home[0] == '/' && fs::is_directory(home, ec) && !inside(fs::weakly_canonical(home, ec).string());
  if (chdir(useHome ? home : fallback.c_str()) != 0) return {};
  return cwd;
}

int removeStalePrivateFolders(const std::string& base) {
  int removed = 0;
  std::error_code ec;
  const auto now = fs::file_time_type::clock::now();
  for (fs::directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path dir = it->path();
    if (!isOwnPrivateFolder(dir.string())) continue;
    int lock = open((dir / kLockName).c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    bool stale;
    if (lock >= 0) {
      stale = flock(lock, LOCK_EX | LOCK_NB) == 0;
      close(lock);
    } else {
      // Without its lock a folder is either being made this moment or was
      // left by a start that failed: only an old one is stale.
      std::error_code timeError;
      auto changed = fs::last_write_time(dir, timeError);
      stale = !timeError && now - changed > std::chrono::minutes(1);
    }
    std::error_code removeError;
    if (stale && fs::remove_all(dir, removeError) > 0 && !removeError) ++removed;
  }
  return removed;
}

}  // namespace platform
