#pragma once
// A drive table over a scratch directory for the list controls and the
// chooser:
//   C:  fixed, no label         Windows\System (sub-directories color, Drivers,
//                               Zeta, hidden .cache; files A.exe, b.dll, c.txt,
//                               hidden .secret, a pipe), Windows\win.ini,
//                               Program Files\Common Files
//   A:  removable, no medium
//   B:  removable with a medium and a label (which the drive box never reads)
//   D:  fixed, label "Data"     docs\letters
//   E:  CD-ROM, label "SETUP_CD", case-preserving names
//   M:  network drive without a connection name, label "Lost"
//   N:  network drive \\server\share
//   R:  RAM disk
// C:\ is the current directory at the start; the previous table is put back
// afterwards.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/current_dir.h"
#include "platform/drives.h"
#include "tests/support/temp_dir.h"

class FileCtrlFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = platform::driveTable();
    for (const char* d : {"c/Windows/System/color", "c/Windows/System/Drivers", "c/Windows/System/Zeta",
                          "c/Windows/System/.cache", "c/Program Files/Common Files", "a", "b", "d/docs/letters",
                          "e", "m", "n/shared", "r"})
      std::filesystem::create_directories(tmp.file(d));
    for (const char* f : {"c/Windows/System/A.exe", "c/Windows/System/b.dll", "c/Windows/System/c.txt",
                          "c/Windows/System/.secret", "c/Windows/win.ini"})
      tmp.write(f, "x");
    mkfifo(tmp.file("c/Windows/System/pipe").c_str(), 0644);
    platform::installDriveTable({
        drive('C', "c", platform::kDriveFixed, ""),
        drive('A', "a", platform::kDriveRemovable, "FLOPPY", "", false),
        drive('B', "b", platform::kDriveRemovable, "BOOTDISK"),
        drive('D', "d", platform::kDriveFixed, "Data"),
        drive('E', "e", platform::kDriveCdRom, "SETUP_CD", "", true, platform::kFsCasePreserved),
        drive('M', "m", platform::kDriveRemote, "Lost"),
        drive('N', "n", platform::kDriveRemote, "", "\\\\server\\share"),
        drive('R', "r", platform::kDriveRamDisk, ""),
    });
  }
  void TearDown() override { platform::installDriveTable(saved_); }

  platform::Drive drive(char letter, const char* dir, uint32_t type, const char* label, const char* remote = "",
                        bool medium = true,
                        uint32_t flags = platform::kFsCaseSensitive | platform::kFsCasePreserved) const {
    platform::Drive d;
    d.letter = letter;
    d.hostRoot = tmp.file(dir);
    d.type = type;
    d.label = label;
    d.remoteName = remote;
    d.mediumPresent = medium;
    d.fsFlags = flags;
    return d;
  }

  // Enters a directory, failing the test when that is not possible.
  static void enter(const std::string& dir) { ASSERT_TRUE(platform::setCurrentDirectory(dir)) << dir; }

  TempDir tmp;

 private:
  std::vector<platform::Drive> saved_;
};
