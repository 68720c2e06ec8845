#pragma once
// The exit statuses of every setupkit command, the setup program and its
// launcher, in one table.
namespace setupkit {

enum ExitStatus : int {
  kExitOk = 0,
  kExitFailed = 1,     // something could not be done: a file not written, a pack or medium that failed
  kExitDamaged = 2,    // the archive is damaged, or is no archive
  kExitMissing = 3,    // the archive cannot be opened: missing, a directory, not readable
  kExitCancelled = 4,  // stopped without an error: cancelled, or a volume did not come
  kExitRefused = 5,    // refused before anything was written
  kExitUsage = 64,     // the command line is wrong
};

}  // namespace setupkit
