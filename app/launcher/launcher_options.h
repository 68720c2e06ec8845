#pragma once
// The launcher's command line. Without arguments the setup program's wizard
// starts as always; with them the launcher works alone, without a display:
// it installs, checks or lists the medium.
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/backup_file.h"

namespace launcher {

enum class Action { Wizard, Install, Check, List, Help, Version };

struct Options {
  Action action = Action::Wizard;
  std::string dest;                // --dest as given: a host path or the Windows form
  std::vector<std::string> media;  // --media folders as given, in order
  TRestoreMode mode = rmAll;
  bool json = false;                // --json: one JSON object per line on standard output
  bool quiet = false;               // --quiet: no progress line on a terminal
  bool acceptNewPublisher = false;  // --accept-new-publisher: install over another publisher's installation
  bool allowDowngrade = false;      // --allow-downgrade: install an older version over a newer one
};

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Parses the arguments after the program name; raises UsageError.
Options parseOptions(const std::vector<std::string>& args);

// What --help prints; `program` is the name the launcher was started by.
std::string helpText(const std::string& program);

}  // namespace launcher
