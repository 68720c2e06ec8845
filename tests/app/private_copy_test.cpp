// Running off a medium of several disks: the removal of private copies whose
// program has ended, and of nothing else.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "app/private_copy.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

TEST(PrivateCopy, RemovesOnlyCopiesNobodyRuns) {
  TempDir tmp;
  auto make = [&](const std::string& name, bool withLock) {
    fs::create_directories(tmp.file(name + "/runtime"));
    std::ofstream(tmp.file(name + "/setup")) << "x";
    if (withLock) std::ofstream(tmp.file(name + "/.lock"));
  };
  make("setup-run-ended", true);
  make("setup-run-running", true);
  make("setup-run-starting", false);  // no lock yet, just made
  make("other-folder", true);
  int held = open(tmp.file("setup-run-running/.lock").c_str(), O_RDWR);
  ASSERT_GE(held, 0);
  ASSERT_EQ(flock(held, LOCK_EX), 0);

  EXPECT_EQ(startup::removeStaleCopies(tmp.path()), 1);
  EXPECT_FALSE(fs::exists(tmp.file("setup-run-ended")));
  EXPECT_TRUE(fs::exists(tmp.file("setup-run-running/setup")));
  EXPECT_TRUE(fs::exists(tmp.file("setup-run-starting/setup")));
  EXPECT_TRUE(fs::exists(tmp.file("other-folder/setup")));

  // A folder without its lock for longer than a start takes was left by a
  // start that failed.
  fs::last_write_time(tmp.file("setup-run-starting"), fs::file_time_type::clock::now() - std::chrono::minutes(5));
  close(held);
  EXPECT_EQ(startup::removeStaleCopies(tmp.path()), 2);
  EXPECT_FALSE(fs::exists(tmp.file("setup-run-starting")));
  EXPECT_FALSE(fs::exists(tmp.file("setup-run-running")));
}

}  // namespace
