// What pack refuses (with the message the user sees, and nothing left that
// looks like an archive) and what it only warns about.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "common/host_paths.h"
#include "common/tool_error.h"
#include "tests/support/expect_message.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/tool_test_util.h"

namespace fs = std::filesystem;
using namespace tooltest;

namespace {

struct RefusalRow {
  const char* name;
  // Writes the sources below `src` and returns the options' sources.
  std::function<std::vector<std::string>(const std::string& src)> sources;
  int64_t volumeSize;
  // The expected message, given the source directory.
  std::function<std::string(const std::string& src)> message;
};

class PackRefusal : public ::testing::TestWithParam<RefusalRow> {};

// Rows print as their names (after the test name, and in ctest -N).
void PrintTo(const RefusalRow& row, std::ostream* os) { *os << row.name; }

TEST_P(PackRefusal, RaisesAndLeavesNothing) {
  const RefusalRow& row = GetParam();
  TempDir tmp;
  std::string src = tmp.file("src");
  fs::create_directories(src);
  fs::create_directories(tmp.file("out"));
  std::vector<std::string> sources = row.sources(src);
  setupkit::PackOptions options;
  options.volumeSize = row.volumeSize;
  EXPECT_THROW_MESSAGE(packTree(tmp.file("out/SETUP.BIN"), sources, options), setupkit::ToolError, row.message(src));
  EXPECT_TRUE(fs::is_empty(tmp.file("out")));
}

std::vector<std::string> one(const std::string& src, const std::string& name, const std::string& content) {
  writeFile(src + "/" + name, content);
  return {src};
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PackRefusal,
    ::testing::Values(
        RefusalRow{"TotalSizeAboveSigned32Bits",
                   [](const std::string& src) {
                     writeFile(src + "/small.txt", "x");
                     writeFile(src + "/huge.bin", "");
                     fs::resize_file(src + "/huge.bin", 2147483647);  // sparse: nothing is read
                     return std::vector<std::string>{src};
                   },
                   0,
                   [](const std::string&) {
                     return std::string(
                         "The files hold 2147483648 bytes; an archive holds at most 2147483647 bytes of files");
                   }},
        RefusalRow{"OnlyEmptyFiles", [](const std::string& src) { return one(src, "empty.txt", ""); }, 0,
                   [](const std::string&) { return std::string("Nothing to pack: the sources hold no file data"); }},
        RefusalRow{"BackslashInName", [](const std::string& src) { return one(src, "a\\b.txt", "x"); }, 0,
                   [](const std::string& src) {
                     return "Cannot store " + src + "/a\\b.txt: a name with \"\\\", \":\" or a control character";
                   }},
        RefusalRow{"ColonInDirectoryName", [](const std::string& src) { return one(src, "c:d/e.txt", "x"); }, 0,
                   [](const std::string& src) {
                     return "Cannot store " + src + "/c:d: a name with \"\\\", \":\" or a control character";
                   }},
        RefusalRow{"LineBreakInName", [](const std::string& src) { return one(src, "a\nb", "x"); }, 0,
                   [](const std::string& src) {
                     return "Cannot store " + src + "/a\nb: a name with \"\\\", \":\" or a control character";
                   }},
        RefusalRow{"SameNameFromTwoSources",
                   [](const std::string& src) {
                     writeFile(src + "/one/x.txt", "1");
                     writeFile(src + "/two/x.txt", "2");
                     return std::vector<std::string>{src + "/one", src + "/two"};
                   },
                   0,
                   [](const std::string& src) {
                     return "Two files would be stored as C:\\x.txt: " + src + "/one/x.txt and " + src + "/two/x.txt";
                   }},
        // Sources merge at the root: a file of one where the other has a folder.
        RefusalRow{"FileOfOneSourceIsAFolderOfAnother",
                   [](const std::string& src) {
                     writeFile(src + "/one/Docs", "1");
                     writeFile(src + "/two/docs/x/y.txt", "2");
                     return std::vector<std::string>{src + "/one", src + "/two"};
                   },
                   0,
                   [](const std::string& src) {
                     return "C:\\docs is the file " + src + "/one/Docs and a folder for the file " + src +
                            "/two/docs/x/y.txt";
                   }},
        RefusalRow{"NamesDifferingInCaseOnly",
                   [](const std::string& src) {
                     writeFile(src + "/README.TXT", "1");
                     return one(src, "readme.txt", "2");
                   },
                   0,
                   [](const std::string& src) {
                     return "Two files would be stored as C:\\readme.txt: " + src + "/README.TXT and " + src +
                            "/readme.txt";
                   }},
        RefusalRow{"MissingSource", [](const std::string& src) { return std::vector<std::string>{src + "/nope"}; }, 0,
                   [](const std::string& src) { return "Source not found: " + src + "/nope"; }},
        // Header 12 bytes; record of C:\a.txt 20, stored chunk 9, block end 4
        // and volume change 16 must fit the first volume.
        RefusalRow{"VolumeTooSmallForFirstEntry", [](const std::string& src) { return one(src, "a.txt", "hello"); }, 60,
                   [](const std::string&) {
                     return std::string("The volume size 60 is too small: a volume must hold at least 61 bytes here");
                   }},
        RefusalRow{"MoreThan999Volumes",
                   [](const std::string& src) {
                     for (int i = 0; i < 1001; ++i) writeFile(src + "/f" + std::to_string(i), "abc");
                     return std::vector<std::string>{src};
                   },
                   70,
                   [](const std::string&) {
                     return std::string("The archive needs more than 999 volumes; choose a larger volume size");
                   }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PackWarnings, FlatCollisionsEmptyDirectoriesAndLinks) {
  TempDir tmp;
  writeFile(tmp.file("src/a/Read.Me"), "1");
  writeFile(tmp.file("src/b/READ.ME"), "2");
  fs::create_directories(tmp.file("src/empty"));
  fs::create_symlink("nowhere", tmp.file("src/dangling"));
  auto result = packTree(tmp.file("a.bin"), {tmp.file("src")});
  std::vector<std::string> expected = {
      "Skipped " + tmp.file("src/dangling") +
          ": a symbolic link (to nowhere); without an attributes file the installer will not make it",
      "Skipped C:\\empty: an empty folder; without an attributes file the installer will not make it",
      "C:\\a\\Read.Me and C:\\b\\READ.ME restore to the same file in a flat restore"};
  std::sort(expected.begin(), expected.end());
  std::sort(result.warnings.begin(), result.warnings.end());
  EXPECT_EQ(result.warnings, expected);
  EXPECT_EQ(result.files, 2u);
}

// Volumes of an earlier, longer archive of the same name are removed; other
// files are not touched.
TEST(PackOutput, StaleVolumesOfAnEarlierArchiveAreRemoved) {
  TempDir tmp;
  for (int i = 0; i < 30; ++i) writeFile(tmp.file("src/f" + std::to_string(i)), makeContent(900, false, uint32_t(i)));
  setupkit::PackOptions options;
  options.volumeSize = 8000;
  auto first = packTree(tmp.file("out/SETUP.BIN"), {tmp.file("src")}, options);
  ASSERT_GE(first.volumes.size(), 3u);
  writeFile(tmp.file("out/SETUP.TXT"), "keep");
  auto second = packTree(tmp.file("out/SETUP.BIN"), {tmp.file("src")});
  EXPECT_EQ(second.volumes.size(), 1u);
  EXPECT_EQ(second.staleRemoved.size(), first.volumes.size() - 1);
  EXPECT_FALSE(fs::exists(setupkit::volumeHostPath(tmp.file("out/SETUP.BIN"), 2)));
  EXPECT_TRUE(fs::exists(tmp.file("out/SETUP.TXT")));
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(tmp.file("out"))) left.push_back(e.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"SETUP.BIN", "SETUP.TXT"}));
}

}  // namespace
