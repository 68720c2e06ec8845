// Text operations on Windows-form paths, and creating directory trees.
#include "framework/core/path_utils.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "framework/core/exceptions.h"
#include "tests/support/expect_message.h"
#include "tests/support/temp_dir.h"

namespace {

struct PartsRow {
  const char* path;
  const char* directory;
  const char* fileName;
  const char* drive;
};

TEST(PathUtils, DirectoryFileAndDriveParts) {
  const PartsRow rows[] = {
      {"C:\\dir\\sub\\file.txt", "C:\\dir\\sub\\", "file.txt", "C:"},
      {"C:file.txt", "C:", "file.txt", "C:"},
      {"C:\\", "C:\\", "", "C:"},
      {"file.txt", "", "file.txt", ""},
      {"\\root\\file", "\\root\\", "file", ""},
      {"\\\\server\\share\\dir\\f", "\\\\server\\share\\dir\\", "f", "\\\\server\\share"},
      {"\\\\server\\share", "\\\\server\\", "share", "\\\\server\\share"},
      {"\\\\server", "\\\\", "server", "\\\\server"},
      {"NEXT:DISK002", "NEXT:", "DISK002", ""},
      {"", "", "", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.path);
    EXPECT_EQ(fw::directoryPart(row.path), row.directory);
    EXPECT_EQ(fw::fileNamePart(row.path), row.fileName);
    EXPECT_EQ(fw::drivePart(row.path), row.drive);
  }
}

TEST(PathUtils, ChangeExtension) {
  const std::pair<const char*, const char*> rows[] = {
      {"SETUP.BIN", "SETUP.002"},
      {"C:\\media\\SETUP.002", "C:\\media\\SETUP.002"},
      {"C:\\media\\SETUP", "C:\\media\\SETUP.002"},
      {"C:\\my.dir\\SETUP", "C:\\my.dir\\SETUP.002"},
      {"C:\\a.b.c", "C:\\a.b.002"},
      {"C:SETUP", "C:SETUP.002"},
      {"C:\\dir.", "C:\\dir.002"},
  };
  for (const auto& [path, expected] : rows) EXPECT_EQ(fw::changeExtension(path, ".002"), expected) << path;
}

TEST(PathUtils, TrailingBackslashAndCase) {
  EXPECT_EQ(fw::withTrailingBackslash("C:\\dir"), "C:\\dir\\");
  EXPECT_EQ(fw::withTrailingBackslash("C:\\dir\\"), "C:\\dir\\");
  EXPECT_EQ(fw::withTrailingBackslash(""), "\\");
  EXPECT_EQ(fw::withoutTrailingBackslash("C:\\dir\\"), "C:\\dir");
  EXPECT_EQ(fw::withoutTrailingBackslash("C:\\dir"), "C:\\dir");
  EXPECT_EQ(fw::upperCase("Setup.bin\xE4"), "SETUP.BIN\xE4");
  EXPECT_EQ(fw::lowerCase("SETUP.BIN"), "setup.bin");
  EXPECT_TRUE(fw::sameText("Setup.Bin", "SETUP.BIN"));
  EXPECT_FALSE(fw::sameText("Setup.Bin", "SETUP.BIN "));
}

class ForceDirectoriesTest : public ::testing::Test {
 protected:
  TempDir tmp;
  ScopedDriveC drive{tmp.path()};
};

TEST_F(ForceDirectoriesTest, CreatesEveryMissingParent) {
  const std::pair<const char*, const char*> rows[] = {
      {"C:\\a\\b\\c", "a/b/c"},
      {"C:\\a\\B\\d\\", "a/b/d"},  // an existing parent is found whatever its case
      {"\\rooted\\x", "rooted/x"},
      {"relative\\y", "relative/y"},
  };
  for (const auto& [dir, host] : rows) {
    SCOPED_TRACE(dir);
    EXPECT_TRUE(fw::forceDirectories(dir));
    EXPECT_TRUE(std::filesystem::is_directory(tmp.file(host)));
  }
  EXPECT_TRUE(fw::forceDirectories("C:\\"));
  EXPECT_TRUE(fw::forceDirectories("C:"));
  EXPECT_TRUE(fw::forceDirectories("C:\\a\\b"));  // already there
}

TEST_F(ForceDirectoriesTest, ReportsWhatCannotBeCreated) {
  tmp.write("file", "x");
  EXPECT_FALSE(fw::forceDirectories("C:\\file\\sub"));
  EXPECT_FALSE(fw::forceDirectories("C:\\file"));
  EXPECT_FALSE(fw::forceDirectories("Q:\\x"));
  EXPECT_FALSE(fw::forceDirectories("\\\\server\\share\\x"));
  EXPECT_THROW_MESSAGE(fw::forceDirectories(""), Exception, "Unable to create directory");
}

}  // namespace
