// The process current directory with a remembered directory per drive, and
// the error numbers of a failed change.
#include "platform/current_dir.h"

#include <unistd.h>

#include <filesystem>

#include "framework/core/exceptions.h"
#include "framework/core/path_utils.h"
#include "platform/errors.h"
#include "tests/platform/drive_fixture.h"

namespace fs = std::filesystem;

namespace {

class CurrentDirTest : public DriveFixture {};

std::string hostWorkingDirectory() {
  char buf[4096];
  return getcwd(buf, sizeof buf) ? std::string(buf) : std::string();
}

TEST_F(CurrentDirTest, ANewTableStartsAtTheFirstDrivesRoot) {
  EXPECT_EQ(platform::getCurrentDirectory(), "C:\\");
  EXPECT_EQ(hostWorkingDirectory(), fs::canonical(host("c")).string());
  for (char letter : {'C', 'd', 'E', 'Q'})
    EXPECT_EQ(platform::driveCurrentDirectory(letter), std::string(1, char(toupper(letter))) + ":\\");
}

TEST_F(CurrentDirTest, EachDriveRemembersItsDirectory) {
  struct Step {
    const char* enter;
    const char* current;
    const char* rememberedC;
    const char* rememberedD;
  };
  const Step steps[] = {
      {"D:\\docs", "D:\\docs", "C:\\", "D:\\docs"},
      {"C:\\WORK\\sub", "C:\\work\\sub", "C:\\work\\sub", "D:\\docs"},  // stored in its real case
      {"D:", "D:\\docs", "C:\\work\\sub", "D:\\docs"},
      {"..", "D:\\", "C:\\work\\sub", "D:\\"},
      {"C:", "C:\\work\\sub", "C:\\work\\sub", "D:\\"},
      {"\\", "C:\\", "C:\\", "D:\\"},
      {"work/sub/", "C:\\work\\sub", "C:\\work\\sub", "D:\\"},
      {"N:\\", "N:\\", "C:\\work\\sub", "D:\\"},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.enter);
    ASSERT_TRUE(platform::setCurrentDirectory(step.enter));
    EXPECT_EQ(platform::getCurrentDirectory(), step.current);
    EXPECT_EQ(platform::driveCurrentDirectory('c'), step.rememberedC);
    EXPECT_EQ(platform::driveCurrentDirectory('D'), step.rememberedD);
  }
  EXPECT_EQ(hostWorkingDirectory(), fs::canonical(host("c/mnt/net")).string());
}

struct FailureRow {
  const char* path;
  uint32_t error;
  const char* message;  // of the framework's I/O error
};

TEST_F(CurrentDirTest, FailedChangesReportWindowsErrorNumbers) {
  tmp.write("c/work/file.txt", "");
  ASSERT_TRUE(platform::setCurrentDirectory("C:\\work"));
  const FailureRow rows[] = {
      {"Q:\\", platform::kErrorInvalidDrive, "I/O error 15"},
      {"E:\\", platform::kErrorNotReady, "I/O error 21"},
      {"\\\\server\\share", platform::kErrorBadNetPath, "I/O error 53"},
      {"C:\\missing", platform::kErrorFileNotFound, "File not found"},
      {"C:\\missing\\deeper", platform::kErrorPathNotFound, "Path not found"},
      {"C:\\work\\file.txt", platform::kErrorDirectory, "I/O error 267"},
      {"", platform::kErrorPathNotFound, "Path not found"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.path);
    platform::setLastError(0);
    EXPECT_FALSE(platform::setCurrentDirectory(row.path));
    EXPECT_EQ(platform::lastError(), row.error);
    EXPECT_EQ(platform::getCurrentDirectory(), "C:\\work");  // unchanged
    uint32_t code = 0;
    EXPECT_THROW(
        {
          try {
            fw::changeDirectory(row.path);
          } catch (const EInOutError& e) {
            code = e.errorCode();
            EXPECT_EQ(e.message(), row.message);
            throw;
          }
        },
        EInOutError);
    EXPECT_EQ(code, row.error);
  }
}

}  // namespace
