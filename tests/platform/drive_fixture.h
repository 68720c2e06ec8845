#pragma once
// A drive table over a scratch directory for the platform tests:
//   C:  <tmp>/c          fixed
//   D:  <tmp>/d          removable, labelled
//   E:  <tmp>/e          removable without a medium
//   N:  <tmp>/c/mnt/net  remote, nested inside C:'s tree
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "tests/support/temp_dir.h"

class DriveFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* d : {"c/work/sub", "d/docs", "e", "c/mnt/net"}) std::filesystem::create_directories(tmp.file(d));
    table = std::make_unique<ScopedDriveTable>(std::vector<platform::Drive>{
        testDrive('C', host("c")), testDrive('D', host("d"), platform::kDriveRemovable, "DISK"),
        testDrive('E', host("e"), platform::kDriveRemovable, "", "", false),
        testDrive('n', host("c/mnt/net"), platform::kDriveRemote, "", "\\\\server\\share")});
  }

  // Host path below the scratch directory.
  std::string host(const std::string& relative) const { return tmp.file(relative); }

  TempDir tmp;
  std::unique_ptr<ScopedDriveTable> table;
};
