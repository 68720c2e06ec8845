#include "medium/medium_owner.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "medium/medium_signature.h"
#include "platform/file_window.h"

namespace medium_owner {

namespace {

// Why someone other than root could change the file or folder `st`
// describes (its owner, or write access for others; a folder others may
// write counts with its sticky bit); empty when no one could.
std::string whoElse(const struct stat& st, const std::string& shown) {
  if (st.st_uid != 0) return shown + " belongs to uid " + std::to_string(st.st_uid);
  if ((st.st_mode & 022) && !(S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX))) return "others can write " + shown;
  return {};
}

std::string resolved(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr), &std::free);
  return real ? std::string(real.get()) : std::string();
}

std::string folderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The first reason found in the folder open as `dirFd` (host path `path`)
// and below it, from its descriptor; links are passed over (never followed,
// and their own mode says nothing).
std::string treeChangeable(int dirFd, const std::string& path) {
  for (const auto& entry : medium_signature::filesOf(dirFd)) {
    if (entry.kind == medium_signature::MediumFile::Kind::Link) continue;
    const std::string shown = path + "/" + entry.name;
    struct stat st {};
    if (fstatat(dirFd, entry.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return shown + ": " + std::strerror(errno);
    if (std::string why = whoElse(st, shown); !why.empty()) return why;
    if (entry.kind != medium_signature::MediumFile::Kind::Folder) continue;
    const int sub = openat(dirFd, entry.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (sub < 0) return shown + ": " + std::strerror(errno);
    std::string why = treeChangeable(sub, shown);
    close(sub);
    if (!why.empty()) return why;
  }
  return {};
}

}  // namespace

std::string foldersChangeable(const std::string& path) {
  std::vector<std::string> folders{"/"};
  for (size_t at = path.find('/', 1);; at = path.find('/', at + 1)) {
    const std::string prefix = path.substr(0, at);
    if (!prefix.empty() && prefix != "/") folders.push_back(prefix);
    if (at == std::string::npos) break;
  }
  for (const std::string& folder : folders) {
    struct stat st {};
    if (lstat(folder.c_str(), &st) != 0) return "the folder " + folder + ": " + std::strerror(errno);
    if (!S_ISDIR(st.st_mode)) return folder + " is no folder";
    if (std::string why = whoElse(st, "the folder " + folder); !why.empty()) return why;
  }
  return {};
}

bool bytesChangeableByOthers(int fd) {
  struct stat st {};
  return fstat(fd, &st) != 0 || !whoElse(st, "").empty();
}

std::string changeableByOthers(const std::string& hostArchive) {
  std::string archive = hostArchive;
  if (auto window = platform::fileWindowOf(hostArchive)) archive = window->file;
  struct stat st {};
  // An anonymous copy of this process (or a descriptor it holds): its own
  // bytes are all that is read.
  if (archive.rfind("/proc/self/fd/", 0) == 0) {
    // An anonymous file has no name anyone else could open it by.
    char target[64] = {};
    if (readlink(archive.c_str(), target, sizeof target - 1) > 0 && std::strncmp(target, "/memfd:", 7) == 0) return {};
    if (stat(archive.c_str(), &st) != 0) return archive + ": " + std::strerror(errno);
    return whoElse(st, archive);
  }
  const std::string file = resolved(archive);
  if (file.empty()) return archive + ": " + std::strerror(errno);
  const std::string folder = folderOf(file);
  if (std::string why = foldersChangeable(folder); !why.empty()) return why;
  if (lstat(file.c_str(), &st) != 0) return file + ": " + std::strerror(errno);
  if (std::string why = whoElse(st, file); !why.empty()) return why;
  // The medium's other files beside the archive, found as every reader of a
  // folder medium finds them.
  const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return folder + ": " + std::strerror(errno);
  std::string why;
  for (const auto& entry : medium_signature::filesOf(dir)) {
    if (!medium_signature::isMediumFile(entry.name)) continue;
    const std::string path = folder + "/" + entry.name;
    if (fstatat(dir, entry.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      why = path + ": " + std::strerror(errno);
    } else if (entry.kind != medium_signature::MediumFile::Kind::Link) {
      // A link is never followed by a reader, and only whoever may write the
      // folder can put another in its place. The runtime folder counts with
      // everything below it.
      why = whoElse(st, path);
      if (why.empty() && entry.kind == medium_signature::MediumFile::Kind::Folder) {
        const int sub = openat(dir, entry.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        why = sub < 0 ? path + ": " + std::strerror(errno) : treeChangeable(sub, path);
        if (sub >= 0) close(sub);
      }
    }
    if (!why.empty()) break;
  }
  close(dir);
  return why;
}

int privateCopy(int fd, bool closeOnExec, std::string& problem) {
  const int copy = memfd_create("medium", MFD_ALLOW_SEALING | (closeOnExec ? MFD_CLOEXEC : 0));
  if (copy < 0) {
    problem = std::string("cannot make a private copy of the medium: ") + std::strerror(errno);
    return -1;
  }
  struct stat st {};
  bool copied = fstat(fd, &st) == 0;
  // copy_file_range does not take a memory file as its target everywhere:
  // a plain read and write loop, positioned, so `fd`'s offset is left alone.
  std::unique_ptr<char[]> buffer(new char[1 << 20]);
  for (off_t at = 0; copied && at < st.st_size;) {
    const ssize_t n = pread(fd, buffer.get(), 1 << 20, at);
    if (n < 0 && errno == EINTR) continue;
    copied = n > 0;
    for (ssize_t done = 0; copied && done < n;) {
      const ssize_t w = write(copy, buffer.get() + done, size_t(n - done));
      copied = w > 0;
      if (copied) done += w;
    }
    at += copied ? n : 0;
  }
  if (!copied || fcntl(copy, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) != 0) {
    problem = std::string("cannot make a private copy of the medium: ") + std::strerror(errno ? errno : EIO);
    close(copy);
    return -1;
  }
  return copy;
}

}  // namespace medium_owner
