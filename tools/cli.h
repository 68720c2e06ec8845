#pragma once
// The command line of setupkit, parsed into the option structs of the
// commands. No command runs here.
#include <stdexcept>
#include <string>
#include <vector>

#include "install/uninstall.h"
#include "install/verify.h"
#include "tools/installed_command.h"
#include "tools/medium.h"
#include "tools/pack.h"
#include "tools/restore_command.h"

namespace setupkit {

enum class Command { None, Pack, Medium, List, Verify, Restore, Uninstall, Installed, Key };

// setupkit key new: where the key pair goes and how the secret is kept.
struct KeyOptions {
  std::string publicFile, secretFile;  // host paths
  std::string passwordFile;            // empty: ask on the terminal
  bool noPassword = false;             // the secret key not encrypted (for CI)
};

struct CommandLine {
  Command command = Command::None;
  bool help = false;               // --help: print the command's usage
  bool version = false;            // --version: print the tool's version
  PackOptions pack;                // pack (archive and sources as given, host form)
  MediumOptions medium;            // medium
  std::string archive;             // list, verify
  std::vector<std::string> media;  // list, verify: folders holding further volumes (host form)
  bool json = false;               // list --json, verify --json (of an installation)
  VerifyOptions installation;      // verify of an installed folder: DEST (host form), --json
  InstalledOptions installed;      // installed
  RestoreOptions restore;          // restore
  std::string verifyKey;           // verify --key: the publisher's public key file (host form)
  std::string signedMedium;        // verify --key: the medium folder or one-file installer (host form)
  KeyOptions key;                  // key new
  UninstallOptions uninstall;      // uninstall
};

// A command line that does not fit the usage; main prints it with usageErrorText.
class UsageError : public std::runtime_error {
 public:
  UsageError(Command command, const std::string& message) : std::runtime_error(message), command(command) {}
  Command command;
};

// Parses the arguments after the program name. Options take their value as
// the next argument or after "="; an unknown option or command is named with
// the closest known one when it looks mistyped. Raises UsageError.
CommandLine parseCommandLine(const std::vector<std::string>& args);

// The usage text of a command (Command::None: of the whole tool).
std::string usageText(Command command);

// What standard error shows for a usage error: the message, then the
// command's usage line and where its options are described (without a
// command at all: the whole usage of the tool).
std::string usageErrorText(const UsageError& error);

// "setupkit VERSION", the line --version prints.
std::string versionText();

}  // namespace setupkit
