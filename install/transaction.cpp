#include "install/transaction.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "install/install_record.h"
#include "install/json_text.h"
#include "install/record_store.h"

namespace transaction {

namespace {

constexpr const char* kTitle = "setup journal 1";

std::string journalNameOf(const std::string& recordName) {
  return recordName.substr(0, recordName.size() - 5) + ".journal";  // NAME.json -> NAME.journal
}

int64_t nowSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string megabytes(uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", double(bytes) / 1e6);
  return text;
}


std::vector<std::string> fieldsOf(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (size_t gap; (gap = line.find(' ', start)) != std::string::npos; start = gap + 1)
    fields.push_back(line.substr(start, gap - start));
  fields.push_back(line.substr(start));
  for (size_t i = 1; i < fields.size(); ++i) {
    std::string bytes;
    if (!json_text::bytesOfHex(fields[i], bytes)) return {};
    fields[i] = std::move(bytes);
  }
  return fields;
}

std::string readAll(int fd) {
  std::string text;
  char buffer[1 << 16];
  for (off_t at = 0;;) {
    const ssize_t n = pread(fd, buffer, sizeof buffer, at);
    if (n <= 0) break;
    text.append(buffer, size_t(n));
    at += n;
  }
  return text;
}

// Removes what the restore may have left of the file `leaf` it was writing
// in the folder `dirFd`: its temporary ".~LEAF.XXXXXX".
void removeTemporaries(int dirFd, const std::string& leaf) {
  const int fd = dup(dirFd);
  DIR* d = fd >= 0 ? fdopendir(fd) : nullptr;
  if (!d) {
    if (fd >= 0) close(fd);
    return;
  }
  rewinddir(d);
  const std::string prefix = ".~" + leaf + ".";
  while (dirent* e = readdir(d))
    if (std::strncmp(e->d_name, prefix.c_str(), prefix.size()) == 0) unlinkat(dirFd, e->d_name, 0);
  closedir(d);
}

}  // namespace

int parentOf(int dirFd, const std::string& name, std::string& leaf) {
  int fd = dup(dirFd);
  size_t start = 0;
  for (size_t slash; fd >= 0 && (slash = name.find('/', start)) != std::string::npos; start = slash + 1) {
    const int next =
        openat(fd, name.substr(start, slash - start).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    close(fd);
    fd = next;
  }
  leaf = name.substr(start);
  return fd;
}

std::string spaceProblem(const std::string& destHost, uint64_t needed) {
  // DEST or the nearest folder above it that exists: its file system.
  std::string path = destHost;
  struct statvfs fs {};
  while (statvfs(path.c_str(), &fs) != 0) {
    const size_t slash = path.rfind('/');
    if (errno != ENOENT || slash == std::string::npos || path == "/") return {};
    path = slash == 0 ? "/" : path.substr(0, slash);
  }
  const uint64_t available = uint64_t(fs.f_bavail) * uint64_t(fs.f_frsize);
  if (needed <= available) return {};
  return "there is not enough space in " + destHost + ": the installation needs " + megabytes(needed) + " (" +
         std::to_string(needed) + " bytes), the file system has " + megabytes(available) + " (" +
         std::to_string(available) + " bytes) free";
}

TJournal::~TJournal() {
  for (int fd : {fd_, destFd_, storeFd_, asideFd_})
    if (fd >= 0) close(fd);
}

void TJournal::line(const std::string& text) {
  if (fd_ < 0) return;
  // One write per line: a process killed after it returns leaves the line
  // in the file.
  if (write(fd_, text.data(), text.size()) != ssize_t(text.size())) errno = 0;
}

bool TJournal::begin(int destFd, bool destinationMade, std::string& problem) {
  const std::string dest = record_store::pathOf(destFd);
  storeFd_ = record_store::openDirectory(true, problem);
  if (storeFd_ < 0) return false;
  recordName_ = record_store::recordName(dest);
  journalName_ = journalNameOf(recordName_);
  destFd_ = dup(destFd);
  fd_ = openat(storeFd_, journalName_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd_ < 0) {
    problem = "cannot write the journal in " + record_store::directory() + ": " + std::strerror(errno);
    return false;
  }
  line(std::string(kTitle) + "\nD " + json_text::hexOf(dest) + "\n");
  if (destinationMade) line("M\n");
  // The store's record: a second name keeps the old one, which the record's
  // writing by replacement leaves untouched.
  const std::string before = recordName_ + ".before";
  unlinkat(storeFd_, before.c_str(), 0);
  const bool stored = linkat(storeFd_, recordName_.c_str(), storeFd_, before.c_str(), 0) == 0;
  line("S " + json_text::hexOf(stored ? "1" : "0") + "\n");
  // DEST's copy likewise.
  struct stat st {};
  if (fstatat(destFd, install_record::kRecordName, &st, AT_SYMLINK_NOFOLLOW) == 0) {
    if (keepAside(install_record::kRecordName, false, problem).empty()) return false;
  } else {
    fileAdded(install_record::kRecordName);
  }
  sync(true);
  return true;
}

void TJournal::folderMade(const std::string& name) { line("F " + json_text::hexOf(name) + "\n"); }

void TJournal::fileAdded(const std::string& name) {
  added_.insert(name);
  line("A " + json_text::hexOf(name) + "\n");
}

bool TJournal::openAside(std::string& problem) {
  if (asideFd_ >= 0) return true;
  struct stat st {};
  if (fstatat(destFd_, kAsideFolder, &st, AT_SYMLINK_NOFOLLOW) != 0) {
    folderMade(kAsideFolder);
    sync(true);
    if (mkdirat(destFd_, kAsideFolder, 0700) != 0 && errno != EEXIST) {
      problem = std::string("cannot make ") + kAsideFolder + ": " + std::strerror(errno);
      return false;
    }
  }
  asideFd_ = openat(destFd_, kAsideFolder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (asideFd_ < 0) problem = std::string("cannot open ") + kAsideFolder + ": " + std::strerror(errno);
  return asideFd_ >= 0;
}

std::string TJournal::keepAside(const std::string& name, bool remove, std::string& problem) {
  if (fd_ < 0 || !openAside(problem)) return {};
  std::string leaf;
  const int parent = parentOf(destFd_, name, leaf);
  if (parent < 0) {
    problem = "cannot reach " + name + ": " + std::strerror(errno);
    return {};
  }
  // A name nothing stands under yet, so that undoing the line never takes
  // an entry an earlier installation kept there.
  std::string aside;
  struct stat st {};
  do aside = std::to_string(next_++) + "." + leaf.substr(0, 200);
  while (fstatat(asideFd_, aside.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0);
  // Written before the entry moves, so that a kill never leaves it where no
  // line finds it; flushed with the others, at most once a second (a flush
  // per file would cost more than the file's copy).
  line("K " + json_text::hexOf(name) + " " + json_text::hexOf(aside) + "\n");
  sync(false);
  bool kept = !remove && linkat(parent, leaf.c_str(), asideFd_, aside.c_str(), 0) == 0;
  if (!kept) kept = renameat(parent, leaf.c_str(), asideFd_, aside.c_str()) == 0;
  if (!kept) problem = "cannot keep " + name + " aside: " + std::strerror(errno);
  close(parent);
  if (!kept) return {};
  kept_.emplace_back(name, aside);
  return aside;
}

void TJournal::sync(bool now) {
  if (fd_ < 0) return;
  const int64_t time = nowSeconds();
  if (!now && time == lastSync_) return;
  lastSync_ = time;
  if (fdatasync(fd_) != 0) errno = 0;
}

void TJournal::carryOut(const std::vector<std::vector<std::string>>& plan) {
  std::string problem;
  for (const auto& step : plan) {
    if (step[0] == "X" && step.size() == 2 && asideFd_ >= 0) {
      unlinkat(asideFd_, step[1].c_str(), 0);
    } else if (step[0] == "P" && step.size() == 3 && asideFd_ >= 0) {
      std::string leaf;
      const int parent = parentOf(destFd_, step[2], leaf);
      if (parent >= 0 && renameat(asideFd_, step[1].c_str(), parent, leaf.c_str()) != 0) errno = 0;
      if (parent >= 0) close(parent);
    }
  }
  finishUp();
}

void TJournal::finishUp() {
  if (asideFd_ >= 0) unlinkat(destFd_, kAsideFolder, AT_REMOVEDIR);  // when it is empty
  unlinkat(storeFd_, (recordName_ + ".before").c_str(), 0);
  unlinkat(storeFd_, journalName_.c_str(), 0);
  fsync(storeFd_);
  close(fd_);
  fd_ = -1;
}

void TJournal::commit(const std::set<std::string>& stay,
                      const std::vector<std::pair<std::string, std::string>>& moves) {
  if (fd_ < 0) return;
  std::set<std::string> moved;
  std::vector<std::vector<std::string>> plan;
  std::string text = "C\n";
  for (const auto& [aside, name] : moves) {
    moved.insert(aside);
    plan.push_back({"P", aside, name});
    text += "P " + json_text::hexOf(aside) + " " + json_text::hexOf(name) + "\n";
  }
  for (const auto& [name, aside] : kept_)
    if (!stay.count(aside) && !moved.count(aside)) {
      plan.push_back({"X", aside});
      text += "X " + json_text::hexOf(aside) + "\n";
    }
  line(text);
  sync(true);
  carryOut(plan);
}

bool TJournal::rollBack(std::string& problem) {
  if (fd_ < 0) return true;
  std::vector<std::vector<std::string>> lines;
  const std::string text = readAll(fd_);
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::vector<std::string> fields = fieldsOf(text.substr(start, end - start));
    if (!fields.empty()) lines.push_back(fields);
  }
  if (asideFd_ < 0) asideFd_ = openat(destFd_, kAsideFolder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  bool whole = true;
  bool made = false;
  bool last = true;  // the last file line: the restore may have left its temporary
  for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
    const auto& f = *it;
    std::string leaf;
    if (f[0] == "M") made = true;
    if (f[0] == "S" && f.size() == 1) continue;
    if (f[0] == "A" && f.size() == 2) {
      const int parent = parentOf(destFd_, f[1], leaf);
      if (parent < 0) continue;
      if (unlinkat(parent, leaf.c_str(), 0) != 0 && errno != ENOENT && errno != EISDIR) {
        whole = false;
        problem = "cannot remove " + f[1] + ": " + std::strerror(errno);
      }
      if (last) removeTemporaries(parent, leaf);
      last = false;
      close(parent);
    } else if (f[0] == "F" && f.size() == 2) {
      const int parent = parentOf(destFd_, f[1], leaf);
      if (parent < 0) continue;
      if (f[1] == kAsideFolder && asideFd_ >= 0) {
        close(asideFd_);
        asideFd_ = -1;
      }
      unlinkat(parent, leaf.c_str(), AT_REMOVEDIR);  // only when empty: what else is there stays
      close(parent);
    } else if (f[0] == "K" && f.size() == 3) {
      if (asideFd_ < 0) continue;
      const int parent = parentOf(destFd_, f[1], leaf);
      if (parent < 0) {
        whole = false;
        problem = "cannot reach " + f[1] + " to put it back";
        continue;
      }
      if (last) removeTemporaries(parent, leaf);
      last = false;
      struct stat st {};
      if (fstatat(asideFd_, f[2].c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        // Over what the installation wrote there; the same file under both
        // names (nothing replaced it yet) renames to nothing, and the
        // second name goes.
        if (renameat(asideFd_, f[2].c_str(), parent, leaf.c_str()) != 0) {
          whole = false;
          problem = "cannot put " + f[1] + " back: " + std::strerror(errno);
        } else {
          unlinkat(asideFd_, f[2].c_str(), 0);
        }
      }
      close(parent);
    } else if (f[0] == "S" && f.size() == 2) {
      const std::string before = recordName_ + ".before";
      if (f[1] == "1") {
        if (renameat(storeFd_, before.c_str(), storeFd_, recordName_.c_str()) != 0 && errno != ENOENT) whole = false;
      } else {
        unlinkat(storeFd_, recordName_.c_str(), 0);
      }
    }
  }
  if (made && whole) {
    // DEST itself, by its parent and name, while it is empty and still the
    // folder the journal was kept for.
    const std::string path = record_store::pathOf(destFd_);
    const size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash + 1 < path.size()) {
      const int parent = open(slash == 0 ? "/" : path.substr(0, slash).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      struct stat opened {
      }, named{};
      if (parent >= 0 && fstat(destFd_, &opened) == 0 &&
          fstatat(parent, path.substr(slash + 1).c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
          opened.st_ino == named.st_ino && opened.st_dev == named.st_dev)
        unlinkat(parent, path.substr(slash + 1).c_str(), AT_REMOVEDIR);
      if (parent >= 0) close(parent);
    }
  }
  if (!whole) return false;  // the journal stays: the next run tries again
  if (asideFd_ >= 0) {
    close(asideFd_);
    asideFd_ = -1;
  }
  unlinkat(storeFd_, journalName_.c_str(), 0);
  unlinkat(storeFd_, (recordName_ + ".before").c_str(), 0);
  fsync(storeFd_);
  fsync(destFd_);
  close(fd_);
  fd_ = -1;
  return true;
}

std::string recoverAt(int destFd, bool* undone) {
  if (undone) *undone = false;
  std::string problem;
  const std::string dest = record_store::pathOf(destFd);
  const int storeFd = dest.empty() ? -1 : record_store::openDirectory(false, problem);
  if (storeFd < 0) return {};
  TJournal journal;
  journal.storeFd_ = storeFd;
  journal.recordName_ = record_store::recordName(dest);
  journal.journalName_ = journalNameOf(journal.recordName_);
  journal.fd_ = openat(storeFd, journal.journalName_.c_str(), O_RDWR | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
  if (journal.fd_ < 0) return {};
  if (undone) *undone = true;
  // Acted on only when nobody but this user (or root) could have written it.
  struct stat st {};
  if (fstat(journal.fd_, &st) != 0 || !S_ISREG(st.st_mode) ||
      !record_store::onlyWritableBy(geteuid(), st.st_mode, st.st_uid))
    return "the journal of an installation into " + dest + " could have been written by another user; it was not used";
  journal.destFd_ = dup(destFd);
  const std::string text = readAll(journal.fd_);
  if (text.compare(0, std::strlen(kTitle), kTitle) != 0) return "the journal of " + dest + " is damaged";
  // A journal with its plan: the installation completed; the plan is
  // carried out.
  const size_t committed = text.find("\nC\n");
  journal.asideFd_ = openat(destFd, kAsideFolder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (committed != std::string::npos) {
    std::vector<std::vector<std::string>> plan;
    size_t start = committed + 3;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
      std::vector<std::string> fields = fieldsOf(text.substr(start, end - start));
      if (!fields.empty()) plan.push_back(std::move(fields));
    }
    journal.carryOut(plan);
    return {};
  }
  if (!journal.rollBack(problem))
    return "an installation into " + dest + " that did not end could not be undone: " + problem;
  return {};
}

std::string recover(const std::string& destHost, bool* undone) {
  if (undone) *undone = false;
  const int fd = open(destHost.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return {};
  std::string problem = recoverAt(fd, undone);
  close(fd);
  return problem;
}

}  // namespace transaction
