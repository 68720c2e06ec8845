#pragma once
// The exit statuses of the programs that run without Qt (the uninstaller),
// the same values as setupkit's.
namespace exit_status {

enum : int {
  kOk = 0,
  kFailed = 1,     // something could not be done
  kDamaged = 2,    // damaged input (a damaged install record)
  kMissing = 3,    // nothing there (no installation in the folder)
  kCancelled = 4,  // stopped by the user
  kRefused = 5,    // refused before anything was changed
  kUsage = 64,     // the command line is wrong
};

}  // namespace exit_status
