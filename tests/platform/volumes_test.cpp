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
  void SetUp() override {
    saved_ = driveTable();
    auto drive = [this](char letter, uint32_t type, const char* label, const char* remote = "") {
      Drive d;
      d.letter = letter;
      d.hostRoot = tmp.path();
      d.type = type;
      d.label = label;
      d.remoteName = remote;
      return d;
    };
    Drive c = drive('C', kDriveFixed, "System");
    Drive a = drive('A', kDriveRemovable, "Floppy");
    a.mediumPresent = false;
    Drive e = drive('e', kDriveCdRom, "SETUP_CD");
    e.fsFlags = kFsCasePreserved;
    Drive n = drive('N', kDriveRemote, "netlabel", "\\\\server\\share");
    Drive m = drive('M', kDriveRemote, "lost");  // a network drive without a remote name
    Drive r = drive('Z', kDriveRamDisk, "");
    installDriveTable({c, a, e, n, m, r});
  }
  void TearDown() override { installDriveTable(saved_); }

  TempDir tmp;

 private:
  std::vector<Drive> saved_;
};

TEST_F(Volumes, LogicalDriveMaskHasOneBitPerLetter) {
  EXPECT_EQ(getLogicalDrives(), (1u << 0) | (1u << 2) | (1u << 4) | (1u << 12) | (1u << 13) | (1u << 25));
}

TEST_F(Volumes, DriveTypes) {
  struct Row {
    const char* root;
    uint32_t type;
  } rows[] = {
      {"C:\\", kDriveFixed},   {"c:\\", kDriveFixed},     {"A:\\", kDriveRemovable}, {"E:\\", kDriveCdRom},
      {"n:\\", kDriveRemote},  {"Z:\\", kDriveRamDisk},   {"Q:\\", kDriveNoRootDir}, {"", kDriveUnknown},
      {"\\\\s\\x\\", kDriveUnknown},
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

TEST(VolumesMounts, ALaterMountOnTheSamePointTakesOverItsLetter) {
  // An automount placeholder replaced by the real file system, then a
  // second, unrelated medium.
  const std::string mounts =
      "systemd-1 /media/usb autofs rw 0 0\n"
      "/dev/sdb1 /media/usb vfat rw 0 0\n"
      "/dev/sr0 /media/cdrom iso9660 ro 0 0\n";
  auto drives = driveTableFromMounts(mounts);
  ASSERT_EQ(drives.size(), 3u);
  EXPECT_EQ(drives[1].letter, 'D');
  EXPECT_EQ(drives[1].hostRoot, "/media/usb");
  EXPECT_EQ(drives[1].type, kDriveRemovable);
  EXPECT_EQ(drives[1].fsFlags, kFsCasePreserved);  // the vfat entry, not the placeholder's
  EXPECT_EQ(drives[2].letter, 'E');
  EXPECT_EQ(drives[2].type, kDriveCdRom);
}

}  // namespace
