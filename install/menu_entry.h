#pragma once
// The menu entry an installation adds: the optional [Menu] section of
// SETUP.INS turned into a desktop entry in the applications folder of the
// installing user (root: the machine's), and its removal.
#include <string>

#include "install/install_record.h"

namespace menu_entry {

// [Menu] of SETUP.INS. Exec and Icon are names below the destination.
struct Settings {
  std::string name;
  std::string exec;
  std::string icon;
  std::string comment;
  std::string categories;
  bool terminal = false;
  bool present() const { return !name.empty() || !exec.empty(); }
};

// Reads [Menu] of the SETUP.INS text. No section: !present().
Settings fromIni(const std::string& iniText);
// Why the settings cannot make an entry (no Name or Exec, Exec or Icon not a
// name below the destination, text a desktop entry cannot hold); empty when
// they can.
std::string problemOf(const Settings& settings);

// The desktop entry for an installation into the host folder `dest`. Empty,
// with `problem`, when the destination cannot be written into an entry
// (not UTF-8, control characters).
std::string entryText(const Settings& settings, const std::string& dest, std::string& problem);
// The entry's file name for an installation into `dest`: the name's letters
// and the start of the destination's digest, so that two installations of the
// same program into different folders keep their entries apart.
std::string fileName(const Settings& settings, const std::string& dest);

// "system" for root, "user" otherwise.
std::string scopeOfProcess();
// The applications folder of a scope for this process: /usr/local/share/
// applications, or $XDG_DATA_HOME/applications (an absolute value), else
// ~/.local/share/applications. Empty when there is none.
std::string applicationsFolder(const std::string& scope);

// Writes the entry (by replacement) into this process's applications folder,
// making the folder when missing, and refreshes the menu's cache. Fills
// `entry` for the record.
bool write(const Settings& settings, const std::string& dest, install_record::MenuEntry& entry, std::string& problem);

enum class Removal { Removed, Missing, Changed, Failed };
// Removes a recorded entry when its content is what was written.
Removal remove(const install_record::MenuEntry& entry, std::string& problem);

// Runs update-desktop-database on `folder` when it is installed, silently.
void refreshDatabase(const std::string& folder);

}  // namespace menu_entry
