#include "install/uninstall.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>

#include "common/exit_status.h"
#include "common/file_digest.h"
#include "framework/core/printable.h"
#include "install/install_record.h"
#include "install/json_text.h"
#include "install/menu_entry.h"
#include "install/record_store.h"
#include "install/transaction.h"
#include "platform/errors.h"
#include "platform/open_directory.h"
#include "platform/text_file.h"

namespace {

using Json = nlohmann::ordered_json;
using install_record::Record;

// A recorded name reached from DEST by its exact components, without links.
struct Place {
  std::shared_ptr<platform::OpenDirectory> directory;  // null: not reached
  std::string leaf;
  std::string reason;  // why it was not reached; empty when it is missing
};

Place reach(const std::shared_ptr<platform::OpenDirectory>& dest, const std::string& name) {
  Place place;
  std::shared_ptr<platform::OpenDirectory> directory = dest;
  size_t start = 0;
  for (size_t slash; (slash = name.find('/', start)) != std::string::npos; start = slash + 1) {
    directory = directory->openChild(name.substr(start, slash - start), platform::LinkRule::Refuse);
    if (!directory) {
      if (platform::OpenDirectory::linkRefused())
        place.reason = "a symbolic link in the path";
      else if (platform::lastError() != platform::kErrorFileNotFound &&
               platform::lastError() != platform::kErrorPathNotFound)
        place.reason = platform::lastErrorMessage();
      return place;
    }
  }
  place.directory = directory;
  place.leaf = name.substr(start);
  return place;
}

enum class Outcome { Removed, Missing, Kept, Failed };

// The home folder of `uid`, read from /etc/passwd itself (the uninstaller is
// linked statically and uses no name service); empty when it is not there.
std::string homeOf(uid_t uid) {
  for (const std::string& line : platform::linesOf(platform::readWholeFile("/etc/passwd").value_or(""))) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t colon; (colon = line.find(':', start)) != std::string::npos; start = colon + 1)
      fields.push_back(line.substr(start, colon - start));
    fields.push_back(line.substr(start));
    if (fields.size() >= 7 && fields[2] == std::to_string(uid) && !fields[5].empty() && fields[5][0] == '/')
      return fields[5];
  }
  return {};
}

class Run {
 public:
  Run(const UninstallOptions& options, UninstallConsole& console) : options_(options), console_(console) {}

  int run();

 private:
  void say(const std::string& event, const std::string& kind, const std::string& name, const std::string& reason = {});
  int end(int status, const std::string& message);
  Outcome removeFile(const install_record::FileEntry& file, std::string& reason);
  Outcome removeLink(const install_record::LinkEntry& link, std::string& reason);
  Outcome removeFolder(const std::string& name, std::string& reason);
  // Puts a file of the user's that an installation kept aside back where it
  // stood: Removed when it is back, Kept (with why) when its place is taken.
  Outcome putBack(const install_record::AsideEntry& entry, std::string& reason);
  // Removes each entry with `remove`, telling what became of it; returns
  // those whose removal failed.
  template <class Entry>
  std::vector<Entry> removeEach(const std::vector<Entry>& entries, const char* kind,
                                Outcome (Run::*remove)(const Entry&, std::string&)) {
    std::vector<Entry> failed;
    std::string reason;
    for (const Entry& e : entries) {
      switch ((this->*remove)(e, reason)) {
        case Outcome::Removed: say("removed", kind, e.name); break;
        case Outcome::Missing: break;
        case Outcome::Kept: say("kept", kind, e.name, reason); break;
        case Outcome::Failed:
          say("failed", kind, e.name, reason);
          failed.push_back(e);
          break;
      }
    }
    return failed;
  }
  bool ask();
  // Runs the removal again in a child process with the rights of `uid`.
  int asOwner(uid_t uid, gid_t gid);
  // Removes DEST itself, when it is empty and its name still holds it.
  bool removeDestination();

  const UninstallOptions& options_;
  UninstallConsole& console_;
  std::shared_ptr<platform::OpenDirectory> dest_;
  int destFd_ = -1;
  Record record_;
  int removed_ = 0, kept_ = 0, failed_ = 0;
};

void Run::say(const std::string& event, const std::string& kind, const std::string& name, const std::string& reason) {
  if (event == "removed") ++removed_;
  if (event == "kept") ++kept_;
  if (event == "failed") ++failed_;
  if (options_.json) {
    Json o;
    o["event"] = event;
    o["kind"] = kind;
    o["name"] = json_text::asUtf8(name);
    if (!json_text::isUtf8(name)) o["name_hex"] = json_text::hexOf(name);
    if (!reason.empty()) o["reason"] = reason;
    console_.out.put(o.dump() + "\n");
  } else if (event != "removed") {
    console_.err.put(std::string(event == "kept" ? "Kept " : "Could not remove ") + kind + " " + fw::printable(name) +
                     ": " + reason + "\n");
  }
}

int Run::end(int status, const std::string& message) {
  if (options_.json) {
    Json o;
    o["event"] = "done";
    o["status"] = status;
    o["removed"] = removed_;
    o["kept"] = kept_;
    o["failed"] = failed_;
    if (!message.empty()) o["message"] = message;
    console_.out.put(o.dump() + "\n");
  } else if (!message.empty()) {
    (status == setupkit::kExitOk ? console_.out : console_.err).put(message + "\n");
  }
  console_.out.flush();
  if (destFd_ >= 0) close(destFd_);
  return status;
}

Outcome Run::removeFile(const install_record::FileEntry& file, std::string& reason) {
  Place place = reach(dest_, file.name);
  if (!place.directory) {
    reason = place.reason;
    return reason.empty() ? Outcome::Missing : Outcome::Kept;
  }
  struct stat entry {};
  if (!place.directory->statEntry(place.leaf, entry)) return Outcome::Missing;
  if (!S_ISREG(entry.st_mode)) {
    reason = S_ISLNK(entry.st_mode) ? "a symbolic link now stands there" : "no regular file stands there now";
    return Outcome::Kept;
  }
  platform::FileHandle handle = place.directory->openForReading(place.leaf);
  std::string sha;
  uint64_t size = 0;
  struct stat opened {};
  const bool read =
      handle.valid() && fstat(int(handle.value), &opened) == 0 && digestOfDescriptor(int(handle.value), sha, size);
  if (handle.valid()) close(int(handle.value));
  if (!read) {
    reason = platform::lastErrorMessage();
    return Outcome::Failed;
  }
  if (size != file.size || sha != file.sha256) {
    reason = "changed since it was installed";
    return Outcome::Kept;
  }
  // The name must still hold the file that was read.
  struct stat now {};
  if (!place.directory->statEntry(place.leaf, now) || now.st_ino != opened.st_ino || now.st_dev != opened.st_dev) {
    reason = "it was replaced while it was checked";
    return Outcome::Kept;
  }
  if (!place.directory->remove(place.leaf)) {
    reason = platform::lastErrorMessage();
    return Outcome::Failed;
  }
  return Outcome::Removed;
}

// A link is removed while it is still the one made: a link holding the same
// text (never what it points at).
Outcome Run::removeLink(const install_record::LinkEntry& link, std::string& reason) {
  Place place = reach(dest_, link.name);
  if (!place.directory) {
    reason = place.reason;
    return reason.empty() ? Outcome::Missing : Outcome::Kept;
  }
  struct stat entry {};
  if (!place.directory->statEntry(place.leaf, entry)) return Outcome::Missing;
  std::string text;
  if (!S_ISLNK(entry.st_mode) || !place.directory->readLink(place.leaf, text) || text != link.target) {
    reason = S_ISLNK(entry.st_mode) ? "it points elsewhere now" : "no symbolic link stands there now";
    return Outcome::Kept;
  }
  if (!place.directory->remove(place.leaf)) {
    reason = platform::lastErrorMessage();
    return Outcome::Failed;
  }
  return Outcome::Removed;
}

Outcome Run::removeFolder(const std::string& name, std::string& reason) {
  Place place = reach(dest_, name);
  if (!place.directory) {
    reason = place.reason;
    return reason.empty() ? Outcome::Missing : Outcome::Kept;
  }
  struct stat entry {};
  if (!place.directory->statEntry(place.leaf, entry)) return Outcome::Missing;
  if (!S_ISDIR(entry.st_mode)) {
    reason = "no folder stands there now";
    return Outcome::Kept;
  }
  if (place.directory->removeDirectory(place.leaf)) return Outcome::Removed;
  if (errno == ENOTEMPTY || errno == EEXIST) {
    reason = "it holds files of its own";
    return Outcome::Kept;
  }
  reason = platform::lastErrorMessage();
  return Outcome::Failed;
}

Outcome Run::putBack(const install_record::AsideEntry& entry, std::string& reason) {
  Place from = reach(dest_, entry.aside);
  struct stat st {};
  if (!from.directory || !from.directory->statEntry(from.leaf, st)) return Outcome::Missing;
  Place to = reach(dest_, entry.name);
  if (!to.directory) {
    reason = "kept as " + entry.aside + ": its folder is gone";
    return Outcome::Kept;
  }
  if (to.directory->statEntry(to.leaf, st)) {
    reason = "kept as " + entry.aside + ": something else stands in its place";
    return Outcome::Kept;
  }
  // Both folders by descriptor, component by component without links.
  auto folderOf = [&](const std::string& name) {
    std::string leaf;
    return transaction::parentOf(destFd_, name, leaf);
  };
  const int source = folderOf(entry.aside);
  const int target = folderOf(entry.name);
  const bool moved = source >= 0 && target >= 0 && renameat(source, from.leaf.c_str(), target, to.leaf.c_str()) == 0;
  if (!moved) reason = std::strerror(errno);
  if (source >= 0) close(source);
  if (target >= 0) close(target);
  return moved ? Outcome::Removed : Outcome::Failed;
}

int Run::asOwner(uid_t uid, gid_t gid) {
  console_.out.flush();
  console_.err.flush();
  const pid_t child = fork();
  if (child < 0) return end(setupkit::kExitFailed, std::string("cannot start the removal: ") + std::strerror(errno));
  if (child == 0) {
    // The user's own state folder and applications folder, not root's.
    const std::string home = homeOf(uid);
    if (setgroups(0, nullptr) != 0 || setresgid(gid, gid, gid) != 0 || setresuid(uid, uid, uid) != 0)
      _exit(setupkit::kExitFailed);
    unsetenv("XDG_STATE_HOME");
    unsetenv("XDG_DATA_HOME");
    if (!home.empty()) setenv("HOME", home.c_str(), 1);
    close(destFd_);
    destFd_ = -1;
    dest_.reset();
    _exit(run());
  }
  close(destFd_);
  destFd_ = -1;
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : int(setupkit::kExitFailed);
}

bool Run::removeDestination() {
  // By the parent's descriptor and the name, once the name is seen to hold
  // the folder that was opened.
  const std::string path = record_store::pathOf(destFd_);
  const size_t slash = path.rfind('/');
  if (path.empty() || slash == std::string::npos || slash + 1 == path.size()) return false;
  const int parent = open(slash == 0 ? "/" : path.substr(0, slash).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (parent < 0) return false;
  const std::string name = path.substr(slash + 1);
  struct stat opened {
  }, named{};
  const bool same = fstat(destFd_, &opened) == 0 && fstatat(parent, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
                    opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
  const bool removed = same && unlinkat(parent, name.c_str(), AT_REMOVEDIR) == 0;
  close(parent);
  return removed;
}

bool Run::ask() {
  if (options_.unattended) return true;
  std::string what = record_.application.empty() ? std::string("the installation") : fw::printable(record_.application);
  console_.err.put("Remove " + what + " from " + fw::printable(options_.dest) + "? " +
                   std::to_string(record_.files.size()) + " files, " + std::to_string(record_.folders.size()) +
                   " folders and " + std::to_string(record_.menu.size()) +
                   " menu entries; files changed since they were installed stay. [y/N] ");
  console_.err.flush();
  std::string answer;
  if (!console_.in->line(answer)) return false;
  return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

int Run::run() {
  const std::string shownDest = fw::printable(options_.dest);
  // DEST is opened once, never again by its path: a folder swapped for a
  // link or another folder after this changes nothing of what is removed.
  destFd_ = open(options_.dest.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (destFd_ >= 0) dest_ = platform::OpenDirectory::fromDescriptor(destFd_, options_.dest);
  if (destFd_ < 0 || !dest_) {
    if (errno == ELOOP || errno == ENOTDIR)
      return end(setupkit::kExitRefused, shownDest + " is a symbolic link; name the folder itself");
    return end(setupkit::kExitMissing, "Nothing is installed in " + shownDest);
  }
  struct stat destStatus {};
  fstat(destFd_, &destStatus);
  // The record this process may act on: its own store's, or a copy in DEST
  // that only it could have written.
  record_store::Earlier earlier = record_store::loadEarlier(destFd_);
  if (geteuid() == 0 && earlier.source != record_store::Source::Store && destStatus.st_uid != 0) {
    // Not root's installation: removed with the rights of the user who owns
    // DEST, from the record that user can read, so that it removes only what
    // that user could.
    return asOwner(destStatus.st_uid, destStatus.st_gid);
  }
  // An installation into DEST that did not end is undone first.
  bool undone = false;
  const std::string unfinished = transaction::recoverAt(destFd_, &undone);
  if (!unfinished.empty()) return end(setupkit::kExitFailed, unfinished + "; nothing was removed");
  if (undone) earlier = record_store::loadEarlier(destFd_);
  record_ = std::move(earlier.record);
  std::string problem = earlier.problem;
  switch (earlier.state) {
    case install_record::LoadState::Missing:
      if (!problem.empty()) return end(setupkit::kExitRefused, "Nothing is removed from " + shownDest + ": " + problem);
      return end(setupkit::kExitMissing, "Nothing is installed in " + shownDest + ": it has no install record");
    case install_record::LoadState::Damaged:
      return end(setupkit::kExitDamaged,
                 "The install record in " + shownDest + " cannot be used: " + problem + "; nothing was removed");
    case install_record::LoadState::Outside:
      return end(setupkit::kExitRefused,
                 "The install record in " + shownDest + " is refused: " + problem + "; nothing was removed");
    case install_record::LoadState::Loaded: break;
  }
  if (!options_.unattended && !console_.in)
    return end(setupkit::kExitRefused, "Nobody can be asked here: give --unattended to remove without asking");
  if (!ask()) return end(setupkit::kExitCancelled, "Nothing was removed");

  Record left = record_;  // what a second run still has to do
  left.folders.clear();
  left.menu.clear();
  std::string reason;
  left.files = removeEach(record_.files, "file", &Run::removeFile);
  left.links = removeEach(record_.links, "link", &Run::removeLink);
  // The user's own files an installation replaced, back where they stood;
  // the files it left and named stay.
  left.aside.clear();
  for (const auto& entry : record_.aside) {
    switch (putBack(entry, reason)) {
      case Outcome::Removed: say("kept", "file", entry.name, "the user's own file, put back where it stood"); break;
      case Outcome::Missing: break;
      case Outcome::Kept: say("kept", "file", entry.name, reason); break;
      case Outcome::Failed:
        say("failed", "file", entry.name, "cannot put it back from " + entry.aside + ": " + reason);
        left.aside.push_back(entry);
        break;
    }
  }
  if (!record_.aside.empty()) unlinkat(destFd_, transaction::kAsideFolder, AT_REMOVEDIR);  // when empty
  for (const auto& entry : record_.kept) {
    struct stat st {};
    if (fstatat(destFd_, entry.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
      say("kept", "file", entry.name, entry.reason);
  }
  // The deepest first; of the same depth, the last made first.
  std::vector<std::string> folders(record_.folders.rbegin(), record_.folders.rend());
  std::stable_sort(folders.begin(), folders.end(), [](const std::string& a, const std::string& b) {
    return std::count(a.begin(), a.end(), '/') > std::count(b.begin(), b.end(), '/');
  });
  for (const auto& folder : folders) {
    switch (removeFolder(folder, reason)) {
      case Outcome::Removed: say("removed", "folder", folder); break;
      case Outcome::Missing: break;
      case Outcome::Kept:
        // Still the installation's: it may hold a file that could not be
        // removed, which a second run removes before it.
        say("kept", "folder", folder, reason);
        left.folders.insert(left.folders.begin(), folder);
        break;
      case Outcome::Failed:
        say("failed", "folder", folder, reason);
        left.folders.insert(left.folders.begin(), folder);
        break;
    }
  }
  for (const auto& entry : record_.menu) {
    install_record::MenuEntry unfinished = entry;  // the files a second run still has to remove
    unfinished.files.clear();
    auto onFile = [&](const install_record::DesktopFile& file, menu_entry::Removal removal, const std::string& why) {
      const char* kind = file.name.rfind("icons/", 0) == 0 ? "icon" : "file types";
      switch (removal) {
        case menu_entry::Removal::Removed: say("removed", kind, file.name); break;
        case menu_entry::Removal::Missing: break;
        case menu_entry::Removal::Changed: say("kept", kind, file.name, "changed since it was installed"); break;
        case menu_entry::Removal::Failed:
          say("failed", kind, file.name, why);
          unfinished.files.push_back(file);
          break;
      }
    };
    const menu_entry::Removal removal = menu_entry::remove(entry, reason, onFile);
    if (removal != menu_entry::Removal::Failed && !unfinished.files.empty()) left.menu.push_back(unfinished);
    switch (removal) {
      case menu_entry::Removal::Removed: say("removed", "menu entry", entry.name); break;
      case menu_entry::Removal::Missing: break;
      case menu_entry::Removal::Changed: say("kept", "menu entry", entry.name, "changed since it was installed"); break;
      case menu_entry::Removal::Failed:
        say("failed", "menu entry", entry.name, reason);
        left.menu.push_back(entry);
        break;
    }
  }
  if (failed_ > 0) {
    if (!record_store::store(destFd_, left, problem) || !install_record::store(destFd_, left, problem))
      say("failed", "record", install_record::kRecordName, problem);
    return end(setupkit::kExitFailed, "Not everything could be removed; the install record keeps what is left");
  }
  // Last the records and the uninstaller, which may be the running program.
  if (!record_store::remove(destFd_) || !install_record::remove(destFd_)) {
    say("failed", "record", install_record::kRecordName, std::strerror(errno));
    return end(setupkit::kExitFailed, "The install record could not be removed");
  }
  if (record_.uninstaller) {
    switch (removeFile(*record_.uninstaller, reason)) {
      case Outcome::Removed: say("removed", "file", record_.uninstaller->name); break;
      case Outcome::Missing: break;
      case Outcome::Kept: say("kept", "file", record_.uninstaller->name, reason); break;
      case Outcome::Failed: say("failed", "file", record_.uninstaller->name, reason); break;
    }
  }
  if (record_.destinationMade && removeDestination()) say("removed", "folder", options_.dest);
  const int status = failed_ > 0 ? setupkit::kExitFailed : setupkit::kExitOk;
  std::string summary =
      "Removed " + std::to_string(removed_) + (removed_ == 1 ? " item" : " items") + " from " + shownDest;
  if (kept_ > 0) summary += "; kept " + std::to_string(kept_) + " changed or foreign";
  return end(status, summary);
}

}  // namespace

bool FileInput::line(std::string& text) { return platform::readLine(file_, text); }

bool StringInput::line(std::string& text) {
  if (at_ >= text_.size()) return false;
  const size_t end = std::min(text_.find('\n', at_), text_.size());
  text = text_.substr(at_, end - at_);
  at_ = end + 1;
  return true;
}

int runUninstall(const UninstallOptions& options, UninstallConsole& console) { return Run(options, console).run(); }
