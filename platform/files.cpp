#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/dos_time.h"
#include "platform/errors.h"
#include "platform/file_window.h"
#include "platform/host_attributes.h"
#include "platform/host_lookup.h"
#include "platform/paths.h"

namespace platform {

namespace {

// The stat() of a path's host form; the lookup has taken it already in most cases.
bool statHost(const HostLookup& lookup, struct stat& st) {
  if (!lookup.statKnown) {
    if (stat(lookup.path.c_str(), &st) != 0) return failFromErrno();
    return true;
  }
  if (lookup.statErrno != 0) {
    setLastError(errorFromErrno(lookup.statErrno));
    return false;
  }
  st = lookup.st;
  return true;
}

bool statPath(const std::string& path, struct stat& st) {
  auto lookup = lookupHostPath(path);
  return lookup && statHost(*lookup, st);
}

// The Windows-form directory of a path, with its trailing separator.
std::string directoryOfWindowsPath(const std::string& path) {
  auto p = path.find_last_of("\\/:");
  return p == std::string::npos ? std::string() : path.substr(0, p + 1);
}

std::string lastHostComponent(const std::string& host) {
  auto slash = host.find_last_of('/');
  return slash == std::string::npos ? host : host.substr(slash + 1);
}

}  // namespace

uint32_t hostEntryAttributes(const struct stat& st, const std::string& name) {
  uint32_t a = 0;
  if (S_ISDIR(st.st_mode))
    a |= kAttrDirectory;
  else if (S_ISREG(st.st_mode))
    a |= kAttrArchive;
  else
    a |= kAttrSystem;
  if (name.size() > 1 && name[0] == '.' && name != "..") a |= kAttrHidden;
  if (!(st.st_mode & S_IWUSR)) a |= kAttrReadOnly;
  return a;
}

uint32_t getFileAttributes(const std::string& path) {
  auto lookup = lookupHostPath(path);
  struct stat st {};
  if (!lookup || !statHost(*lookup, st)) return kInvalidAttributes;
  return hostEntryAttributes(st, lastHostComponent(lookup->path));
}

bool fileExists(const std::string& path) {
  struct stat st {};
  return statPath(path, st) && !S_ISDIR(st.st_mode);
}

bool directoryExists(const std::string& path) {
  struct stat st {};
  return statPath(path, st) && S_ISDIR(st.st_mode);
}

int32_t fileAge(const std::string& path) {
  struct stat st {};
  if (!statPath(path, st) || S_ISDIR(st.st_mode)) return -1;
  return int32_t(unixToDosDateTime(st.st_mtim.tv_sec));
}

bool createDirectory(const std::string& path) {
  auto host = hostPathOf(path);
  if (!host) return false;
  if (mkdir(host->c_str(), 0777) != 0) return failFromErrno();
  noteHostDirectoryCreated(*host);
  return true;
}

FileHandle openFile(const std::string& path, FileAccess access) {
  auto host = hostPathOf(path);
  if (!host) return {};
  int flags = access == FileAccess::Read ? O_RDONLY : access == FileAccess::Write ? O_WRONLY : O_RDWR;
  int fd = open(host->c_str(), flags | O_CLOEXEC);
  if (fd < 0) {
    failFromErrno();
    return {};
  }
  struct stat st {};
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    close(fd);
    setLastError(kErrorAccessDenied);
    return {};
  }
  // The archive inside a one-file installer is opened by its own name.
  fd = window_hooks::adoptOpened(fd);
  if (fd < 0) {
    failFromErrno();
    return {};
  }
  return FileHandle{fd};
}

namespace {
// Opens `path` for reading and writing with O_CREAT plus `flags`.
FileHandle createWithFlags(const std::string& path, int flags) {
  auto host = hostPathOf(path);
  if (!host) return {};
  int fd = open(host->c_str(), O_RDWR | O_CREAT | O_CLOEXEC | flags, 0666);
  if (fd < 0) {
    failFromErrno();
    return {};
  }
  noteHostEntryCreated(*host);
  return FileHandle{fd};
}
}  // namespace

FileHandle createFile(const std::string& path) { return createWithFlags(path, O_TRUNC); }

FileHandle createNewFile(const std::string& path) { return createWithFlags(path, O_EXCL); }

FileHandle createReplacement(const std::string& path, std::string& replacementPath) {
  auto host = hostPathOf(path);
  if (!host) return {};
  // Opening the old file for writing fails exactly where overwriting it in
  // place would have: a directory, no write permission, a dangling link.
  FileHandle old = openFile(path, FileAccess::Write);
  if (!old.valid()) return {};
  struct stat st {};
  const bool haveStat = fstat(int(old.value), &st) == 0;
  closeFile(old);

  auto slash = host->find_last_of('/');
  std::string dir = host->substr(0, slash + 1);
  // The name says what the file will become, shortened so that the template
  // stays within a file name's length limit.
  std::string pattern = dir + ".~" + host->substr(slash + 1, 100) + ".XXXXXX";
  int fd = mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) {
    failFromErrno();
    return {};
  }
  if (haveStat) {
    // Owner and group are kept where the process may set them (as root);
    // elsewhere the file belongs to the installing user, as a new one would.
    if (fchown(fd, st.st_uid, st.st_gid) != 0) errno = 0;
    if (fchmod(fd, st.st_mode & 07777) != 0) errno = 0;
  }
  noteHostEntryCreated(pattern);
  replacementPath = directoryOfWindowsPath(path) + pattern.substr(slash + 1);
  return FileHandle{fd};
}

bool moveFileReplacing(const std::string& from, const std::string& to) {
  auto hostFrom = hostPathOf(from);
  auto hostTo = hostFrom ? hostPathOf(to) : std::nullopt;
  if (!hostTo) return false;
  if (rename(hostFrom->c_str(), hostTo->c_str()) != 0) return failFromErrno();
  return true;
}

bool deleteFile(const std::string& path) {
  auto host = hostPathOf(path);
  if (!host) return false;
  if (unlink(host->c_str()) != 0) return failFromErrno();
  return true;
}

int64_t readFile(FileHandle file, void* buffer, int64_t count) {
  count = window_hooks::clampRead(int(file.value), count);
  char* p = static_cast<char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    ssize_t n = read(int(file.value), p + done, size_t(count - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      failFromErrno();
      return done > 0 ? done : -1;
    }
    if (n == 0) break;
    done += n;
  }
  return done;
}

int64_t writeFile(FileHandle file, const void* buffer, int64_t count) {
  const char* p = static_cast<const char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    ssize_t n = write(int(file.value), p + done, size_t(count - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      failFromErrno();
      return done > 0 ? done : -1;
    }
    if (n == 0) {
      errno = ENOSPC;
      failFromErrno();
      break;
    }
    done += n;
  }
  return done;
}

int64_t seekFile(FileHandle file, int64_t offset, SeekOrigin origin) {
  int whence = origin == kSeekBegin ? SEEK_SET : origin == kSeekCurrent ? SEEK_CUR : SEEK_END;
  int64_t inWindow;
  if (window_hooks::seek(int(file.value), offset, whence, inWindow)) {
    if (inWindow < 0) failFromErrno();
    return inWindow;
  }
  off_t r = lseek(int(file.value), off_t(offset), whence);
  if (r < 0) {
    failFromErrno();
    return -1;
  }
  return int64_t(r);
}

void closeFile(FileHandle file) {
  if (!file.valid()) return;
  window_hooks::forget(int(file.value));
  close(int(file.value));
}

bool setFileDosTime(FileHandle file, uint32_t dosDateTime) {
  auto t = dosDateTimeToUnix(dosDateTime);
  if (!t) {
    setLastError(kErrorInvalidParameter);
    return false;
  }
  struct timespec times[2];
  times[0].tv_sec = time_t(*t);
  times[0].tv_nsec = 0;
  times[1] = times[0];
  if (futimens(int(file.value), times) != 0) return failFromErrno();
  return true;
}

uint32_t getFileDosTime(FileHandle file) {
  struct stat st {};
  if (fstat(int(file.value), &st) != 0) return 0;
  return unixToDosDateTime(st.st_mtim.tv_sec);
}

}  // namespace platform
