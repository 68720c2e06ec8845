#pragma once
// The medium the launcher belongs to, opened for the work it does alone
// (install, check, list): a folder medium (SETUP.INS and SETUP.BIN beside
// the launcher) or a one-file installer, whose trailer and checksum are
// checked on a descriptor of the running file itself before anything is
// read from it, and whose parts are then read through that descriptor.
#include <string>

#include "medium/medium_signature.h"

namespace launcher {

struct LauncherMedium {
  int status = 0;             // 0, or the exit status when the medium cannot be used
  std::string problem;        // why, for standard error
  std::string shownName;      // the installer file or the medium's folder, host path
  std::string configuration;  // the text of SETUP.INS
  std::string archive;        // the first volume in Windows form
  bool oneFile = false;
  medium_signature::Signer signer;  // who signed it, checked before anything else is read
};

// The file this launcher was started as (/proc/self/exe), opened once:
// whatever its name points to by now is never read. When root runs a file
// another user could change, the descriptor is that of a private copy made
// before anything was read from it (medium/medium_owner.h), so what is
// checked is what is unpacked and installed. -1 with `problem` when neither
// can be had.
int openStartedFile(bool closeOnExec, std::string& problem);

// Why root may not read the folder medium `folder` (whose launcher is
// `launcher`): another user could change it. Empty for other users, and
// when only root could.
std::string changeableFolderMedium(const std::string& launcher);

// What the person is told to do about a medium root refuses to read.
inline constexpr const char* kCopyForRoot =
    "Copy the medium into a folder only root can write (cp -r) and start it there, or run it as the user who owns "
    "it.";

// Checks the publisher's signature of the medium (a one-file installer open
// as `fd` with `parts`, or the folder) against the administrator's trusted
// keys, before anything of it is unpacked, run or written.
medium_signature::Result checkSignature(bool oneFile, int fd, const installer::Parts& parts, const std::string& folder);

// Opens the medium of the running launcher and checks its signature. The descriptor of a one-file
// installer stays open for the rest of the process: the archive is read
// through it.
LauncherMedium openLauncherMedium();

// The value of [Setup] `key` in the medium's SETUP.INS.
std::string setupValue(const LauncherMedium& medium, const std::string& key);

// Where an installation goes when no --dest is given, and why there.
struct DefaultDestination {
  std::string path;  // a host path or the Windows form
  std::string from;  // "installation": the earlier one of this product; "medium": SETUP.INS
};
// The destination of the newest installation of the same product (App and
// publisher) this process's store of install records knows, whose folder is
// still there; else the medium's proposal: DestDir to root, UserDestDir to
// other users.
DefaultDestination defaultDestination(const LauncherMedium& medium);

// Whether the wizard keeps the archive's folders below the destination
// (SETUP.INS [Setup] Paths=Tree) instead of writing every file into it.
bool keepsFolders(const LauncherMedium& medium);

// The archive's host path as the user knows it: the installer file itself,
// or the volume's file.
std::string shownVolume(const LauncherMedium& medium, const std::string& windowsPath);

// A Windows-form path as the host path it names, or as it is when no drive
// covers it.
std::string hostOf(const std::string& windowsPath);

}  // namespace launcher
