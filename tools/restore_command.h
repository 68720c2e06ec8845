#pragma once
// restore: the unattended install of an archive through the restore engine.
#include <iosfwd>
#include <string>
#include <vector>

#include "common/exit_status.h"
#include "engine/backup_file.h"

namespace setupkit {

// Where the restored files go.
enum class RestoreLayout {
  Tree,         // the stored directories below the destination (the default)
  Flat,         // every file directly in the destination, by its file name
  StoredPaths,  // every file to the path stored in the archive; no destination
};

struct RestoreOptions {
  std::string archive;  // host or Windows-form path of the first volume
  std::string dest;     // host or Windows-form path; empty: the current directory
  RestoreLayout layout = RestoreLayout::Tree;
  TRestoreMode mode = rmAll;
  bool modeGiven = false;          // --mode was given: a flat restore then overwrites in archive order
  bool verbose = false;            // name each restored file on the console's `out`
  std::vector<std::string> media;  // folders holding further volumes (host or Windows form)
  // Keep an install record in DEST (install/install_recorder.h), with the
  // menu entry of a SETUP.INS beside the archive, and place `uninstaller`
  // (or one found beside the archive) in DEST.
  bool record = false;
  std::string uninstaller;
  // With `record`: install over an installation pinned to another publisher
  // (refused otherwise, with Refused, before anything is written).
  bool acceptNewPublisher = false;
  // With `record`: install an older version over a newer one of the same
  // product (refused otherwise, with Refused, before anything is written).
  bool allowDowngrade = false;
};

// How a restore ended; the values are the command's exit statuses.
enum class RestoreOutcome {
  Success = kExitOk,
  WriteFailed = kExitFailed,   // a file could not be written
  Damaged = kExitDamaged,      // the archive could not be read, or is no archive
  Missing = kExitMissing,      // the archive cannot be opened
  Cancelled = kExitCancelled,  // stopped without an error code (a volume was not there)
  Refused = kExitRefused,      // refused before anything was written (entries that name one file)
};

// Where the restore talks to its user.
struct RestoreConsole {
  std::ostream& out;           // each restored file, when verbose
  std::ostream& err;           // notices, progress, questions
  std::istream* in = nullptr;  // answers when asking for a missing volume; null: never ask
  bool progress = false;       // show a percentage on err
};

struct RestoreReport {
  RestoreOutcome outcome = RestoreOutcome::Success;
  std::string message;  // for every outcome but Success; may span lines
  int restored = 0;     // files restored
};

// Restores the archive with TBackupFile::Restore. Further volumes are taken
// without asking from beside the archive, from their disk's folder beside
// disk1/, or from the `media` folders; a missing one is asked for on the
// console when `in` is given (the answer may name the folder that holds it),
// and otherwise cancels the restore. A flat
// restore without an explicit mode first checks that no two entries land on
// the same file, and a restore to the stored paths first says on `err` where
// it will write; both look at every entry before anything is written.
RestoreReport runRestore(const RestoreOptions& options, RestoreConsole& console);

}  // namespace setupkit
