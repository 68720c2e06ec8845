#include "platform/open_directory.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>

#include "platform/errors.h"
#include "platform/text_file.h"

namespace platform {

namespace {

thread_local bool tLinkRefused = false;

// Held directories are only walked through, never read by their descriptor:
// a path descriptor costs the least to open.
constexpr int kDirectoryFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;

// A handle for an open descriptor, or failure with lastError set.
FileHandle handleOf(int fd) {
  if (fd < 0) {
    failFromErrno();
    return {};
  }
  return FileHandle{fd};
}

}  // namespace

unsigned newFileMode() {
  // The umask is read once from the process's status: setting it to learn it
  // would change it for every thread meanwhile.
  static const unsigned mode = [] {
    unsigned mask = 022;
    for (const std::string& line : linesOf(readWholeFile("/proc/self/status").value_or("")))
      if (line.rfind("Umask:", 0) == 0) mask = unsigned(std::stoul(line.substr(6), nullptr, 8));
    return 0666u & ~mask;
  }();
  return mode;
}

OpenDirectory::OpenDirectory(int fd, std::string hostPath, bool own)
    : fd_(fd), hostPath_(std::move(hostPath)), own_(own) {
  // A directory just made is empty: its listing is known without reading it.
  listed_ = own;
}

OpenDirectory::~OpenDirectory() { close(fd_); }

std::shared_ptr<OpenDirectory> OpenDirectory::open(const std::string& hostPath, bool own) {
  int fd = ::open(hostPath.c_str(), kDirectoryFlags);
  if (fd < 0) {
    failFromErrno();
    return nullptr;
  }
  return std::shared_ptr<OpenDirectory>(new OpenDirectory(fd, hostPath, own));
}

std::shared_ptr<OpenDirectory> OpenDirectory::fromDescriptor(int fd, const std::string& hostPath) {
  const int copy = fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) {
    failFromErrno();
    return nullptr;
  }
  return std::shared_ptr<OpenDirectory>(new OpenDirectory(copy, hostPath, false));
}

std::string OpenDirectory::childPath(std::string_view name) const {
  std::string path = hostPath_;
  if (path != "/") path += '/';
  path += name;
  return path;
}

bool OpenDirectory::refreshListing() {
  if (own_ && listed_) return true;
  struct stat st {};
  if (fstat(fd_, &st) != 0) return failFromErrno();
  if (listed_ && listing_.version == versionOf(st)) return true;
  // The version is taken before the entries are read: a change made while
  // reading gives the directory a newer version, and the next use reads again.
  Listing fresh;
  fresh.version = versionOf(st);
  int fd = openat(fd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* d = fd < 0 ? nullptr : fdopendir(fd);
  if (!d) {
    if (fd >= 0) close(fd);
    return failFromErrno();
  }
  while (dirent* e = readdir(d)) fresh.add(e->d_name);
  closedir(d);
  listing_ = std::move(fresh);
  listed_ = true;
  return true;
}

void OpenDirectory::noteChanged(std::string_view removed, std::string_view added) {
  if (!listed_) return;
  if (!removed.empty()) listing_.remove(removed);
  if (!added.empty()) listing_.add(added);
  // The change is ours: the listing stays current for the directory's new version.
  struct stat st {};
  if (!own_ && fstat(fd_, &st) == 0) listing_.version = versionOf(st);
}

std::string OpenDirectory::realName(std::string_view name) {
  if (!refreshListing()) return {};
  auto variant = listing_.find(name);
  switch (variant.kind) {
    case CachedEntry::Exact: return std::string(name);
    case CachedEntry::Variant: return variant.real;
    default: return {};
  }
}

bool OpenDirectory::linkRefused() { return tLinkRefused; }

std::shared_ptr<OpenDirectory> OpenDirectory::openChild(const std::string& name, LinkRule links) {
  tLinkRefused = false;
  int fd = openat(fd_, name.c_str(), kDirectoryFlags | O_NOFOLLOW);
  if (fd < 0 && (errno == ELOOP || errno == ENOTDIR)) {
    const int openErrno = errno;
    struct stat st {};
    if (fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
      if (links == LinkRule::Trusted && (st.st_uid == 0 || st.st_uid == geteuid())) {
        fd = openat(fd_, name.c_str(), kDirectoryFlags);
      } else {
        tLinkRefused = true;
        errno = ELOOP;
      }
    } else {
      errno = openErrno;
    }
  }
  if (fd < 0) {
    if (errno == ENOENT) noteChanged(name, {});
    failFromErrno();
    return nullptr;
  }
  return std::shared_ptr<OpenDirectory>(new OpenDirectory(fd, childPath(name), false));
}

std::shared_ptr<OpenDirectory> OpenDirectory::makeChild(const std::string& name) {
  if (mkdirat(fd_, name.c_str(), 0777) != 0) {
    failFromErrno();
    return nullptr;
  }
  noteChanged({}, name);
  int fd = openat(fd_, name.c_str(), kDirectoryFlags | O_NOFOLLOW);
  if (fd < 0) {
    failFromErrno();
    return nullptr;
  }
  return std::shared_ptr<OpenDirectory>(new OpenDirectory(fd, childPath(name), true));
}

bool OpenDirectory::status(struct stat& st) const {
  if (fstat(fd_, &st) != 0) return failFromErrno();
  return true;
}

bool OpenDirectory::statEntry(const std::string& name, struct stat& st) const {
  if (fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return failFromErrno();
  return true;
}

bool OpenDirectory::writable(const std::string& name) const {
  if (faccessat(fd_, name.c_str(), W_OK, AT_EACCESS) != 0) return failFromErrno();
  return true;
}

FileHandle OpenDirectory::createNew(const std::string& name, unsigned mode) {
  FileHandle file = handleOf(openat(fd_, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
  if (file.valid()) noteChanged({}, name);
  return file;
}

FileHandle OpenDirectory::createTemporary(const std::string& forName, std::string& temporaryName) {
  static thread_local std::minstd_rand random(std::random_device{}());
  static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  // The name is shortened so that the whole stays within a name's length limit.
  const std::string stem = ".~" + forName.substr(0, 100) + ".";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = stem;
    for (int i = 0; i < 6; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
    int fd = openat(fd_, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
      noteChanged({}, name);
      temporaryName = std::move(name);
      return FileHandle{fd};
    }
    if (errno != EEXIST) break;
  }
  return handleOf(-1);
}

FileHandle OpenDirectory::openForRewrite(const std::string& name) {
  return handleOf(openat(fd_, name.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC));
}

bool OpenDirectory::rename(const std::string& from, const std::string& to) {
  if (renameat(fd_, from.c_str(), fd_, to.c_str()) != 0) return failFromErrno();
  noteChanged(from, to);
  return true;
}

bool OpenDirectory::remove(const std::string& name) {
  if (unlinkat(fd_, name.c_str(), 0) != 0) return failFromErrno();
  noteChanged(name, {});
  return true;
}

bool OpenDirectory::readLink(const std::string& name, std::string& text) const {
  std::string buffer(4096, '\0');
  const ssize_t n = readlinkat(fd_, name.c_str(), buffer.data(), buffer.size());
  if (n < 0) return failFromErrno();
  text.assign(buffer.data(), size_t(n));
  return true;
}

bool OpenDirectory::makeLink(const std::string& name, const std::string& text) {
  struct stat st {};
  if (fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    return failFromErrno();
  }
  static thread_local std::minstd_rand random(std::random_device{}());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string temporary = ".~" + name.substr(0, 100) + "." + std::to_string(random() % 1000000);
    if (symlinkat(text.c_str(), fd_, temporary.c_str()) != 0) {
      if (errno == EEXIST) continue;
      return failFromErrno();
    }
    if (renameat(fd_, temporary.c_str(), fd_, name.c_str()) != 0) {
      const int error = errno;
      unlinkat(fd_, temporary.c_str(), 0);
      errno = error;
      return failFromErrno();
    }
    noteChanged(name, name);
    return true;
  }
  return failFromErrno();
}

bool OpenDirectory::removeDirectory(const std::string& name) {
  if (unlinkat(fd_, name.c_str(), AT_REMOVEDIR) != 0) return failFromErrno();
  noteChanged(name, {});
  return true;
}

FileHandle OpenDirectory::openForReading(const std::string& name) {
  // Non-blocking: a pipe planted at the name must not hold the caller.
  return handleOf(openat(fd_, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
}

}  // namespace platform
