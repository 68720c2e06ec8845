#pragma once
// The drive table: which drive letters exist and which host directory each one
// stands for. Everything above the platform layer speaks of drive letters; this
// table is the one place where a letter meets a host path.
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

enum DriveType : uint32_t {
  kDriveUnknown = 0,
  kDriveNoRootDir = 1,
  kDriveRemovable = 2,
  kDriveFixed = 3,
  kDriveRemote = 4,
  kDriveCdRom = 5,
  kDriveRamDisk = 6,
};

// File-system flags reported by getVolumeInformation.
enum FileSystemFlags : uint32_t {
  kFsCaseSensitive = 1,
  kFsCasePreserved = 2,
};

struct Drive {
  char letter = 'C';           // upper case
  std::string hostRoot = "/";  // host directory the drive's root maps to
  uint32_t type = kDriveFixed;
  std::string label;       // volume label
  std::string remoteName;  // remote drives: \\server\share
  uint32_t fsFlags = kFsCaseSensitive | kFsCasePreserved;
  bool mediumPresent = true;  // false: a removable drive without a disk
};

// The drive table in force. Until a table is installed it is the host's own,
// read once from the mount table (C: is "/").
const std::vector<Drive>& driveTable();

// Replaces the drive table (tests install tables over temporary directories)
// and resets every drive's remembered current directory to its root; the
// process current directory becomes the root of the first drive.
void installDriveTable(std::vector<Drive> drives);

// The drive with that letter (either case), or null.
const Drive* findDrive(char letter);

// The host's drive table: C: for "/", then D:, E:, ... for the mount points a
// user thinks of as volumes (removable media, network shares, RAM disks).
std::vector<Drive> readHostDriveTable();

// Parses mount-table text (the format of /proc/self/mounts) into the drive
// table readHostDriveTable builds from it.
std::vector<Drive> driveTableFromMounts(const std::string& mountsText);

}  // namespace platform
