// The restore command's defaults and refusals, and the tool's conventional
// output, through the real binary: where files land, what is refused before
// anything is written, and what reaches standard output and error.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "tests/support/archive_builder.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/tool_test_util.h"

namespace fs = std::filesystem;
using namespace tooltest;

namespace {

constexpr uint32_t kDate = 0x2ACF63C0;  // 2001-06-15 12:30:00

struct DefaultsRow {
  const char* name;
  std::string arguments;  // "{T}" stands for the scratch directory
  int status;
  std::map<std::string, std::string> files;  // below {T}: content expected
  std::vector<std::string> absent;           // below {T}: must not exist
  std::string out;                           // standard output, exactly
  std::string err;                           // the start of standard error; empty: none at all
};
// Rows print as their names (after the test name, and in ctest -N).
void PrintTo(const DefaultsRow& row, std::ostream* os) { *os << row.name; }

class RestoreDefaults : public SharedScratchTest<DefaultsRow> {
 protected:
  static void SetUpTestSuite() {
    tmp_ = new TempDir;
    const std::string t = tmp_->path();
    // Two entries with the same file name in different folders, and a third
    // whose name differs from them only in letter case.
    ArchiveBuilder clash;
    clash.header(9)
        .storedFile("C:\\opt\\demo\\a.txt", kDate, "top")
        .storedFile("C:\\opt\\demo\\sub\\a.txt", kDate, "sub")
        .storedFile("C:\\opt\\demo\\b.txt", kDate, "b")
        .storedFile("C:\\opt\\other\\A.TXT", kDate, "up")
        .end();
    writeFile(t + "/clash.bin", clash.bytes());
    // Names of one file on a file system that ignores letter case.
    ArchiveBuilder cases;
    cases.header(2).storedFile("C:\\x\\A.TXT", kDate, "1").storedFile("C:\\x/a.txt", kDate, "2").end();
    writeFile(t + "/cases.bin", cases.bytes());
    // A "." directory stays in place: the same file as without it.
    ArchiveBuilder dots;
    dots.header(2).storedFile("C:\\S\\.\\LAST.TXT", kDate, "1").storedFile("C:\\S\\LAST.TXT", kDate, "2").end();
    writeFile(t + "/dots.bin", dots.bytes());
    ArchiveBuilder distinct;
    distinct.header(2).storedFile("C:\\x\\one.txt", kDate, "1").storedFile("C:\\y\\two.txt", kDate, "2").end();
    writeFile(t + "/distinct.bin", distinct.bytes());
    // Stored paths that lie in the scratch directory, as Windows-form names.
    const std::string stored = "C:" + replaceAll(t, "/", "\\") + "\\stored\\";
    ArchiveBuilder absolute;
    absolute.header(2).storedFile(stored + "p.txt", kDate, "p").storedFile(stored + "deep\\q.txt", kDate, "q").end();
    writeFile(t + "/absolute.bin", absolute.bytes());
    // A name in a single-byte code page, with a quotation mark and a control character.
    ArchiveBuilder odd;
    odd.header(0).storedFile("C:\\Caf\xE9 \"1\"\x01.txt", 0, "").end();
    writeFile(t + "/odd.bin", odd.bytes());
  }
};

TEST_P(RestoreDefaults, Row) {
  const DefaultsRow& row = GetParam();
  const std::string& t = tmp_->path();
  const std::string run = t + "/run-" + row.name;  // the working directory of this row
  auto fill = [&](const std::string& s) {
    return replaceAll(replaceAll(replaceAll(s, "{RUN}", run), "{TW}", replaceAll(t, "/", "\\")), "{T}", t);
  };
  RunResult r = runSetupkit(fill(row.arguments), run, t);
  EXPECT_EQ(r.status, row.status);
  EXPECT_EQ(r.out, fill(row.out));
  // Quiet means nothing at all; messages are checked as far as the row gives them.
  const std::string err = fill(row.err);
  if (err.empty())
    EXPECT_EQ(r.err, "");
  else
    EXPECT_EQ(r.err.substr(0, err.size()), err);
  for (const auto& [file, content] : row.files) {
    const std::string path = fill(file);
    ASSERT_TRUE(fs::is_regular_file(path)) << path;
    EXPECT_EQ(readFile(path), content) << path;
  }
  for (const auto& file : row.absent) EXPECT_FALSE(fs::exists(fill(file))) << fill(file);
}

const std::string kClashList =
    "setupkit: The flat restore would write several entries to the same file; nothing was written:\n"
    "  {T}/flat/a.txt: C:\\opt\\demo\\a.txt, C:\\opt\\demo\\sub\\a.txt, C:\\opt\\other\\A.TXT\n"
    "setupkit: Restore without --flat to keep the folders, or give --mode to let later entries follow it in "
    "archive order\n";

INSTANTIATE_TEST_SUITE_P(
    Rows, RestoreDefaults,
    ::testing::Values(
        DefaultsRow{
            "TreeBelowTheCurrentDirectory",
            "restore {T}/clash.bin",
            0,
            {{"{RUN}/opt/demo/a.txt", "top"}, {"{RUN}/opt/demo/sub/a.txt", "sub"}, {"{RUN}/opt/other/A.TXT", "up"}},
            {"{T}/opt", "/opt/demo/sub/a.txt"},
            "",
            ""},
        DefaultsRow{"TreeBelowDest",
                    "restore {T}/clash.bin {T}/tree",
                    0,
                    {{"{T}/tree/opt/demo/a.txt", "top"}, {"{T}/tree/opt/demo/sub/a.txt", "sub"}},
                    {},
                    "",
                    ""},
        DefaultsRow{"FullPathStillMeansTheTree",
                    "restore --full-path {T}/clash.bin {T}/full",
                    0,
                    {{"{T}/full/opt/demo/sub/a.txt", "sub"}, {"{T}/full/opt/demo/b.txt", "b"}},
                    {},
                    "",
                    ""},
        DefaultsRow{"VerboseNamesEachFile",
                    "restore -v {T}/distinct.bin {T}/verbose",
                    0,
                    {{"{T}/verbose/x/one.txt", "1"}},
                    {},
                    "C:{TW}\\verbose\\x\\one.txt\nC:{TW}\\verbose\\y\\two.txt\n",
                    ""},
        DefaultsRow{
            "FlatRefusesClashingNames", "restore --flat {T}/clash.bin {T}/flat", 5, {}, {"{T}/flat"}, "", kClashList},
        DefaultsRow{"TreeRefusesNamesOfOneFile",
                    "restore {T}/cases.bin {T}/cases",
                    5,
                    {},
                    {"{T}/cases"},
                    "",
                    "setupkit: The restore would write several entries to the same file; nothing was written:\n"
                    "  {T}/cases/x/A.TXT: C:\\x\\A.TXT, C:\\x/a.txt\n"
                    "setupkit: Give --mode to let later entries follow it in archive order\n"},
        DefaultsRow{"TreeRefusesADotDirectoryOfTheSameFile",
                    "restore {T}/dots.bin {T}/dots",
                    5,
                    {},
                    {"{T}/dots"},
                    "",
                    "setupkit: The restore would write several entries to the same file; nothing was written:\n"
                    "  {T}/dots/S/LAST.TXT: C:\\S\\.\\LAST.TXT, C:\\S\\LAST.TXT\n"},
        DefaultsRow{"TreeWithAModeWritesThroughADotDirectory",
                    "restore --mode all {T}/dots.bin {T}/dotsmode",
                    0,
                    {{"{T}/dotsmode/S/LAST.TXT", "2"}},
                    {},
                    "",
                    ""},
        DefaultsRow{"TreeWithAModeFollowsArchiveOrder",
                    "restore --mode all {T}/cases.bin {T}/casesmode",
                    0,
                    {{"{T}/casesmode/x/A.TXT", "2"}},
                    {"{T}/casesmode/x/a.txt"},
                    "",
                    ""},
        DefaultsRow{"FlatWithAModeFollowsArchiveOrder",
                    "restore --flat --mode all {T}/clash.bin {T}/flatmode",
                    0,
                    {{"{T}/flatmode/a.txt", "up"}, {"{T}/flatmode/b.txt", "b"}},
                    {},
                    "",
                    ""},
        DefaultsRow{"FlatWithoutClashes",
                    "restore --flat {T}/distinct.bin {T}/flatok",
                    0,
                    {{"{T}/flatok/one.txt", "1"}, {"{T}/flatok/two.txt", "2"}},
                    {"{T}/flatok/x"},
                    "",
                    ""},
        DefaultsRow{"StoredPathsSaysWhereFirst",
                    "restore --stored-paths {T}/absolute.bin",
                    0,
                    {{"{T}/stored/p.txt", "p"}, {"{T}/stored/deep/q.txt", "q"}},
                    {"{RUN}/stored"},
                    "",
                    "setupkit: restoring 2 files to the paths stored in the archive, below {T}/stored\n"},
        DefaultsRow{"StoredPathsTakesNoDest",
                    "restore --stored-paths {T}/absolute.bin {T}/nodest",
                    64,
                    {},
                    {"{T}/nodest"},
                    "",
                    "setupkit: --stored-paths takes no DEST\nUsage: setupkit restore"},
        DefaultsRow{"ToolVersion", "--version", 0, {}, {}, "setupkit " SETUPKIT_TEST_VERSION "\n", ""},
        DefaultsRow{"CommandVersion", "restore --version", 0, {}, {}, "setupkit " SETUPKIT_TEST_VERSION "\n", ""},
        DefaultsRow{"ListJson",
                    "list --json {T}/distinct.bin",
                    0,
                    {},
                    {},
                    "[\n"
                    "{\"kind\":\"file\",\"name\":\"C:\\\\x\\\\one.txt\",\"date\":\"2001-06-15T12:30:00\",\"size\":1,"
                    "\"stored\":1,\"chunks\":1,\"volume\":1},\n"
                    "{\"kind\":\"file\",\"name\":\"C:\\\\y\\\\two.txt\",\"date\":\"2001-06-15T12:30:00\",\"size\":1,"
                    "\"stored\":1,\"chunks\":1,\"volume\":1}\n"
                    "]\n",
                    ""},
        DefaultsRow{"ListJsonKeepsEveryByteOfAName",
                    "list --json {T}/odd.bin",
                    0,
                    {},
                    {},
                    "[\n{\"kind\":\"file\",\"name\":\"C:\\\\Caf\xC3\xA9 \\\"1\\\"\\u0001.txt\",\"date\":null,"
                    "\"size\":0,\"stored\":0,\"chunks\":0,\"volume\":1}\n]\n",
                    ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
