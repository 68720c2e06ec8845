#include "install/install_recorder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include "common/file_digest.h"
#include "framework/core/exceptions.h"
#include "framework/core/path_utils.h"
#include "install/record_store.h"
#include "platform/errors.h"
#include "platform/ini.h"
#include "platform/open_directory.h"
#include "platform/paths.h"

namespace {

// How often, at most, the record is rewritten while files land.
constexpr auto kStoreInterval = std::chrono::seconds(1);

std::string foldedName(std::string name) {
  for (char& c : name) c = char(std::tolower((unsigned char)c));
  return name;
}

std::string joined(const std::vector<std::string>& parts, size_t count) {
  std::string name;
  for (size_t i = 0; i < count; ++i) name += (i ? "/" : "") + parts[i];
  return name;
}

}  // namespace

TInstallRecorder::TInstallRecorder(TBackupFile& backup, const std::string& targetDir, TInstallOptions options)
    : backup_(backup), targetDir_(fw::withTrailingBackslash(targetDir)), options_(std::move(options)) {
  record_.application = options_.application;
  record_.version = options_.version;
  record_.title = options_.title;
  record_.publisher = options_.publisher;
  record_.installed = options_.installed;
  if (!options_.publisherKey.empty()) record_.publisherKey = options_.publisherKey;
  oldRestoreFile_ = backup_.OnRestoreFile;
  oldFileRestored_ = backup_.OnFileRestored;
  oldNeedDisk_ = backup_.OnNeedDisk;
  oldProgress_ = backup_.OnProgress;
  backup_.OnRestoreFile = TRestoreFileEvent([this](TObject* s, std::string& name, int32_t fa, bool& doRestore) {
    oldRestoreFile_(s, name, fa, doRestore);
    // The first file is about to be written: the record goes in first.
    if (!begun_) {
      begun_ = true;
      begin();
    }
    raiseProblem();
    if (!active_) return;
    settle();
    // Every file of the medium, written or passed over by the mode: an
    // update removes only what the new version does not have.
    if (earlier_) {
      const std::vector<std::string> parts = relativeParts(name);
      if (!parts.empty()) mediumNames_.insert(foldedName(joined(parts, parts.size())));
    }
    if (doRestore && overwritesOwnFile(name))
      fail("the medium's file " + name + " would replace the installation's own " +
           (fw::sameText(relativeParts(name).back(), install_record::kUninstallerName) ? "uninstaller"
                                                                                       : "install record"));
    raiseProblem();
    if (doRestore) {
      noteFolders(name);
      beforeWrite(name);
      raiseProblem();
    }
  });
  backup_.OnFileRestored = TFileRestoredEvent([this](TObject* s, std::string& name, TFileStream*& stream) {
    oldFileRestored_(s, name, stream);
    if (!active_) return;
    settle();
    struct stat st {};
    if (!stream || fstat(int(stream->handle().value), &st) != 0) return;
    pending_ = std::make_unique<Pending>();
    pending_->target = name;
    pending_->device = uint64_t(st.st_dev);
    pending_->inode = uint64_t(st.st_ino);
    if (const TLandingCheck* check = backup_.LandingCheck)
      pending_->digested = check->landedDigest(pending_->size, pending_->sha256);
    raiseProblem();
  });
  backup_.OnNeedDisk = TNeedDiskEvent([this](TObject* s, uint16_t disk, bool& cont) {
    // The user may give up at the prompt, or end the program there.
    if (active_) {
      settle();
      store(true);
    }
    if (oldNeedDisk_)
      oldNeedDisk_(s, disk, cont);
    else
      cont = askForDiskByDefault(disk);
  });
  // The folders and links the medium's attributes add after the files.
  if (TLandingCheck* check = backup_.LandingCheck) {
    oldMaking_ = check->OnMaking;
    oldLinkMade_ = check->OnLinkMade;
    check->OnMaking = [this](const std::string& target, bool folder) {
      if (oldMaking_) oldMaking_(target, folder);
      if (!active_) return;
      settle();
      noteFolders(target, folder);
      if (!folder) beforeWrite(target);
    };
    check->OnLinkMade = [this](const std::string& target, const std::string& text) {
      if (oldLinkMade_) oldLinkMade_(target, text);
      if (active_) noteLink(target, text);
    };
  }
  backup_.OnProgress = TProgressEvent([this](TObject* s, const std::string& name, TPercentage percent, bool& cont) {
    // The restore's last report: the last file has its name by now.
    if (active_ && name.empty() && percent == 100) settle();
    oldProgress_(s, name, percent, cont);
  });
}

TInstallRecorder::~TInstallRecorder() {
  try {
    if (active_ && !finished_) finish(false);
  } catch (...) {
    // A record that cannot be written is what the installation leaves then.
  }
  backup_.OnRestoreFile = oldRestoreFile_;
  backup_.OnFileRestored = oldFileRestored_;
  backup_.OnNeedDisk = oldNeedDisk_;
  if (TLandingCheck* check = backup_.LandingCheck) {
    check->OnMaking = oldMaking_;
    check->OnLinkMade = oldLinkMade_;
  }
  backup_.OnProgress = oldProgress_;
  if (destFd_ >= 0) close(destFd_);
}

void TInstallRecorder::warn(const std::string& text) { warnings_.push_back(text); }

void TInstallRecorder::fail(const std::string& text) {
  if (problem_.empty()) problem_ = text;
}

void TInstallRecorder::raiseProblem() {
  // Once: the restore ends with it, as a file that could not be written.
  if (!problem_.empty() && !raised_) {
    raised_ = true;
    throw Exception(problem_);
  }
}

bool TInstallRecorder::begin() {
  begun_ = true;
  if (active_) return true;
  // Restored to the paths the archive stores: there is no destination to
  // keep a record in.
  if (fw::withoutTrailingBackslash(targetDir_).empty()) {
    // Nothing to remove later either: a restore, not an installation.
    warn("no install record: there is no destination (the files go to the paths stored in the archive)");
    return false;
  }
  auto host = platform::hostPathOf(fw::withoutTrailingBackslash(targetDir_));
  if (!host) {
    problem_ = "the destination has no place on this system";
    return false;
  }
  destHost_ = *host;
  struct stat st {};
  if (stat(destHost_.c_str(), &st) != 0) {
    // Made here, through the user's path, so that the record can go in first.
    if (!fw::forceDirectories(fw::withoutTrailingBackslash(targetDir_))) {
      problem_ = "cannot make " + destHost_ + ": " + std::strerror(errno);
      return false;
    }
    record_.destinationMade = true;
    madeDestination_ = true;
  }
  destFd_ = open(destHost_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (destFd_ < 0) {
    problem_ = destHost_ + ": " + std::strerror(errno);
    return false;
  }
  // The earlier installation's record this process may act on: its own
  // store's, or a copy in DEST only it could have written.
  const record_store::Earlier earlier = record_store::loadEarlier(destFd_);
  switch (earlier.state) {
    case install_record::LoadState::Loaded:
      earlier_ = earlier.record;
      record_.mergeEarlier(earlier.record);
      break;
    case install_record::LoadState::Missing:
      if (!earlier.problem.empty()) warn(earlier.problem);
      break;
    case install_record::LoadState::Damaged:
    case install_record::LoadState::Outside:
      // Never overwritten: it may be all that tells what an earlier
      // installation wrote.
      problem_ = "the install record of " + destHost_ + " cannot be used: " + earlier.problem;
      return false;
  }
  record_.destination = record_store::pathOf(destFd_);
  // From here on every step is in the journal, so that a failure, or a
  // kill, leaves DEST as it was. A user without a state folder it can write
  // (no home, a HOME it may not write) installs without one, as it keeps its
  // record in DEST alone then.
  std::string reason;
  if (!journal_.begin(destFd_, madeDestination_, reason)) {
    if (geteuid() == 0) {
      problem_ = reason;
      return false;
    }
    warn("the installation cannot be undone if it fails: " + reason);
  }
  placeUninstaller();
  if (!problem_.empty()) {
    rollBack();
    return false;
  }
  active_ = true;
  store(true);
  return problem_.empty();
}

bool TInstallRecorder::overwritesOwnFile(const std::string& target) const {
  // Names are matched ignoring letter case, as the restore finds them.
  const std::vector<std::string> parts = relativeParts(target);
  return parts.size() == 1 && (fw::sameText(parts[0], install_record::kUninstallerName) ||
                               fw::sameText(parts[0], install_record::kRecordName));
}

std::vector<std::string> TInstallRecorder::relativeParts(const std::string& target) const {
  if (target.compare(0, targetDir_.size(), targetDir_) != 0) return {};
  return fw::pathComponents(target.substr(targetDir_.size()));
}

namespace {

// The subdirectory `asked` of `directory`, found as the restore finds it: the
// exact name first (the common case, no listing read), else the spelling a
// lookup by letter case finds. `real` gets the name found, empty when none.
std::shared_ptr<platform::OpenDirectory> childOf(platform::OpenDirectory& directory, const std::string& asked,
                                                 std::string& real) {
  real = asked;
  if (auto child = directory.openChild(asked, platform::LinkRule::Refuse)) return child;
  if (platform::OpenDirectory::linkRefused()) return nullptr;
  real = directory.realName(asked);
  if (real.empty() || real == asked) {
    real.clear();
    return nullptr;
  }
  return directory.openChild(real, platform::LinkRule::Refuse);
}

}  // namespace


void TInstallRecorder::noteFolders(const std::string& target, bool itself) {
  std::vector<std::string> parts = relativeParts(target);
  if (!itself) {
    if (parts.size() < 2) return;
    parts.pop_back();
  }
  if (parts.empty()) return;
  // Each folder is looked at once: later files in it find it noted.
  const std::string key = joined(parts, parts.size());
  if (!knownFolders_.insert(key).second) return;
  auto directory = platform::OpenDirectory::open(destHost_);
  std::vector<std::string> real;
  for (size_t i = 0; i < parts.size() && directory; ++i) {
    std::string found = parts[i];
    auto child = directory->openChild(parts[i], platform::LinkRule::Refuse);
    if (!child && !platform::OpenDirectory::linkRefused()) {
      // Missing under the name asked: another letter case of it, from the
      // folder's names read once.
      const std::string parent = joined(real, real.size());
      if (!namesRead_ || namesOf_ != parent) {
        names_.clear();
        namesOf_ = parent;
        namesRead_ = true;
        const int fd = openat(destFd_, parent.empty() ? "." : parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (DIR* d = fd >= 0 ? fdopendir(fd) : nullptr) {
          while (dirent* e = readdir(d)) names_.emplace(foldedName(e->d_name), e->d_name);
          closedir(d);
        } else if (fd >= 0) {
          close(fd);
        }
      }
      const auto variant = names_.find(foldedName(parts[i]));
      found = variant == names_.end() || variant->second == parts[i] ? std::string() : variant->second;
      if (!found.empty()) child = directory->openChild(found, platform::LinkRule::Refuse);
      // The restore makes it under the name asked.
      if (found.empty()) names_.emplace(foldedName(parts[i]), parts[i]);
    }
    directory = child;
    if (found.empty()) {
      // This one and every one below it are made by the restore, under the
      // names asked for.
      for (size_t k = i; k < parts.size(); ++k) {
        real.push_back(parts[k]);
        const std::string made = joined(real, real.size());
        journal_.folderMade(made);
        freshFolders_.emplace(joined(parts, k + 1), made);
        record_.addFolder(made);
      }
      return;
    }
    real.push_back(found);
  }
}

// The folder holding the last of `parts` (relative to DEST), opened without
// following links; `real` gets the names of the folders on the way as the
// restore found them. Null when one is missing.
std::shared_ptr<platform::OpenDirectory> TInstallRecorder::parentOf(const std::vector<std::string>& parts,
                                                                    std::vector<std::string>& real) const {
  auto directory = platform::OpenDirectory::open(destHost_);
  real.clear();
  for (size_t i = 0; i + 1 < parts.size() && directory; ++i) {
    real.emplace_back();
    directory = childOf(*directory, parts[i], real.back());
  }
  return directory;
}

void TInstallRecorder::noteLink(const std::string& target, const std::string& text) {
  std::vector<std::string> parts = relativeParts(target);
  if (parts.empty()) return;
  std::vector<std::string> real;
  if (!parentOf(parts, real)) return;
  real.push_back(parts.back());
  writtenNow_.insert(joined(real, real.size()));
  mediumNames_.insert(foldedName(joined(real, real.size())));
  record_.addLink({joined(real, real.size()), text});
  store(false);
}

void TInstallRecorder::settle() {
  if (!pending_) return;
  namesRead_ = false;
  const Pending pending = *pending_;
  pending_.reset();
  std::vector<std::string> parts = relativeParts(pending.target);
  if (parts.empty()) return;  // a file outside the destination is no part of it
  // Files of one folder come one after another: its walk is kept.
  const std::string folderKey = joined(parts, parts.size() - 1);
  std::shared_ptr<platform::OpenDirectory> directory;
  std::vector<std::string> real;
  if (lastFolder_ && lastFolderKey_ == folderKey) {
    directory = lastFolder_;
    real = lastFolderReal_;
  } else {
    directory = parentOf(parts, real);
    if (!directory) return;
    lastFolder_ = directory;
    lastFolderKey_ = folderKey;
    lastFolderReal_ = real;
  }
  std::string file = parts.back();
  platform::FileHandle handle = directory->openForReading(file);
  if (!handle.valid() && platform::lastError() == platform::kErrorFileNotFound) {
    file = directory->realName(parts.back());
    if (!file.empty()) handle = directory->openForReading(file);
  }
  if (!handle.valid()) return;
  real.push_back(file);
  const int fd = int(handle.value);
  struct stat st {};
  install_record::FileEntry entry;
  // Only the file the restore wrote: a failed replacement leaves the old one
  // under the name, which is not the installation's.
  const bool same = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && uint64_t(st.st_dev) == pending.device &&
                    uint64_t(st.st_ino) == pending.inode;
  if (same && pending.digested && uint64_t(st.st_size) == pending.size) {
    entry.sha256 = pending.sha256;
    entry.size = pending.size;
  }
  if (same && (!entry.sha256.empty() || digestOfDescriptor(fd, entry.sha256, entry.size))) {
    entry.name = joined(real, real.size());
    entry.date = install_record::isoDate(st.st_mtim.tv_sec);
    entry.mode = st.st_mode & 07777;  // as the landing check left it, for verify
    writtenNow_.insert(entry.name);
    record_.addFile(std::move(entry));
  }
  close(fd);
  store(false);
  journal_.sync(false);
}

void TInstallRecorder::store(bool now) {
  if (!active_) return;
  const auto time = std::chrono::steady_clock::now();
  if (!now && time - lastStore_ < kStoreInterval) return;
  lastStore_ = time;
  // The record this process acts on later, then the copy in DEST for people
  // to read: an installation that cannot keep both is not complete.
  // The same text in both: made once.
  const std::string text = install_record::toJson(record_);
  std::string reason;
  if (!record_store::storeText(destFd_, text, reason))
    fail("cannot write the install record of " + destHost_ + " in " + record_store::directory() + ": " + reason);
  else if (!install_record::storeText(destFd_, text, reason))
    fail("cannot write the install record in " + destHost_ + ": " + reason);
}

void TInstallRecorder::placeUninstaller() {
  const std::string& source = options_.uninstallerProgram;
  if (source.empty()) return;
  const char* name = install_record::kUninstallerName;
  struct stat st {};
  if (fstatat(destFd_, name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
    // Replaced only when it is the one an earlier installation placed.
    std::string sha;
    uint64_t size = 0;
    const int fd = openat(destFd_, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    const bool ours = fd >= 0 && record_.uninstaller && S_ISREG(st.st_mode) && digestOfDescriptor(fd, sha, size) &&
                      sha == record_.uninstaller->sha256;
    if (fd >= 0) close(fd);
    if (!ours) {
      fail(destHost_ + "/uninstall is not the uninstaller of an earlier installation; it was left as it is");
      return;
    }
  }
  const int in = open(source.c_str(), O_RDONLY | O_CLOEXEC);
  const std::string temporary = std::string(".~") + name + "." + std::to_string(getpid());
  journal_.fileAdded(temporary);
  const int out = openat(destFd_, temporary.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0700);
  bool ok = in >= 0 && out >= 0;
  char buffer[1 << 16];
  while (ok) {
    const ssize_t n = read(in, buffer, sizeof buffer);
    if (n == 0) break;
    ok = n > 0 && write(out, buffer, size_t(n)) == n;
  }
  install_record::FileEntry entry;
  ok = ok && fchmod(out, 0755) == 0 && fsync(out) == 0 && digestOfDescriptor(out, entry.sha256, entry.size) &&
       fstat(out, &st) == 0;
  const int error = errno;
  if (in >= 0) close(in);
  if (out >= 0) close(out);
  // The one an earlier installation placed is kept aside until the
  // installation ends.
  std::string reason;
  if (ok && fstatat(destFd_, name, &st, AT_SYMLINK_NOFOLLOW) == 0)
    ok = !journal_.active() || !journal_.keepAside(name, false, reason).empty();
  else
    journal_.fileAdded(name);
  ok = ok && renameat(destFd_, temporary.c_str(), destFd_, name) == 0;
  if (!ok) {
    unlinkat(destFd_, temporary.c_str(), 0);
    fail("cannot place the uninstaller in " + destHost_ + ": " + std::strerror(error ? error : errno));
    return;
  }
  entry.name = name;
  entry.date = install_record::isoDate(st.st_mtim.tv_sec);
  record_.uninstaller = std::move(entry);
}

void TInstallRecorder::finish(bool completed) {
  if (finished_ || !active_) return;
  finished_ = true;
  settle();
  if (completed && problem_.empty()) dropOld();
  std::optional<install_record::MenuEntry> written;
  if (completed && problem_.empty() && options_.menu.present()) {
    std::string reason = menu_entry::problemOf(options_.menu);
    install_record::MenuEntry entry;
    if (reason.empty() && menu_entry::write(options_.menu, destHost_, entry, reason)) {
      written = entry;
      record_.addMenuEntry(std::move(entry));
    } else {
      warn("no menu entry: " + reason);
    }
  }
  if (completed && problem_.empty()) {
    commit();
    if (problem_.empty() || !journal_.active()) return;
  }
  if (!journal_.active()) {
    // Without a journal: the record keeps what landed, for the uninstaller.
    record_.complete = false;
    store(true);
    return;
  }
  // A menu entry written before the record failed goes again, unless an
  // earlier installation had one of that name.
  if (written && !(earlier_ && std::any_of(earlier_->menu.begin(), earlier_->menu.end(),
                                           [&](const auto& m) { return m.name == written->name; }))) {
    std::string reason;
    menu_entry::remove(*written, reason,
                       [](const install_record::DesktopFile&, menu_entry::Removal, const std::string&) {});
  }
  rollBack();
}

void TInstallRecorder::rollBack() {
  kept_.clear();
  std::string reason;
  if (journal_.rollBack(reason))
    rolledBack_ = true;
  else
    warn("the installation could not be undone entirely (the next run tries again): " + reason);
}

void TInstallRecorder::beforeWrite(const std::string& target) {
  if (!journal_.active()) return;
  const std::vector<std::string> parts = relativeParts(target);
  if (parts.empty()) return;
  const std::string key = joined(parts, parts.size() - 1);
  auto [at, added] = folderNames_.try_emplace(key);
  FolderNames& folder = at->second;
  if (added) {
    // The folder's names, read once: later files there are looked up in
    // memory. Nothing stands in a folder this installation makes.
    const auto fresh = freshFolders_.find(key);
    std::vector<std::string> real;
    std::shared_ptr<platform::OpenDirectory> directory;
    if (fresh != freshFolders_.end()) {
      folder.fresh = true;
      folder.real = fresh->second;
    } else if (key.empty() && madeDestination_) {
      folder.fresh = true;
    } else if (!(directory = parentOf(parts, real))) {
      folder.fresh = true;  // the restore cannot write there either
      folder.real = key;
    } else {
      folder.real = joined(real, real.size());
      const int fd = openat(destFd_, folder.real.empty() ? "." : folder.real.c_str(),
                            O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (DIR* d = fd >= 0 ? fdopendir(fd) : nullptr) {
        while (dirent* e = readdir(d))
          if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            folder.entries.emplace(foldedName(e->d_name), e->d_name);
        closedir(d);
      } else if (fd >= 0) {
        close(fd);
      }
    }
  }
  const std::string prefix = folder.real.empty() ? std::string() : folder.real + "/";
  const auto found = folder.fresh ? folder.entries.end() : folder.entries.find(foldedName(parts.back()));
  if (found == folder.entries.end()) {
    if (!folder.fresh) folder.entries.emplace(foldedName(parts.back()), parts.back());
    journal_.fileAdded(prefix + parts.back());
    return;
  }
  const std::string name = prefix + found->second;
  struct stat st {};
  if (fstatat(destFd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    journal_.fileAdded(name);
    return;
  }
  if (S_ISDIR(st.st_mode)) return;  // the restore fails there, writing nothing
  std::string reason;
  if (journal_.keepAside(name, false, reason).empty()) fail(reason);
}

void TInstallRecorder::dropOld() {
  // Only an update: an earlier installation of the same product (same App,
  // named, and publisher). Another product's files into the same folder
  // stay.
  if (!earlier_ || !journal_.active() || options_.application.empty() ||
      earlier_->application != options_.application || earlier_->publisherKey.value_or("") != options_.publisherKey)
    return;
  std::unordered_set<std::string> gone;
  for (const auto& file : earlier_->files) {
    if (writtenNow_.count(file.name) || mediumNames_.count(foldedName(file.name))) continue;
    gone.insert(file.name);
    std::vector<std::string> parts;
    for (size_t start = 0, slash = 0; slash != std::string::npos; start = slash + 1) {
      slash = file.name.find('/', start);
      parts.push_back(file.name.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
    }
    std::vector<std::string> real;
    auto directory = parentOf(parts, real);
    const std::string& leaf = parts.back();
    platform::FileHandle handle = directory ? directory->openForReading(leaf) : platform::FileHandle();
    if (!handle.valid()) continue;  // gone already, or no file now: nothing of ours
    std::string sha;
    uint64_t size = 0;
    struct stat st {};
    const int fd = int(handle.value);
    const bool same = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && uint64_t(st.st_size) == file.size &&
                      digestOfDescriptor(fd, sha, size) && sha == file.sha256;
    close(fd);
    std::string reason;
    if (same) {
      if (journal_.keepAside(file.name, true, reason).empty()) warn(reason);
    } else {
      install_record::KeptEntry kept{file.name, "changed since it was installed; the new version no longer has it"};
      record_.addKept(kept);
      kept_.push_back(std::move(kept));
    }
  }
  record_.removeFiles(gone);
}

void TInstallRecorder::commit() {
  std::set<std::string> stay;
  std::vector<std::pair<std::string, std::string>> moves;
  const std::string folder = std::string(transaction::kAsideFolder) + "/";
  std::unordered_map<std::string, const install_record::FileEntry*> before;
  if (earlier_)
    for (const auto& f : earlier_->files) before.emplace(f.name, &f);
  std::set<std::string> taken;
  for (const auto& [name, aside] : journal_.keptAside()) {
    if (name == install_record::kRecordName || name == install_record::kUninstallerName || !writtenNow_.count(name))
      continue;  // goes: the installation's own, or a file it removed as installed
    const auto earlier = before.find(name);
    if (earlier != before.end()) {
      // An earlier installation's file: it goes unless the user changed it.
      std::string sha;
      uint64_t size = 0;
      const int fd = openat(destFd_, (folder + aside).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
      struct stat st {};
      const bool same = fd >= 0 && fstat(fd, &st) == 0 && uint64_t(st.st_size) == earlier->second->size &&
                        digestOfDescriptor(fd, sha, size) && sha == earlier->second->sha256;
      if (fd >= 0) close(fd);
      if (same || fd < 0) continue;
      std::string changed = name + transaction::kUserChangedSuffix;
      for (int n = 2; taken.count(changed) || fstatat(destFd_, changed.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0; ++n)
        changed = name + transaction::kUserChangedSuffix + "." + std::to_string(n);
      taken.insert(changed);
      moves.emplace_back(aside, changed);
      install_record::KeptEntry kept{changed,
                                     "changed since it was installed; the new version of " + name + " replaced it"};
      record_.addKept(kept);
      kept_.push_back(std::move(kept));
    } else if (!journal_.added(name)) {
      // The user's own file: kept aside until the uninstaller puts it back.
      stay.insert(aside);
      record_.addAside({name, folder + aside});
      kept_.push_back({name, "no installation wrote it; kept as " + folder + aside + ", put back by the uninstaller"});
    }
  }
  record_.complete = true;
  store(true);
  if (problem_.empty()) journal_.commit(stay, moves);
}
