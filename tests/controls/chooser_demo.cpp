// Opens the directory chooser on a display, for looking at it:
//   chooser_demo [--sample] [--editable] [--help-context N] [DIRECTORY]
// DIRECTORY is a Windows-form path (C:\usr\share); the result is printed.
// --sample opens it over a scratch drive table with a drive of every kind and
// a deep directory, instead of the host's drives.
#include <QTemporaryDir>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "controls/choose_directory.h"
#include "framework/core/exceptions.h"
#include "framework/gui/application.h"
#include "platform/current_dir.h"
#include "platform/drives.h"

namespace {

// A drive of every kind over a scratch directory; C:\ holds a deep tree.
void installSampleDrives(const std::string& root) {
  namespace fs = std::filesystem;
  const std::string deep = "c/Program Files/Common Files/System/Shared Components/Setup Kit Runtime/Version 5";
  fs::create_directories(root + "/" + deep + "/Help Files");
  for (const char* f : {"SETUPKIT.EXE", "setupkit.dll", "Readme.txt"})
    std::ofstream(root + "/" + deep + "/" + f) << "x";
  for (const char* d : {"c/Program Files/Common Files/System/Shared Components", "c/Program Files/Setup Kit",
                        "c/Program Files/Common Files/System/ado", "c/Program Files/Common Files/System/msadc",
                        "c/Program Files/Common Files/System/Ole DB", "c/Windows/System", "a", "d/Data", "e", "n", "r"})
    fs::create_directories(root + "/" + d);
  for (const char* f : {"SETUP.EXE", "setup.ins", "Setup.bin", "readme.txt", "license.txt", "install.bat"})
    std::ofstream(root + "/c/Program Files/Common Files/System/Shared Components/" + f) << "x";
  auto drive = [&](char letter, const char* dir, uint32_t type, const char* label, const char* remote = "") {
    platform::Drive d;
    d.letter = letter;
    d.hostRoot = root + "/" + dir;
    d.type = type;
    d.label = label;
    d.remoteName = remote;
    return d;
  };
  platform::Drive a = drive('A', "a", platform::kDriveRemovable, "");
  a.mediumPresent = false;
  platform::installDriveTable({drive('C', "c", platform::kDriveFixed, "System"), a,
                               drive('D', "d", platform::kDriveFixed, ""),
                               drive('E', "e", platform::kDriveCdRom, "SETUPKIT_1"),
                               drive('N', "n", platform::kDriveRemote, "", "\\\\fileserver\\public"),
                               drive('R', "r", platform::kDriveRamDisk, "RAMDISK")});
}

}  // namespace

int main(int argc, char** argv) {
  TApplication app(argc, argv);
  std::string directory;
  TSelectDirOpts options = 0;
  int helpContext = 0;
  QTemporaryDir scratch;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--sample") {
      installSampleDrives(scratch.path().toStdString());
      directory = "C:\\Program Files\\Common Files\\System\\Shared Components\\Setup Kit Runtime\\Version 5";
    } else if (arg == "--editable") {
      options |= EditableName;
    } else if (arg == "--help-context" && i + 1 < argc) {
      helpContext = std::stoi(argv[++i]);
    } else {
      directory = arg;
    }
  }
  try {
    const bool ok = ChooseDirectory(directory, options, helpContext);
    std::printf("%s %s\ncurrent directory %s\n", ok ? "OK" : "Cancel", directory.c_str(),
                platform::getCurrentDirectory().c_str());
    return ok ? 0 : 1;
  } catch (const Exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 2;
  }
}
