// Disks of a medium: the room left for the first volume on disk 1, the ISO
// labels, and a medium cut into disk folders whose files fit the capacity.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/tool_error.h"
#include "tests/support/expect_message.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/tool_test_util.h"
#include "tools/disk_layout.h"
#include "tools/medium.h"

namespace fs = std::filesystem;
using namespace tooltest;

namespace {

struct CapacityRow {
  int64_t capacity, disk1Files, expected;  // expected -1: refused
};

TEST(DiskLayout, FirstVolumeCapacity) {
  const CapacityRow rows[] = {
      {0, 80'000'000, 0},               // one disk of any size
      {1'474'560, 1'000'000, 474'560},  // a floppy's worth, most of it taken
      {734'003'200, 76'427'054, 657'576'146},
      {100'000, 100'000 - 4096, 4096},  // just the smallest first volume
      {100'000, 100'000 - 4095, -1},
      {100'000, 200'000, -1},  // the runtime alone is larger
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(std::to_string(r.capacity) + " - " + std::to_string(r.disk1Files));
    if (r.expected < 0)
      EXPECT_THROW(setupkit::firstVolumeCapacity(r.capacity, r.disk1Files), setupkit::ToolError);
    else
      EXPECT_EQ(setupkit::firstVolumeCapacity(r.capacity, r.disk1Files), r.expected);
  }
}

TEST(DiskLayout, ImageLabels) {
  const struct {
    std::string title;
    int disk;
    std::string label;
  } rows[] = {
      {"Demo Office 2000", 1, "DEMO_OFFICE_2000_DISK1"},
      {"my-app -- v2.0!", 12, "MY_APP_V2_0_DISK12"},
      {"", 1, "SETUP_DISK1"},
      {"***", 3, "SETUP_DISK3"},
      {"An Extraordinarily Long Product Title", 2, "AN_EXTRAORDINARILY_LONG_PR_DISK2"},
      {"Caf\xc3\xa9 Suite", 1, "CAF_SUITE_DISK1"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZ_0", 9, "ABCDEFGHIJKLMNOPQRSTUVWXYZ_DISK9"},
  };
  for (const auto& r : rows) {
    std::string label = setupkit::diskImageLabel(r.title, r.disk);
    EXPECT_EQ(label, r.label) << r.title;
    EXPECT_LE(label.size(), 32u);
  }
}

int64_t filesBytes(const fs::path& dir) {
  int64_t total = 0;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file()) total += int64_t(e.file_size());
  return total;
}

// Disk 1 carries the program and SETUP.INS besides the first volume, so its
// volume is smaller; every disk stays within the capacity; the volumes put
// back together restore; a remake with fewer disks leaves no old disk behind.
TEST(DiskLayout, MediumOnDisks) {
  TempDir tmp;
  for (int i = 0; i < 30; ++i) writeFile(tmp.file("src/f" + std::to_string(i)), makeContent(3000, false, uint32_t(i)));
  writeFile(tmp.file("prog/setup"), std::string(9000, '#'));
  setupkit::MediumOptions options;
  options.directory = tmp.file("medium");
  options.title = "T";
  options.app = "A";
  options.destDir = "C:\\D";
  options.program = tmp.file("prog/setup");
  options.pack.sources = {tmp.file("src")};
  options.pack.volumeSize = 30000;
  options.disks = true;
  auto result = setupkit::makeMedium(options, tmp.file("tools/setupkit"));

  const size_t disks = result.disks.size();
  ASSERT_GE(disks, 3u);
  EXPECT_EQ(result.pack.volumes.size(), disks);
  EXPECT_EQ(readFile(tmp.file("medium/disk1/SETUP.INS")),
            "[Setup]\nTitle=T\nApp=A\nDestDir=C:\\D\nUserDestDir=~/D\nDisks=" + std::to_string(disks) + "\n");
  EXPECT_TRUE(fs::exists(tmp.file("medium/disk1/setup")));
  EXPECT_FALSE(fs::exists(tmp.file("medium/disk1/SETUP.002")));
  for (size_t n = 1; n <= disks; ++n) {
    fs::path folder = tmp.file("medium/disk" + std::to_string(n));
    EXPECT_EQ(result.disks[n - 1], folder.string());
    EXPECT_LE(filesBytes(folder), options.pack.volumeSize) << folder;
    if (n > 1) {
      EXPECT_EQ(result.pack.volumes[n - 1], (folder / ("SETUP.00" + std::to_string(n))).string());
    }
  }
  EXPECT_LE(fs::file_size(tmp.file("medium/disk1/SETUP.BIN")), 30000u - 9000u);
  EXPECT_GT(fs::file_size(tmp.file("medium/disk2/SETUP.002")), 30000u - 9000u);

  // The volumes together in one folder restore to the source.
  fs::create_directories(tmp.file("together"));
  for (const auto& v : result.pack.volumes) fs::copy_file(v, tmp.file("together") / fs::path(v).filename());
  ASSERT_EQ(restoreTree(tmp.path(), tmp.file("together/SETUP.BIN"), tmp.file("restored")), 0);
  EXPECT_TRUE(differences(readTree(tmp.file("src")), readTree(tmp.file("restored"))).empty());

  options.pack.volumeSize = 0;
  auto one = setupkit::makeMedium(options, tmp.file("tools/setupkit"));
  EXPECT_EQ(one.disks.size(), 1u);
  EXPECT_FALSE(fs::exists(tmp.file("medium/disk2")));
  EXPECT_FALSE(fs::exists(tmp.file("medium/disk" + std::to_string(disks))));

  options.pack.volumeSize = 9000 + 4000;
  EXPECT_THROW(setupkit::makeMedium(options, tmp.file("tools/setupkit")), setupkit::ToolError);
}

}  // namespace
