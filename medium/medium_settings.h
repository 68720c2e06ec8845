#pragma once
// Where and how a medium installs, from its SETUP.INS: the destination
// proposed (DestDir to root, UserDestDir with "~" as the home folder to
// other users) and whether the stored tree is kept (Paths=Tree). The wizard
// and an unattended install read them alike.
#include <optional>
#include <string>

namespace medium {

struct InstallPlace {
  std::string destination;  // Windows form where a drive covers it
  bool tree = false;        // keep the stored folders below the destination
};

// From the values of DestDir, UserDestDir and Paths; `root` for a process of
// the superuser.
InstallPlace installPlace(const std::string& destDir, const std::string& userDestDir, const std::string& paths,
                          bool root);
// From the text of SETUP.INS, for this process's user.
InstallPlace installPlaceOf(const std::string& setupIns);

// A UserDestDir value with a leading "~" (alone, or before "/" or "\") as
// the user's home folder ($HOME when absolute, else the password entry's),
// in Windows form; other values as they are.
std::string userDestination(const std::string& value);

// What a medium's SETUP.INS says, each value as read (blanks and one pair
// of quotes removed); empty when the key is absent.
struct Settings {
  std::string source;  // host path of SETUP.INS, or of the one-file installer
  std::string title, app, destDir, userDestDir, paths, disks;
};

// The settings of the medium the archive `hostPath` belongs to: the
// configuration part of a one-file installer (or of the installer a file
// window looks into), else SETUP.INS beside the archive. nullopt when there
// is none or it cannot be read.
std::optional<Settings> settingsForArchive(const std::string& hostPath);

}  // namespace medium
