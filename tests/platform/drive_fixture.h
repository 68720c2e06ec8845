#pragma once
// A drive table over a scratch directory for the platform tests:
//   C:  <tmp>/c          fixed
//   D:  <tmp>/d          removable, labelled
//   E:  <tmp>/e          removable without a medium
//   N:  <tmp>/c/mnt/net  remote, nested inside C:'s tree
// The previous table is put back afterwards.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/drives.h"
#include "tests/support/temp_dir.h"

class DriveFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = platform::driveTable();
    for (const char* d : {"c/work/sub", "d/docs", "e", "c/mnt/net"}) std::filesystem::create_directories(tmp.file(d));
    platform::Drive c = drive('C', "c", platform::kDriveFixed);
    platform::Drive d = drive('D', "d", platform::kDriveRemovable);
    d.label = "DISK";
    platform::Drive e = drive('E', "e", platform::kDriveRemovable);
    e.mediumPresent = false;
    platform::Drive n = drive('n', "c/mnt/net", platform::kDriveRemote);
    n.remoteName = "\\\\server\\share";
    platform::installDriveTable({c, d, e, n});
  }
  void TearDown() override { platform::installDriveTable(saved_); }

  platform::Drive drive(char letter, const std::string& relativeRoot, uint32_t type) const {
    platform::Drive d;
    d.letter = letter;
    d.hostRoot = tmp.file(relativeRoot);
    d.type = type;
    return d;
  }

  // Host path below the scratch directory.
  std::string host(const std::string& relative) const { return tmp.file(relative); }

  TempDir tmp;

 private:
  std::vector<platform::Drive> saved_;
};
