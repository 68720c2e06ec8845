#pragma once
// restore: the unattended install of an archive through the restore engine.
#include <iosfwd>
#include <string>

#include "engine/backup_file.h"

namespace setupkit {

struct RestoreOptions {
  std::string archive;          // host or Windows-form path of the first volume
  std::string dest;             // host or Windows-form path; used when hasDest
  bool hasDest = false;         // false: every file returns to its stored path
  bool fullPath = false;        // keep the stored directories below dest
  TRestoreMode mode = rmAll;
};

// How a restore ended; the values are the command's exit statuses.
enum class RestoreOutcome {
  Success = 0,
  ErrorCode = 1,   // the engine reported an error code
  Exception = 2,   // an exception left the restore
  Missing = 3,     // the archive does not exist
  Cancelled = 4,   // stopped without an error code (a volume was not there)
};

// Where the restore talks to its user.
struct RestoreConsole {
  std::ostream& out;        // each restored file
  std::ostream& err;        // messages, progress, questions
  std::istream* in = nullptr;  // answers when asking for a missing volume; null: never ask
  bool progress = false;    // show a percentage on err
};

struct RestoreReport {
  RestoreOutcome outcome = RestoreOutcome::Success;
  std::string message;      // for every outcome but Success
  int restored = 0;         // files restored
};

// Restores the archive with TBackupFile::Restore. Further volumes are taken
// from beside the archive without asking; a missing one is asked for on the
// console when `in` is given, and otherwise cancels the restore.
RestoreReport runRestore(const RestoreOptions& options, RestoreConsole& console);

}  // namespace setupkit
