#pragma once
// Keeps the install record of an installation while it runs: hooked to the
// events of the TBackupFile that restores the archive, it notes each folder
// the restore is about to make and each file once it has its name (and the
// folders and links the medium's attributes add after the files), and
// rewrites DEST's record by replacement as the files land (at most once a
// second, before every disk prompt and at the end), so that an installation
// that fails, is cancelled or is killed can be removed too. A kill -9 loses
// at most the files that landed in the last second (they stay in DEST,
// unrecorded) and the file being written. It also places the uninstaller in
// DEST first and writes the medium's menu entry last.
//
//   TInstallRecorder recorder(backup, dest, options);  // before Restore
//   bool completed = backup.Restore(archive, dest);
//   recorder.finish(completed);                        // or let it go: finish(false)
//
// The record is begun when the restore is about to write its first file, so
// a missing or unreadable archive leaves nothing behind. The install routine
// (install/installation.h) is its one user.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/backup_file.h"
#include "install/install_record.h"
#include "install/menu_entry.h"
#include "install/transaction.h"
#include "platform/open_directory.h"

struct TInstallOptions {
  std::string application;                // App of SETUP.INS, for the record
  std::string version, title, publisher;  // Version, Title and Publisher of SETUP.INS, for the record
  std::string installed;                  // when the installation began (ISO 8601, UTC), for the record
  menu_entry::Settings menu;              // [Menu] of SETUP.INS; none when !menu.present()
  std::string uninstallerProgram;         // host path of the uninstaller to place in DEST; empty: none
  std::string publisherKey;               // the medium's signing key id, when it was signed
};

class TInstallRecorder {
 public:
  // Hooks `backup`'s events for a restore into `targetDir` (Windows form);
  // handlers already set are still called, first. The destructor unhooks
  // them, after finish(false) when finish() was not called.
  TInstallRecorder(TBackupFile& backup, const std::string& targetDir, TInstallOptions options);
  ~TInstallRecorder();
  TInstallRecorder(const TInstallRecorder&) = delete;
  TInstallRecorder& operator=(const TInstallRecorder&) = delete;

  // Makes DEST when missing, reads its earlier record (merged into this
  // one), places the uninstaller and writes the record. False, with
  // problem(), when DEST cannot be made or opened or its record is damaged:
  // then nothing is recorded. Called by the first file's OnRestoreFile when
  // not called before.
  bool begin();
  // Settles the last file. When the installation `completed`: removes the
  // files an earlier version of the same product installed that this one
  // no longer has (those the user changed stay, named), writes the menu
  // entry and the record a last time, and ends the transaction. Otherwise,
  // or when the record could not be kept, undoes the installation: DEST,
  // its record and the pin return to what they were.
  void finish(bool completed);
  // Whether finish() undid the installation.
  bool rolledBack() const { return rolledBack_; }
  // The files the installation left in DEST and named (changed by the user,
  // or the user's own kept aside).
  const std::vector<install_record::KeptEntry>& kept() const { return kept_; }

  // What could not be done but leaves the installation whole (an earlier
  // record not used, a menu entry not written).
  const std::vector<std::string>& warnings() const { return warnings_; }
  // Why the installation failed: the record could not be kept or the
  // uninstaller not placed. Empty when it did not.
  const std::string& problem() const { return problem_; }
  const install_record::Record& record() const { return record_; }

 private:
  struct Pending {
    std::string target;
    uint64_t device = 0, inode = 0;
    // The size and SHA-256 the landing check computed of the bytes as they
    // were written; without a check the record reads the file.
    bool digested = false;
    uint64_t size = 0;
    std::string sha256;
  };
  std::vector<std::string> relativeParts(const std::string& target) const;
  // Whether a file restored to `target` would land on DEST's uninstaller or
  // record.
  bool overwritesOwnFile(const std::string& target) const;
  // Notes the folders above `target` (and `target` itself when `itself`)
  // that do not exist yet: the restore is about to make them.
  void noteFolders(const std::string& target, bool itself = false);
  void noteLink(const std::string& target, const std::string& text);
  // Before the restore writes `target`: what stands there is kept aside
  // (a file of the user's, or of an earlier installation), or the name is
  // noted as added.
  void beforeWrite(const std::string& target);
  // The files of the earlier installation of the same product that this
  // one did not write: removed when they are as installed, else kept.
  void dropOld();
  // What becomes of each entry kept aside, then the record a last time and
  // the journal's plan.
  void commit();
  void rollBack();
  std::shared_ptr<platform::OpenDirectory> parentOf(const std::vector<std::string>& parts,
                                                    std::vector<std::string>& real) const;
  void settle();
  void store(bool now);
  void placeUninstaller();
  void warn(const std::string& text);
  // A failure of the installation: the record or the uninstaller could not
  // be kept. The first is kept as problem(); raiseProblem() ends the restore
  // with it from an event handler.
  void fail(const std::string& text);
  void raiseProblem();

  TBackupFile& backup_;
  std::string targetDir_;
  TInstallOptions options_;
  TRestoreFileEvent oldRestoreFile_;
  TFileRestoredEvent oldFileRestored_;
  TNeedDiskEvent oldNeedDisk_;
  TProgressEvent oldProgress_;
  std::function<void(const std::string&, bool)> oldMaking_;
  std::function<void(const std::string&, const std::string&)> oldLinkMade_;
  install_record::Record record_;
  int destFd_ = -1;
  std::string destHost_;
  bool begun_ = false;
  bool active_ = false;
  bool finished_ = false;
  bool raised_ = false;
  std::unique_ptr<Pending> pending_;
  std::set<std::string> knownFolders_;
  // The names in one folder (by letter case folded), read once when a folder
  // to be made there was missing, with the folders noted since: the next one
  // to be made there is looked up without reading the folder again, so that
  // thousands of empty folders cost linear time. Dropped when a file lands.
  std::string namesOf_;
  bool namesRead_ = false;
  std::unordered_map<std::string, std::string> names_;
  // The folder of the last settled file, as asked and as found, held open.
  std::shared_ptr<platform::OpenDirectory> lastFolder_;
  std::string lastFolderKey_;
  std::vector<std::string> lastFolderReal_;  // folders of targets already looked at (as asked)
  std::chrono::steady_clock::time_point lastStore_{};
  std::vector<std::string> warnings_;
  std::string problem_;
  // The transaction.
  transaction::TJournal journal_;
  std::optional<install_record::Record> earlier_;
  bool madeDestination_ = false;
  bool rolledBack_ = false;
  std::unordered_set<std::string> writtenNow_;   // names written by this installation
  std::unordered_set<std::string> mediumNames_;  // the medium's names below DEST, letter case folded
  std::vector<install_record::KeptEntry> kept_;
  // Folders about to be made by this installation (as asked) and their names
  // as made: nothing stands in them.
  std::unordered_map<std::string, std::string> freshFolders_;
  struct FolderNames {
    bool fresh = false;
    std::string real;                                      // relative to DEST
    std::unordered_map<std::string, std::string> entries;  // by letter case folded
  };
  std::unordered_map<std::string, FolderNames> folderNames_;  // by the folder as asked
};
