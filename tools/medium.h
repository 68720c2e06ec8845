#pragma once
// medium: a whole distribution medium: the archive SETUP.BIN with its
// volumes, the configuration SETUP.INS, and the setup program. With the
// bundled runtime the program and the runtime it needs (shared libraries, Qt
// plugins, fonts) are packed into runtime.pak, and `setup` on the medium is
// the launcher that unpacks and starts them. With disks, one folder per disk
// (disk1/, disk2/, ...), and optionally an ISO 9660 image of each. Or one
// file: the launcher with SETUP.INS, the packed runtime and the archive
// appended (medium/installer_file.h).
#include <optional>
#include <string>

#include "install/menu_entry.h"
#include "tools/medium_signing.h"
#include "tools/pack.h"

namespace setupkit {

struct MediumOptions {
  PackOptions pack;        // everything but the archive, which is DIR/SETUP.BIN
  std::string directory;   // host path, created when missing
  std::string title;       // [Setup] Title
  std::string app;         // [Setup] App
  std::string destDir;     // [Setup] DestDir: what root is proposed
  std::string userDest;    // [Setup] UserDestDir for other users; empty: ~/ and DestDir's last name
  std::string appVersion;  // [Setup] Version: the version the medium installs; empty: none
  std::string publisher;   // [Setup] Publisher; empty: none
  // A flat medium: every file straight into the destination (no Paths key).
  // Otherwise the stored tree is kept (Paths=Tree) when the payload has
  // folders.
  bool flat = false;
  std::string program;   // the setup program to copy; empty: look for the built one
  std::string launcher;  // the launcher; empty: look for the built one beside the program
  // Bundled: the program's runtime goes on the medium; System: the program
  // alone, for machines that have its libraries installed.
  enum class Runtime { System, Bundled } runtime = Runtime::System;
  bool disks = false;         // one folder per disk; pack.volumeSize is a disk's capacity
  bool isoImages = false;     // with disks: DIR/diskN.iso beside each folder
  std::string singleFile;     // host path: write one executable file instead of DIR
  Signing signing;            // --sign: the publisher's key (read before the medium is made)
  std::string secretKey;      // --sign KEY as given, host path
  std::string passwordFile;   // --password-file: the key's password, else asked on the terminal
  menu_entry::Settings menu;  // [Menu] of SETUP.INS, when present()
};

struct MediumResult {
  PackResult pack;
  std::string configuration;    // host path of SETUP.INS
  std::string program;          // host path of the copied program; empty when none was found
  int64_t runtimeBytes = 0;     // the packed runtime's size on the medium (0 without one)
  int64_t runtimeUnpacked = 0;  // its files together, unpacked
  size_t runtimeFiles = 0;
  bool runtimeCached = false;  // the packed runtime came from the cache (tools/runtime_cache.h)
  std::string singleFile;      // host path of the one-file installer, when written
  int64_t singleFileBytes = 0;
  std::string oldestGlibc;  // "GLIBC_2.34" with a runtime: the C library the medium needs
  std::vector<std::string> warnings;
  std::vector<std::string> disks;   // host paths of the disk folders (with disks)
  std::vector<std::string> images;  // host paths of the ISO images
  std::string detachedSignature;    // host path of OUT.minisig beside a one-file installer
};

// Makes the medium. The program is the one named, or else the `setup`
// program installed or built with `toolPath` (this tool's own file); without
// one the medium is made without it. Raises ToolError for a value SETUP.INS
// cannot carry (a line break, more than 2047 characters), a named program
// that does not exist, a program or launcher whose library search path has
// an empty or relative entry (the loader would read it from the current
// directory), and every failure of pack.
MediumResult makeMedium(const MediumOptions& options, const std::string& toolPath);

// The text of SETUP.INS. A value with blanks at either end, or enclosed in
// quotation marks, is written in double quotation marks, so that reading it
// back (blanks trimmed, one pair of quotes removed) gives it unchanged.
// With disks > 0 a line "Disks=N" follows: the program copies itself off
// disk 1 when the medium spans more than one disk. `userDest` gives
// "UserDestDir=" (when not empty) and `tree` "Paths=Tree".
std::string setupConfigurationText(const std::string& title, const std::string& app, const std::string& destDir,
                                   int disks = 0, bool tree = false, const std::string& userDest = {});

// The UserDestDir a medium proposes when none is given: the home folder and
// DestDir's last name (else the application's name): "~/Pingus".
std::string defaultUserDestination(const std::string& destDir, const std::string& app);

// The setup program that belongs with this tool: PREFIX/lib/setupkit/setup
// for an installed PREFIX/bin/setupkit, <build>/app/setup for the tool
// <build>/tools/setupkit, or `setup` in the tool's own directory.
std::string findSetupProgram(const std::string& toolPath);

// The launcher that belongs with the setup program `program`:
// PREFIX/lib/setupkit/setup-launcher beside an installed one,
// <build>/app/launcher/setup-launcher beside <build>/app/setup.
std::string findLauncher(const std::string& program);

// The uninstaller that belongs with the setup program `program`:
// setup-uninstall beside its launcher. Empty when there is none.
std::string findUninstaller(const std::string& program);

// The [Menu] section of SETUP.INS for `menu`; empty when !menu.present().
// Raises ToolError for settings that make no menu entry.
std::string menuSectionText(const menu_entry::Settings& menu);

// The name of the packed runtime beside the launcher on a medium.
inline constexpr const char* kRuntimePackName = "runtime.pak";

// The entry of an ELF file's RPATH or RUNPATH that is empty or relative
// (the loader would look in the current directory), or nullopt when every
// entry is absolute or starts with $ORIGIN.
std::optional<std::string> unsafeSearchPathEntry(const std::string& elfFile);

}  // namespace setupkit
