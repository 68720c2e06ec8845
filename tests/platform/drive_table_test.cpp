// The host's drive table as read from mount-table text.
#include <gtest/gtest.h>

#include "platform/drives.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace platform;

std::string describe(const Drive& d) {
  return std::string(1, d.letter) + ": " + d.hostRoot + " type " + std::to_string(d.type) + " label '" + d.label +
         "' remote '" + d.remoteName + "' flags " + std::to_string(d.fsFlags);
}

std::vector<std::string> describeAll(const std::vector<Drive>& drives) {
  std::vector<std::string> out;
  for (const auto& d : drives) out.push_back(describe(d));
  return out;
}

TEST(DriveTable, FromMounts) {
  const std::string mounts =
      "/dev/vda1 / ext4 rw,relatime 0 0\n"
      "systemd-1 /media/usb autofs rw 0 0\n"  // a placeholder, replaced below
      "proc /proc proc rw,nosuid 0 0\n"
      "tmpfs /run tmpfs rw,nosuid 0 0\n"
      "/dev/sdb1 /media/user/USB\\040STICK vfat rw 0 0\n"
      "/dev/sr0 /media/cdrom iso9660 ro 0 0\n"
      "tmpfs /mnt/ram tmpfs rw 0 0\n"
      "server:/export/home /home/nfs nfs4 rw 0 0\n"
      "//host/share/ /mnt/smb cifs rw 0 0\n"
      "/dev/sdc1 /run/media/bob/DATA ext4 rw 0 0\n"
      "/dev/sdd1 /mediafoo ext4 rw 0 0\n"
      "/dev/sde1 /media ext4 rw 0 0\n"
      "/dev/sdf1 /media/usb vfat rw 0 0\n"  // takes over the placeholder's letter
      "garbage\n"
      "\n";
  const int caseSensitive = kFsCaseSensitive | kFsCasePreserved;
  const int casePreserved = kFsCasePreserved;
  EXPECT_EQ(describeAll(driveTableFromMounts(mounts)),
            (std::vector<std::string>{
                "C: / type 3 label '' remote '' flags " + std::to_string(caseSensitive),
                "D: /media/usb type 2 label 'usb' remote '' flags " + std::to_string(casePreserved),
                "E: /media/user/USB STICK type 2 label 'USB STICK' remote '' flags " + std::to_string(casePreserved),
                "F: /media/cdrom type 5 label 'cdrom' remote '' flags " + std::to_string(casePreserved),
                "G: /mnt/ram type 6 label 'ram' remote '' flags " + std::to_string(caseSensitive),
                "H: /home/nfs type 4 label '' remote '\\\\server\\export\\home' flags " + std::to_string(caseSensitive),
                "I: /mnt/smb type 4 label '' remote '\\\\host\\share' flags " + std::to_string(caseSensitive),
                "J: /run/media/bob/DATA type 2 label 'DATA' remote '' flags " + std::to_string(caseSensitive),
            }));
}

TEST(DriveTable, WithoutMountsOnlyCExists) {
  auto drives = driveTableFromMounts("");
  ASSERT_EQ(drives.size(), 1u);
  EXPECT_EQ(drives[0].letter, 'C');
  EXPECT_EQ(drives[0].hostRoot, "/");
  EXPECT_EQ(drives[0].type, uint32_t(kDriveFixed));
  EXPECT_TRUE(drives[0].mediumPresent);
}

TEST(DriveTable, LettersEndAtZ) {
  std::string mounts;
  for (int i = 0; i < 30; ++i)
    mounts += "/dev/x" + std::to_string(i) + " /mnt/m" + std::to_string(i) + " ext4 rw 0 0\n";
  auto drives = driveTableFromMounts(mounts);
  ASSERT_EQ(drives.size(), 24u);  // C to Z
  EXPECT_EQ(drives.back().letter, 'Z');
  EXPECT_EQ(drives.back().hostRoot, "/mnt/m22");
}

TEST(DriveTable, FindDriveIgnoresLetterCase) {
  ScopedDriveTable table({testDrive('c', "/"), testDrive('D', "/tmp")});
  ASSERT_NE(findDrive('d'), nullptr);
  EXPECT_EQ(findDrive('d')->hostRoot, "/tmp");
  EXPECT_EQ(findDrive('C')->letter, 'C');
  EXPECT_EQ(findDrive('E'), nullptr);
}

}  // namespace
