// Drive types, volume information, remote names and the error mode.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/drives.h"
#include "platform/errors.h"
#include "platform/volumes.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace platform;

class Volumes : public ::testing::Test {
 protected:
  TempDir tmp;
  ScopedDriveTable table{{testDrive('C', tmp.path(), kDriveFixed, "System"),
                          testDrive('A', tmp.path(), kDriveRemovable, "Floppy", "", false),
                          testDrive('e', tmp.path(), kDriveCdRom, "SETUP_CD", "", true, kFsCasePreserved),
                          testDrive('N', tmp.path(), kDriveRemote, "netlabel", "\\\\server\\share"),
                          testDrive('M', tmp.path(), kDriveRemote, "lost"),  // remote without a remote name
                          testDrive('Z', tmp.path(), kDriveRamDisk)}};
};

TEST_F(Volumes, LogicalDriveMaskHasOneBitPerLetter) {
  EXPECT_EQ(getLogicalDrives(), (1u << 0) | (1u << 2) | (1u << 4) | (1u << 12) | (1u << 13) | (1u << 25));
}

TEST_F(Volumes, DriveTypes) {
  struct Row {
    const char* root;
    uint32_t type;
  } rows[] = {
      {"C:\\", kDriveFixed},     {"c:\\", kDriveFixed},  {"A:\\", kDriveRemovable},
      {"E:\\", kDriveCdRom},     {"n:\\", kDriveRemote}, {"Z:\\", kDriveRamDisk},
      {"Q:\\", kDriveNoRootDir}, {"", kDriveUnknown},    {"\\\\s\\x\\", kDriveUnknown},
  };
  for (const auto& row : rows) EXPECT_EQ(getDriveType(row.root), row.type) << row.root;
}

TEST_F(Volumes, VolumeInformation) {
  struct Row {
    const char* root;
    bool ok;
    std::string label;
    uint32_t flags;
    uint32_t error;
  } rows[] = {
      {"C:\\", true, "System", kFsCaseSensitive | kFsCasePreserved, 0},
      {"e:\\", true, "SETUP_CD", kFsCasePreserved, 0},
      {"N:\\", true, "netlabel", kFsCaseSensitive | kFsCasePreserved, 0},
      {"Z:\\", true, "", kFsCaseSensitive | kFsCasePreserved, 0},
      {"A:\\", false, "", 0, 21},  // no medium
      {"Q:\\", false, "", 0, 15},  // no such drive
      {"\\\\server\\share\\", false, "", 0, 53},
      {"", false, "", 0, 123},
  };
  for (const auto& row : rows) {
    std::string label = "unchanged";
    uint32_t flags = 0;
    setLastError(0);
    EXPECT_EQ(getVolumeInformation(row.root, label, flags), row.ok) << row.root;
    if (row.ok) {
      EXPECT_EQ(label, row.label) << row.root;
      EXPECT_EQ(flags, row.flags) << row.root;
    } else {
      EXPECT_EQ(lastError(), row.error) << row.root;
      EXPECT_EQ(label, "unchanged") << row.root;
    }
  }
}

TEST_F(Volumes, RemoteNames) {
  struct Row {
    const char* local;
    bool ok;
    const char* remote;
    uint32_t error;
  } rows[] = {
      {"N:", true, "\\\\server\\share", 0},
      {"n:", true, "\\\\server\\share", 0},
      {"M:", false, "", 2250},  // remote, but no connection name
      {"C:", false, "", 2250},  // not a network drive
      {"Q:", false, "", 2250},
      {"N:\\", false, "", 1200},
      {"", false, "", 1200},
  };
  for (const auto& row : rows) {
    std::string remote;
    setLastError(0);
    EXPECT_EQ(getRemoteName(row.local, remote), row.ok) << row.local;
    if (row.ok)
      EXPECT_EQ(remote, row.remote);
    else
      EXPECT_EQ(lastError(), row.error) << row.local;
  }
}

TEST_F(Volumes, ErrorModeReturnsThePreviousMode) {
  uint32_t original = setErrorMode(kSemFailCriticalErrors);
  EXPECT_EQ(setErrorMode(0), kSemFailCriticalErrors);
  EXPECT_EQ(setErrorMode(original), 0u);
}

TEST(VolumesHost, NoConnectDialogOnThisHost) { EXPECT_FALSE(findConnectDialog()); }

}  // namespace
