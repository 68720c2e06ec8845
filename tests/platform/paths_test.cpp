// Windows-form paths over the host: expansion against the current
// directories, the host path of a virtual path (matching letter case), and the
// virtual path of a host path.
#include "platform/paths.h"

#include <filesystem>
#include <optional>

#include "platform/current_dir.h"
#include "platform/errors.h"
#include "tests/platform/drive_fixture.h"

namespace fs = std::filesystem;

namespace {

class PathsTest : public DriveFixture {
 protected:
  void SetUp() override {
    DriveFixture::SetUp();
    ASSERT_TRUE(platform::setCurrentDirectory("D:\\docs"));
    ASSERT_TRUE(platform::setCurrentDirectory("C:\\work\\sub"));
  }
};

struct ExpandRow {
  const char* input;
  const char* expected;
};

TEST_F(PathsTest, ExpandPath) {
  const ExpandRow rows[] = {
      {"C:\\a\\b", "C:\\a\\b"},
      {"c:/a/b", "C:\\a\\b"},
      {"C:\\a\\.\\b\\..\\c", "C:\\a\\c"},
      {"C:\\..\\..\\a", "C:\\a"},
      {"C:\\a\\\\\\b", "C:\\a\\b"},
      {"C:\\a\\", "C:\\a\\"},
      {"C:\\", "C:\\"},
      {"C:", "C:\\work\\sub"},
      {"D:", "D:\\docs"},
      {"d:file", "D:\\docs\\file"},
      {"D:..\\x", "D:\\x"},
      {"E:", "E:\\"},
      {"Q:x", "Q:\\x"},
      {"C:x\\y", "C:\\work\\sub\\x\\y"},
      {"\\root\\x", "C:\\root\\x"},
      {"/root/x/", "C:\\root\\x\\"},
      {"rel\\x", "C:\\work\\sub\\rel\\x"},
      {"..\\x", "C:\\work\\x"},
      {"..\\..\\..\\..", "C:\\"},
      {"", "C:\\work\\sub"},
      {".", "C:\\work\\sub"},
      {"\\\\server\\share\\a\\..\\b", "\\\\server\\share\\b"},
      {"//server/share/x", "\\\\server\\share\\x"},
      {"\\\\server\\share\\..\\..", "\\\\server\\share\\"},
      // Full paths that are already folded come back as they are; these are
      // the nearest ones that are not.
      {"c:\\a\\b", "C:\\a\\b"},
      {"C:\\a..\\...\\.b\\b.", "C:\\a..\\...\\.b\\b."},
      {"C:\\a\\.", "C:\\a"},
      {"C:\\a\\..\\", "C:\\"},
      {"C:\\a\\\\", "C:\\a\\"},
      {"C:\\a/b", "C:\\a\\b"},
      {"C:\\.\\a", "C:\\a"},
  };
  for (const auto& row : rows) EXPECT_EQ(platform::expandPath(row.input), row.expected) << row.input;
}

struct HostRow {
  const char* path;
  std::optional<std::string> host;  // relative to the scratch directory
  uint32_t error;                   // lastError when there is no host path
};

TEST_F(PathsTest, HostPathOf) {
  fs::create_directories(host("c/work/sub/Mixed Case"));
  tmp.write("c/work/sub/file.txt", "");
  tmp.write("c/work/Readme", "");
  tmp.write("c/work/README", "");
  const HostRow rows[] = {
      {"C:\\", "c", 0},
      {"C:\\work\\sub\\", "c/work/sub", 0},
      {"C:\\work\\sub\\file.txt", "c/work/sub/file.txt", 0},
      {"c:/work//.\\SUB\\..\\sub/FILE.txt", "c/work/sub/file.txt", 0},
      {"C:\\WORK\\SUB\\FILE.TXT", "c/work/sub/file.txt", 0},
      {"c:\\Work\\mixed case", "c/work/mixed case", 0},
      {"C:\\work\\sub\\MIXED CASE\\new.txt", "c/work/sub/Mixed Case/new.txt", 0},
      {"C:\\WORK\\New\\Deeper", "c/work/New/Deeper", 0},
      {"C:\\work\\README", "c/work/README", 0},
      {"C:\\work\\Readme", "c/work/Readme", 0},
      {"file.txt", "c/work/sub/file.txt", 0},
      {"D:\\DOCS", "d/docs", 0},
      {"n:\\x", "c/mnt/net/x", 0},
      {"Q:\\x", std::nullopt, platform::kErrorPathNotFound},
      {"E:\\x", std::nullopt, platform::kErrorNotReady},
      {"\\\\server\\share\\x", std::nullopt, platform::kErrorBadNetPath},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.path);
    platform::setLastError(0);
    auto h = platform::hostPathOf(row.path);
    if (!row.host) {
      EXPECT_FALSE(h.has_value());
      EXPECT_EQ(platform::lastError(), row.error);
      continue;
    }
    ASSERT_TRUE(h.has_value());
    EXPECT_EQ(*h, host(*row.host));
  }
}

TEST_F(PathsTest, HostPathOfSeesNamesCreatedAfterALookup) {
  EXPECT_EQ(*platform::hostPathOf("C:\\work\\LATE.TXT"), host("c/work/LATE.TXT"));
  tmp.write("c/work/late.txt", "");
  EXPECT_EQ(*platform::hostPathOf("C:\\work\\LATE.TXT"), host("c/work/late.txt"));
}

TEST_F(PathsTest, APathWithAZeroByteHasNoHostPath) {
  platform::setLastError(0);
  EXPECT_FALSE(platform::hostPathOf(std::string("C:\\work\\..\0x", 12)).has_value());
  EXPECT_EQ(platform::lastError(), platform::kErrorInvalidName);
}

struct VirtualRow {
  std::string hostPath;
  std::optional<std::string> expected;
};

TEST_F(PathsTest, VirtualPathOf) {
  const VirtualRow rows[] = {
      {host("c"), "C:\\"},
      {host("c") + "/", "C:\\"},
      {host("c/work/sub"), "C:\\work\\sub"},
      {host("d/docs/"), "D:\\docs"},
      {host("c/mnt/net/x/y"), "N:\\x\\y"},  // the longest root wins
      {host("c/mnt/network"), "C:\\mnt\\network"},
      {host("c2/x"), std::nullopt},
      {"/", std::nullopt},
      {"relative/x", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& row : rows) EXPECT_EQ(platform::virtualPathOf(row.hostPath), row.expected) << row.hostPath;
}

TEST(PathsUnc, IsUncPath) {
  EXPECT_TRUE(platform::isUncPath("\\\\server\\share"));
  EXPECT_TRUE(platform::isUncPath("//server/share"));
  EXPECT_FALSE(platform::isUncPath("\\dir"));
  EXPECT_FALSE(platform::isUncPath("C:\\\\x"));
  EXPECT_FALSE(platform::isUncPath(""));
}

}  // namespace
