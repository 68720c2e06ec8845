#pragma once
// The installation as a transaction: it ends complete, or DEST is left as it
// was before it began.
//
// A journal in the state folder (the record store's folder: root's is
// root's alone) says what the installation has done so far, one line per
// step, written before the step is taken:
//
//   D path          DEST's host path (the first line after the title)
//   M               DEST was made by this installation
//   S 0|1           whether the store's record was there (then it was kept
//                   aside beside the journal as NAME.before)
//   F name          a folder below DEST about to be made
//   A name          a file (or link) about to be added where nothing stood
//   K name aside    what stood at `name`, kept aside under `aside` (a hard
//                   link, or the entry itself renamed) before it is replaced
//                   or removed
//   C               the installation completed: what follows is the plan
//   X aside         (plan) an entry kept aside that goes
//   P aside name    (plan) an entry kept aside that goes to `name`
//
// Names are relative to DEST, in hexadecimal. A failed or cancelled
// installation undoes the lines from the last to the first; one killed
// outright is undone by the next run of any front end on that DEST, before it
// does anything else (recover()). A journal that ends with its plan is
// carried out instead. Into an empty DEST nothing is kept aside and a line
// per file is the whole cost.
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace transaction {

// The folder inside DEST where the entries an installation replaces or
// removes are kept aside (and where a user's files stay for the uninstaller
// to put back).
inline constexpr const char* kAsideFolder = ".install-aside";
// What a file the user changed and a new version replaced is renamed to,
// beside the new one.
inline constexpr const char* kUserChangedSuffix = ".user-changed";

// The space an installation needs against what DEST's file system offers
// this user (f_bavail): a refusal naming both figures, or empty. `needed`
// bytes; DEST need not exist (its nearest existing parent is asked).
std::string spaceProblem(const std::string& destHost, uint64_t needed);

// The folder holding `name` (relative to the folder open as `dirFd`), reached
// component by component without following a link; `leaf` gets the last
// component. A new descriptor, or -1 when a folder on the way is missing or a
// link.
int parentOf(int dirFd, const std::string& name, std::string& leaf);

class TJournal {
 public:
  TJournal() = default;
  ~TJournal();
  TJournal(const TJournal&) = delete;
  TJournal& operator=(const TJournal&) = delete;

  // Begins the journal of DEST (open as `destFd`): false with `problem`
  // when it cannot be written. Keeps the store's record and DEST's copy
  // aside, so that both return to what they were.
  bool begin(int destFd, bool destinationMade, std::string& problem);
  bool active() const { return fd_ >= 0; }

  void folderMade(const std::string& name);
  void fileAdded(const std::string& name);
  // Keeps the entry at `name` aside before it is replaced (`remove` false:
  // a hard link, the name keeps it) or removed (`remove`: renamed away). The
  // name in the aside folder, or empty with `problem`.
  std::string keepAside(const std::string& name, bool remove, std::string& problem);
  // Flushes the journal to disk (at most once a second while files land).
  void sync(bool now);

  // The plan once the installation completed: the entries kept aside in
  // `stay` stay in the aside folder, those in `moves` (aside name, name
  // below DEST) go there, every other one goes; then the journal goes.
  void commit(const std::set<std::string>& stay, const std::vector<std::pair<std::string, std::string>>& moves);
  // Undoes what the journal says was done; true when DEST is as it was.
  bool rollBack(std::string& problem);

  // What was kept aside in this run: aside name by name, in order.
  const std::vector<std::pair<std::string, std::string>>& keptAside() const { return kept_; }
  // Whether `name` was added by this run.
  bool added(const std::string& name) const { return added_.count(name) > 0; }

 private:
  friend std::string recoverAt(int destFd, bool* undone);
  void line(const std::string& text);
  bool openAside(std::string& problem);
  void carryOut(const std::vector<std::vector<std::string>>& plan);
  void finishUp();

  int fd_ = -1;
  int destFd_ = -1;
  int storeFd_ = -1;
  int asideFd_ = -1;
  std::string journalName_;
  std::string recordName_;
  unsigned next_ = 1;
  int64_t lastSync_ = 0;
  std::set<std::string> added_;
  std::vector<std::pair<std::string, std::string>> kept_;
};

// When an installation into DEST (host path) did not end, undoes it, or
// finishes the plan of one that completed. Empty when there was none or it
// was undone; otherwise why DEST could not be put back. `undone` tells
// whether a journal was found.
std::string recover(const std::string& destHost, bool* undone = nullptr);
// The same for DEST open as `destFd`.
std::string recoverAt(int destFd, bool* undone = nullptr);

}  // namespace transaction
