// Find-first/next over directories of a drive table.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/current_dir.h"
#include "platform/drives.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/find.h"
#include "tests/support/temp_dir.h"

namespace {

using platform::FindData;

class FindListing : public ::testing::Test {
 protected:
  void SetUp() override {
    tmp.write("c/Dir/readme.txt", "12345");
    tmp.write("c/Dir/Setup.BIN", "");
    tmp.write("c/Dir/.hidden", "");
    tmp.write("c/Dir/Sub/x", "");
    tmp.write("c/Dir/locked.txt", "");
    std::filesystem::create_directories(tmp.file("c/Dir/.git"));
    chmod(tmp.file("c/Dir/locked.txt").c_str(), 0444);
    mkfifo(tmp.file("c/Dir/pipe").c_str(), 0644);
    tmp.write("c/root.txt", "");
    std::filesystem::create_directories(tmp.file("floppy"));
    table = std::make_unique<ScopedDriveTable>(std::vector<platform::Drive>{
        testDrive('C', tmp.file("c")), testDrive('A', tmp.file("floppy"), platform::kDriveRemovable, "", "", false)});
  }

  // Every entry a pattern finds, name -> attributes.
  static std::map<std::string, uint32_t> findAll(const std::string& pattern) {
    std::map<std::string, uint32_t> found;
    FindData d;
    platform::FindHandle h = platform::findFirstFile(pattern, d);
    if (!h) return found;
    do found[d.name] = d.attributes;
    while (platform::findNextFile(h, d));
    EXPECT_EQ(platform::lastError(), 18u);  // no more files
    platform::findClose(h);
    return found;
  }

  TempDir tmp;
  std::unique_ptr<ScopedDriveTable> table;
};

TEST_F(FindListing, AttributesOfEveryKindOfEntry) {
  auto found = findAll("C:\\Dir\\*.*");
  using namespace platform;
  const std::map<std::string, uint32_t> expected = {
      {".", kAttrDirectory},
      {"..", kAttrDirectory},
      {".git", kAttrDirectory | kAttrHidden},
      {".hidden", kAttrArchive | kAttrHidden},
      {"Setup.BIN", kAttrArchive},
      {"Sub", kAttrDirectory},
      {"locked.txt", kAttrArchive | kAttrReadOnly},
      {"pipe", kAttrSystem},
      {"readme.txt", kAttrArchive},
  };
  // Running as root, a 0444 file is still reported read-only: the bit comes
  // from the owner's write permission, not from access checks.
  EXPECT_EQ(found, expected);
}

TEST_F(FindListing, DriveRootHasNoDotEntries) {
  auto found = findAll("C:\\*");
  EXPECT_EQ(found.count("."), 0u);
  EXPECT_EQ(found.count(".."), 0u);
  EXPECT_EQ(found.count("Dir"), 1u);
  EXPECT_EQ(found.count("root.txt"), 1u);
}

TEST_F(FindListing, MasksAndRelativePatterns) {
  struct Row {
    const char* pattern;
    std::vector<std::string> names;
  } rows[] = {
      {"C:\\Dir\\*.txt", {"locked.txt", "readme.txt"}},
      {"c:\\dir\\setup.bin", {"Setup.BIN"}},  // case-insensitive, directory and name
      {"Dir\\S*", {"Setup.BIN", "Sub"}},      // relative to C:\ (the current directory)
      {"C:Dir\\r*", {"readme.txt"}},          // drive-relative
      {"\\Dir\\Sub\\*", {".", "..", "x"}},    // rooted
  };
  for (const auto& row : rows) {
    std::vector<std::string> names;
    for (auto& [name, attributes] : findAll(row.pattern)) names.push_back(name);
    EXPECT_EQ(names, row.names) << row.pattern;
  }
}

TEST_F(FindListing, FailuresCarryWindowsErrorNumbers) {
  struct Row {
    const char* pattern;
    uint32_t error;
  } rows[] = {
      {"C:\\Dir\\*.exe", 2},           // nothing matches
      {"C:\\Missing\\*.*", 3},         // no such directory
      {"C:\\root.txt\\*.*", 3},        // a file is no directory
      {"A:\\*.*", 21},                 // no medium
      {"\\\\server\\share\\*.*", 53},  // network paths do not exist here
      {"Q:\\*.*", 3},                  // no such drive
  };
  for (const auto& row : rows) {
    FindData d;
    platform::setLastError(0);
    EXPECT_EQ(platform::findFirstFile(row.pattern, d), nullptr) << row.pattern;
    EXPECT_EQ(platform::lastError(), row.error) << row.pattern;
  }
}

TEST_F(FindListing, NextAfterTheEndKeepsFailing) {
  FindData d;
  platform::FindHandle h = platform::findFirstFile("C:\\root.txt", d);
  ASSERT_NE(h, nullptr);
  EXPECT_FALSE(platform::findNextFile(h, d));
  EXPECT_FALSE(platform::findNextFile(h, d));
  EXPECT_EQ(platform::lastError(), 18u);
  EXPECT_EQ(d.name, "root.txt");  // left as it was
  platform::findClose(h);
  platform::findClose(nullptr);
}

}  // namespace
