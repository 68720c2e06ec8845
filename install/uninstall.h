#pragma once
// Removes an installation by its install record (install/install_record.h):
// the program DEST/uninstall and `setupkit uninstall DEST` both run this.
//
// Each recorded file is removed when its content is unchanged (size and
// SHA-256); a changed one is kept and named. The folders the installation
// made go once empty, then the menu entries, and last the record and the
// uninstaller (and DEST, when the installation made it and it is empty).
// Nothing the record does not list is removed, and no link below DEST is
// followed: every name is reached from an open descriptor of DEST. A record
// that is damaged or names anything outside DEST is refused before anything
// is removed. When a removal fails, the record keeps what is left, so that
// a second run can finish.
#include <iosfwd>
#include <string>

struct UninstallOptions {
  std::string dest;         // host path of the installation's folder
  bool unattended = false;  // remove without asking
  bool json = false;        // one JSON object a line on `out` instead of text
};

struct UninstallConsole {
  std::ostream& out;
  std::ostream& err;
  std::istream* in = nullptr;  // where the answer is read; null: nobody can be asked
};

// Returns the exit status (common/exit_status.h): 0 done, 1 a removal
// failed, 2 the record is damaged, 3 nothing is installed there, 4 the user
// said no, 5 refused (a record naming anything outside DEST, or nobody to
// ask without `unattended`).
int runUninstall(const UninstallOptions& options, UninstallConsole& console);
