#include "install/record_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "common/file_digest.h"

#ifndef SETUPKIT_STATE_DIR
#define SETUPKIT_STATE_DIR "/var/lib/setupkit"
#endif

namespace record_store {

namespace {

struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) close(fd);
  }
};

// Opens the store folder, making what is missing. Root's folders on the way
// must be root's and written by nobody else: otherwise a user could swap the
// folder that root's records go into.
int openStore(bool make, std::string& problem) {
  const std::string path = directory();
  if (path.empty()) {
    problem = "there is no folder for install records (HOME is not set)";
    return -1;
  }
  const bool root = geteuid() == 0;
  int dir = open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  size_t start = 1;
  while (dir >= 0 && start < path.size()) {
    size_t slash = path.find('/', start);
    if (slash == std::string::npos) slash = path.size();
    const std::string part = path.substr(start, slash - start);
    start = slash + 1;
    if (part.empty()) continue;
    int next = openat(dir, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0 && errno == ENOENT && make) {
      if (mkdirat(dir, part.c_str(), root ? 0755 : 0700) != 0 && errno != EEXIST) break;
      next = openat(dir, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    close(dir);
    dir = next;
    struct stat st {};
    if (dir >= 0 && root && (fstat(dir, &st) != 0 || !onlyWritableBy(0, st.st_mode, st.st_uid))) {
      close(dir);
      problem = path + ": a folder on the way could be changed by another user than root";
      return -1;
    }
  }
  if (dir < 0 && problem.empty()) problem = path + ": " + std::strerror(errno);
  return dir;
}

}  // namespace

std::string systemDirectory() { return std::string(SETUPKIT_STATE_DIR) + "/installs"; }

std::string directory() { return geteuid() == 0 ? systemDirectory() : userDirectory(); }

std::string userDirectory() {
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state && state[0] == '/') return std::string(state) + "/setupkit/installs";
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return std::string(home) + "/.local/state/setupkit/installs";
  return {};
}

std::string recordName(const std::string& destHost) {
  TSha256 digest;
  digest.update(destHost.data(), destHost.size());
  return digest.finishHex().substr(0, 32) + ".json";
}

std::string pathOf(int dirFd) {
  char path[4096];
  const std::string link = "/proc/self/fd/" + std::to_string(dirFd);
  const ssize_t n = readlink(link.c_str(), path, sizeof path - 1);
  return n > 0 ? std::string(path, size_t(n)) : std::string();
}

std::vector<Stored> list(const std::string& path) {
  std::vector<Stored> records;
  const int dir = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return records;
  DIR* listing = fdopendir(dup(dir));
  std::vector<std::string> names;
  while (listing) {
    const dirent* e = readdir(listing);
    if (!e) break;
    const std::string name = e->d_name;
    if (name.size() > 5 && name.compare(name.size() - 5, 5, ".json") == 0 && name[0] != '.') names.push_back(name);
  }
  if (listing) closedir(listing);
  std::sort(names.begin(), names.end());
  for (const auto& name : names) {
    Stored s;
    s.file = path + "/" + name;
    s.state = install_record::load(dir, s.record, s.problem, name);
    struct stat st {};
    if (fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
      s.modified = st.st_mtim.tv_sec;
      s.modifiedNs = st.st_mtim.tv_nsec;
    }
    records.push_back(std::move(s));
  }
  close(dir);
  return records;
}

std::string newestDestination(const std::string& application, const std::string& publisherKey) {
  std::string newest;
  std::pair<std::string, int64_t> newestWhen;
  for (const Stored& s : list(directory())) {
    const install_record::Record& r = s.record;
    if (s.state != install_record::LoadState::Loaded || r.application != application || r.destination.empty() ||
        r.publisherKey.value_or("") != publisherKey)
      continue;
    struct stat st {};
    if (stat(r.destination.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
    // ISO 8601 dates in UTC sort as text; a record without one by its file's;
    // two of the same second by the time their records were last written.
    const std::pair<std::string, int64_t> when{r.installed.empty() ? install_record::isoDate(s.modified) : r.installed,
                                               s.modified * 1000000000 + s.modifiedNs};
    if (newest.empty() || when > newestWhen) {
      newest = r.destination;
      newestWhen = when;
    }
  }
  return newest;
}

bool onlyWritableBy(unsigned uid, unsigned mode, unsigned owner) {
  return (owner == uid || owner == 0) && (mode & (S_IWGRP | S_IWOTH)) == 0;
}

Earlier loadEarlier(int destFd) {
  Earlier earlier;
  const std::string dest = pathOf(destFd);
  std::string ignored;
  Fd storeDir{dest.empty() ? -1 : openStore(false, ignored)};
  if (storeDir.fd >= 0) {
    earlier.state = install_record::load(storeDir.fd, earlier.record, earlier.problem, recordName(dest));
    if (earlier.state != install_record::LoadState::Missing) {
      earlier.source = Source::Store;
      return earlier;
    }
  }
  // An installation of an earlier release kept its record in DEST alone.
  struct stat file {
  }, folder{};
  if (fstatat(destFd, install_record::kRecordName, &file, AT_SYMLINK_NOFOLLOW) != 0) return earlier;
  const unsigned me = geteuid();
  if (fstat(destFd, &folder) != 0 || !onlyWritableBy(me, folder.st_mode, folder.st_uid) ||
      !onlyWritableBy(me, file.st_mode, file.st_uid)) {
    earlier.problem = "the install record in " + dest + " could have been written by another user; it was not used";
    return earlier;
  }
  earlier.state = install_record::load(destFd, earlier.record, earlier.problem);
  if (earlier.state != install_record::LoadState::Missing) earlier.source = Source::Destination;
  return earlier;
}

bool store(int destFd, const install_record::Record& record, std::string& problem) {
  return storeText(destFd, install_record::toJson(record), problem);
}

bool storeText(int destFd, const std::string& text, std::string& problem) {
  const std::string dest = pathOf(destFd);
  if (dest.empty()) {
    problem = "cannot tell the destination's path";
    return false;
  }
  // A user without a home of its own (a service account, a HOME it cannot
  // write) keeps the copy in DEST alone, as earlier releases did: it acts on
  // it with its own rights only.
  Fd storeDir{openStore(true, problem)};
  if (storeDir.fd < 0 && geteuid() != 0) return true;
  if (storeDir.fd < 0) return false;
  return install_record::storeText(storeDir.fd, text, problem, recordName(dest));
}

int openDirectory(bool make, std::string& problem) { return openStore(make, problem); }

bool remove(int destFd) {
  const std::string dest = pathOf(destFd);
  std::string problem;
  Fd storeDir{dest.empty() ? -1 : openStore(false, problem)};
  if (storeDir.fd < 0) return true;
  return install_record::remove(storeDir.fd, recordName(dest));
}

}  // namespace record_store
