#include "platform/private_folder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>

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

struct Descriptor {
  int fd = -1;
  Descriptor() = default;
  explicit Descriptor(int f) : fd(f) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(Descriptor&& other) noexcept {
    std::swap(fd, other.fd);
    return *this;
  }
  ~Descriptor() {
    if (fd >= 0) close(fd);
  }
  int release() { return std::exchange(fd, -1); }
};

std::string systemText(const std::string& path) { return path + ": " + std::strerror(errno); }

// A folder on the way to a base: nobody but root and this user may rename
// or replace what it holds. A sticky folder (/tmp) lets others add entries
// but not touch ours; the next step checks that the entry is ours.
std::string ancestorProblem(const struct stat& st, const std::string& path) {
  if (!S_ISDIR(st.st_mode)) return path + " is not a folder";
  if (st.st_uid != 0 && st.st_uid != geteuid())
    return path + " belongs to another user (uid " + std::to_string(st.st_uid) + ")";
  if ((st.st_mode & 022) != 0 && (st.st_mode & S_ISVTX) == 0) return path + " can be changed by other users";
  return {};
}

// The base itself: this user's folder that nobody else can write, or root's
// sticky folder where everyone makes folders of their own.
std::string baseProblem(const struct stat& st, const std::string& path) {
  if (!S_ISDIR(st.st_mode)) return path + " is not a folder";
  if (st.st_uid == geteuid() && (st.st_mode & 022) == 0) return {};
  if (st.st_uid == 0 && (st.st_mode & S_ISVTX) != 0) return {};
  if (st.st_uid != geteuid() && st.st_uid != 0)
    return path + " belongs to another user (uid " + std::to_string(st.st_uid) + ")";
  return path + " can be changed by other users";
}

std::string lastComponentOf(std::string& path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const size_t slash = path.find_last_of('/');
  std::string name = path.substr(slash + 1);
  path = slash == 0 ? "/" : path.substr(0, slash);
  return name;
}

// Opens the real folder `parent` from the root, one component at a time
// without following links, checking every folder on the way.
int openCheckedParent(const std::string& parent, std::string& real, std::string& why) {
  char resolved[PATH_MAX];
  if (!realpath(parent.c_str(), resolved)) {
    why = systemText(parent);
    return -1;
  }
  real = resolved;
  Descriptor at(open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
  std::string walked = "/";
  size_t start = 1;
  while (true) {
    struct stat st {};
    if (at.fd < 0 || fstat(at.fd, &st) != 0) {
      why = systemText(walked);
      return -1;
    }
    if ((why = ancestorProblem(st, walked)), !why.empty()) return -1;
    if (start >= real.size()) break;
    size_t end = real.find('/', start);
    if (end == std::string::npos) end = real.size();
    const std::string part = real.substr(start, end - start);
    walked = real.substr(0, end);
    at = Descriptor(openat(at.fd, part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    start = end + 1;
  }
  return at.release();
}

std::string randomSuffix() {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  unsigned char bytes[6] = {};
  if (getrandom(bytes, sizeof bytes, 0) != ssize_t(sizeof bytes)) {
    const auto now = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()) ^ uint64_t(getpid());
    for (size_t i = 0; i < sizeof bytes; ++i) bytes[i] = uint8_t(now >> (8 * i));
  }
  std::string suffix;
  for (unsigned char b : bytes) suffix += kLetters[b % (sizeof kLetters - 1)];
  return suffix;
}

bool hasMarker(const fs::path& folder) {
  const fs::path marker = folder / kPrivateFolderMarker;
  int fd = open(marker.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  char text[64] = {};
  const size_t expected = std::strlen(kPrivateFolderMarkerText);
  bool own = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() && size_t(st.st_size) == expected &&
             read(fd, text, sizeof text) == ssize_t(expected) &&
             std::memcmp(text, kPrivateFolderMarkerText, expected) == 0;
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
  if (const char* tmp = std::getenv("TMPDIR")) add(tmp);
  add("/tmp");
  const char* cache = std::getenv("XDG_CACHE_HOME");
  const char* home = std::getenv("HOME");
  if (cache && cache[0] == '/')
    add(cache);
  else if (home && home[0] == '/')
    add(std::string(home) + "/.cache");
  return bases;
}

int openBase(const std::string& base, std::string& why, bool makeMissing) {
  if (base.empty() || base[0] != '/') {
    why = "'" + base + "' is not an absolute path";
    return -1;
  }
  std::string parent = base;
  const std::string name = lastComponentOf(parent);
  std::string real;
  Descriptor at(openCheckedParent(parent, real, why));
  if (at.fd < 0) return -1;
  if (name.empty()) return at.release();  // the base is "/"
  const std::string path = (real == "/" ? "" : real) + "/" + name;
  int fd = openat(at.fd, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT && makeMissing) {
    // A folder of a new account (~/.cache) is made when its parent could
    // hold private folders itself.
    struct stat st {};
    if (fstat(at.fd, &st) == 0 && baseProblem(st, parent).empty() && mkdirat(at.fd, name.c_str(), 0700) == 0)
      fd = openat(at.fd, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    else
      errno = ENOENT;
  }
  if (fd < 0) {
    struct stat st {};
    why = errno == ENOTDIR && fstatat(at.fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)
              ? path + " is a symbolic link"
              : systemText(path);
    return -1;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    why = systemText(path);
    close(fd);
    return -1;
  }
  if ((why = baseProblem(st, path)), !why.empty()) {
    close(fd);
    return -1;
  }
  return fd;
}

bool isTrustedBase(const std::string& base, std::string* why) {
  std::string reason;
  int fd = openBase(base, reason);
  if (fd >= 0) close(fd);
  if (why) *why = reason;
  return fd >= 0;
}

std::optional<PrivateFolder> makePrivateFolder(const std::string& base, std::string* why) {
  std::string reason;
  auto fail = [&](const std::string& text) {
    if (why) *why = text;
    return std::nullopt;
  };
  Descriptor at(openBase(base, reason, true));
  if (at.fd < 0) return fail(reason);
  char real[64];
  std::snprintf(real, sizeof real, "/proc/self/fd/%d", at.fd);
  std::error_code ec;
  const std::string basePath = fs::read_symlink(real, ec).string();
  if (ec) return fail(systemText(base));

  std::string name;
  for (int attempt = 0;; ++attempt) {
    name = std::string(kPrivateFolderPrefix) + randomSuffix();
    if (mkdirat(at.fd, name.c_str(), 0700) == 0) break;
    if (errno != EEXIST || attempt > 100) return fail(systemText(basePath));
  }
  PrivateFolder folder;
  folder.path = (basePath == "/" ? "" : basePath) + "/" + name;
  auto abandon = [&](const std::string& text) {
    const int saved = errno;
    if (folder.lock >= 0) close(folder.lock);
    if (folder.directory >= 0) close(folder.directory);
    removeQuietly(folder.path);
    errno = saved;
    return fail(text);
  };
  folder.directory = openat(at.fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  struct stat st {};
  if (folder.directory < 0 || fstat(folder.directory, &st) != 0 || st.st_uid != geteuid() ||
      fchmod(folder.directory, 0700) != 0)
    return abandon(systemText(folder.path));
  // The marker first: whatever else happens, the folder can be told ours.
  if (!writeFileAt(folder.directory, kPrivateFolderMarker, kPrivateFolderMarkerText))
    return abandon(systemText(folder.path));
  // The lock is taken before the file gets its name: whoever finds a .lock
  // finds it held. Its descriptor stays open across exec.
  folder.lock = openat(folder.directory, ".lock.new", O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
  if (folder.lock < 0 || flock(folder.lock, LOCK_EX) != 0 ||
      renameat(folder.directory, ".lock.new", folder.directory, kLockName) != 0)
    return abandon(systemText(folder.path));
  return folder;
}

void discardPrivateFolder(PrivateFolder& folder) {
  if (folder.lock >= 0) close(folder.lock);
  if (folder.directory >= 0) close(folder.directory);
  folder.lock = folder.directory = -1;
  if (!folder.path.empty()) removeQuietly(folder.path);
}

bool isOwnPrivateFolder(const std::string& folder) {
  const fs::path path(folder);
  struct stat st {};
  return path.filename().string().rfind(kPrivateFolderPrefix, 0) == 0 && lstat(path.c_str(), &st) == 0 &&
         S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 07777) == 0700 && hasMarker(path) &&
         isTrustedBase(path.parent_path().string());
}

bool writeFileAt(int directory, const std::string& name, const std::string& content) {
  int fd = openat(directory, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool ok = writeAll(fd, content.data(), content.size());
  const int saved = errno;
  if (close(fd) != 0) ok = false;
  if (!ok && errno == 0) errno = saved ? saved : EIO;
  return ok;
}

bool allowsExecuting(int directory) {
  const char* probe = ".exec-probe";
  int fd = openat(directory, probe, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0700);
  if (fd < 0) return false;
  bool ok = writeAll(fd,
                     "\x7f"
                     "ELF",
                     4) &&
            faccessat(directory, probe, X_OK, 0) == 0;
  if (ok) {
    void* map = mmap(nullptr, 4, PROT_READ | PROT_EXEC, MAP_PRIVATE, fd, 0);
    ok = map != MAP_FAILED;
    if (ok) munmap(map, 4);
  }
  close(fd);
  unlinkat(directory, probe, 0);
  return ok;
}

std::string leaveMediumDirectory(const std::string& medium, const std::string& fallback) {
  std::error_code ec;
  std::string cwd = fs::current_path(ec).string();
  const std::string root = fs::weakly_canonical(medium, ec).string();
  auto inside = [&](const std::string& path) {
    return !root.empty() && (path == root || path.rfind(root == "/" ? root : root + "/", 0) == 0);
  };
  if (cwd.empty() || !inside(cwd)) return {};
  const char* home = std::getenv("HOME");
  const bool useHome =
      home && home[0] == '/' && fs::is_directory(home, ec) && !inside(fs::weakly_canonical(home, ec).string());
  if (chdir(useHome ? home : fallback.c_str()) != 0) return {};
  return cwd;
}

int removeStalePrivateFolders(const std::string& base) {
  // In a folder others can change, what looks like a stale folder of ours
  // may be theirs to point anywhere.
  if (!isTrustedBase(base)) return 0;
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
