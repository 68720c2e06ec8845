// The command line: parsing into options, usage errors, and the exit
// statuses of the setupkit binary.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "tests/support/archive_builder.h"
#include "tests/support/expect_message.h"
#include "tests/support/row_name.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/tool_test_util.h"
#include "tools/cli.h"

namespace fs = std::filesystem;
using namespace tooltest;
using setupkit::Command;

namespace {

struct ParseRow {
  const char* name;
  std::vector<std::string> args;
  std::string usageError;  // empty: parses
  std::function<void(const setupkit::CommandLine&)> check;
};

class ParseCommandLine : public ::testing::TestWithParam<ParseRow> {};

// Rows print as their names (after the test name, and in ctest -N).
void PrintTo(const ParseRow& row, std::ostream* os) { *os << row.name; }

TEST_P(ParseCommandLine, Row) {
  const ParseRow& row = GetParam();
  if (row.usageError.empty())
    row.check(setupkit::parseCommandLine(row.args));
  else
    EXPECT_THROW_MESSAGE(setupkit::parseCommandLine(row.args), setupkit::UsageError, row.usageError);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ParseCommandLine,
    ::testing::
        Values(ParseRow{"PackEveryOption",
                        {"pack", "--level", "fastest", "--volume-size=1440K", "--header-text", "T", "--no-file-list",
                         "--threads", "3", "-o", "/x/a.bin", "/s1", "/s2"},
                        "",
                        [](const setupkit::CommandLine& c) {
                          EXPECT_EQ(c.command, Command::Pack);
                          EXPECT_EQ(c.pack.level, setupkit::Level::Fastest);
                          EXPECT_EQ(c.pack.volumeSize, 1440 * 1024);
                          EXPECT_EQ(c.pack.headerText, "T");
                          EXPECT_FALSE(c.pack.fileList);
                          EXPECT_EQ(c.pack.threads, 3u);
                          EXPECT_EQ(c.pack.archive, "/x/a.bin");
                          EXPECT_EQ(c.pack.sources, (std::vector<std::string>{"/s1", "/s2"}));
                        }},
               ParseRow{"PackDefaults",
                        {"pack", "-o", "a.bin", "src"},
                        "",
                        [](const setupkit::CommandLine& c) {
                          EXPECT_EQ(c.pack.level, setupkit::Level(11));
                          EXPECT_EQ(c.pack.volumeSize, 0);
                          EXPECT_TRUE(c.pack.fileList);
                        }},
               ParseRow{"MediumAsTheDemoCallsIt",
                        {"medium", "-o", "/m", "--title", "T", "--app", "A", "--dest", "C:\\D", "--volume-size",
                         "100000", "/src"},
                        "",
                        [](const setupkit::CommandLine& c) {
                          EXPECT_EQ(c.medium.directory, "/m");
                          EXPECT_EQ(c.medium.title, "T");
                          EXPECT_EQ(c.medium.app, "A");
                          EXPECT_EQ(c.medium.destDir, "C:\\D");
                          EXPECT_EQ(c.medium.pack.volumeSize, 100000);
                          EXPECT_EQ(c.medium.pack.sources, std::vector<std::string>{"/src"});
                        }},
               ParseRow{"RestoreWithModeAndDest",
                        {"restore", "--full-path", "--mode", "existing-newer", "a.bin", "C:\\D"},
                        "",
                        [](const setupkit::CommandLine& c) {
                          EXPECT_EQ(c.restore.layout, setupkit::RestoreLayout::Tree);
                          EXPECT_EQ(c.restore.mode, rmExistingNewer);
                          EXPECT_TRUE(c.restore.modeGiven);
                          EXPECT_EQ(c.restore.archive, "a.bin");
                          EXPECT_EQ(c.restore.dest, "C:\\D");
                        }},
               ParseRow{"RestoreWithoutDest",
                        {"restore", "a.bin"},
                        "",
                        [](const setupkit::CommandLine& c) {
                          EXPECT_EQ(c.restore.layout, setupkit::RestoreLayout::Tree);
                          EXPECT_EQ(c.restore.dest, "");
                          EXPECT_EQ(c.restore.mode, rmAll);
                          EXPECT_FALSE(c.restore.modeGiven);
                          EXPECT_FALSE(c.restore.verbose);
                        }},
               ParseRow{"FlatAndStoredPaths",
                        {"restore", "--flat", "--stored-paths", "a.bin"},
                        "options --flat and --stored-paths exclude each other",
                        nullptr},
               ParseRow{"FullPathAndFlat",
                        {"restore", "--full-path", "--flat", "a.bin", "d"},
                        "options --full-path and --flat exclude each other",
                        nullptr},
               ParseRow{"JsonOutsideList", {"restore", "--json", "a.bin"}, "unknown option --json", nullptr},
               ParseRow{"VerifyJsonOfAnArchive",
                        {"verify", "--json", "a.bin"},
                        "--json goes with an installed folder DEST",
                        nullptr},
               ParseRow{"HelpOfACommand",
                        {"verify", "--help"},
                        "",
                        [](const setupkit::CommandLine& c) {
                          EXPECT_TRUE(c.help);
                          EXPECT_EQ(c.command, Command::Verify);
                        }},
               ParseRow{"NoCommand", {}, "no command given", nullptr},
               ParseRow{"UnknownCommand", {"unpack"}, "unknown command \"unpack\"", nullptr},
               ParseRow{"UnknownOption", {"list", "--all", "a.bin"}, "unknown option --all", nullptr},
               ParseRow{"MissingValue", {"pack", "src", "-o"}, "option -o needs a value", nullptr},
               ParseRow{"BadLevel",
                        {"pack", "--level", "turbo", "-o", "a", "s"},
                        "unknown level \"turbo\" (0 to 12, fastest, none, default or max)",
                        nullptr},
               ParseRow{"NumberedLevel",
                        {"pack", "--level", "9", "-o", "a", "s"},
                        "",
                        [](const setupkit::CommandLine& c) { EXPECT_EQ(int(c.pack.level), 9); }},
               ParseRow{"LevelAboveTwelve",
                        {"pack", "--level", "13", "-o", "a", "s"},
                        "unknown level \"13\" (0 to 12, fastest, none, default or max)",
                        nullptr},
               ParseRow{"BadVolumeSize",
                        {"pack", "--volume-size", "1.44M", "-o", "a", "s"},
                        "option --volume-size needs a number of bytes, not \"1.44M\"",
                        nullptr},
               ParseRow{"ZeroThreads",
                        {"pack", "--threads", "0", "-o", "a", "s"},
                        "option --threads needs a number from 1 to 999, not \"0\"",
                        nullptr},
               ParseRow{"PackWithoutOutput", {"pack", "src"}, "the archive is missing (-o ARCHIVE)", nullptr},
               ParseRow{"PackWithoutSource", {"pack", "-o", "a.bin"}, "no SOURCE given", nullptr},
               ParseRow{
                   "MediumRuntimeAndDisks",
                   {"medium", "-o", "m", "--title", "T", "--app", "A", "--dest", "D", "s", "--disks", "--image", "iso"},
                   "",
                   [](const setupkit::CommandLine& c) {
                     EXPECT_EQ(c.medium.runtime, setupkit::MediumOptions::Runtime::Bundled);
                     EXPECT_TRUE(c.medium.disks);
                     EXPECT_TRUE(c.medium.isoImages);
                   }},
               ParseRow{"MediumSystemRuntime",
                        {"medium", "--runtime=system", "-o", "m", "--title", "T", "--app", "A", "--dest", "D", "s"},
                        "",
                        [](const setupkit::CommandLine& c) {
                          EXPECT_EQ(c.medium.runtime, setupkit::MediumOptions::Runtime::System);
                          EXPECT_FALSE(c.medium.disks);
                        }},
               ParseRow{"MediumBadRuntime",
                        {"medium", "--runtime", "static", "-o", "m", "--title", "T", "--app", "A", "--dest", "D", "s"},
                        "unknown runtime \"static\" (bundled or system)",
                        nullptr},
               ParseRow{"MediumImageWithoutDisks",
                        {"medium", "--image", "iso", "-o", "m", "--title", "T", "--app", "A", "--dest", "D", "s"},
                        "--image needs --disks",
                        nullptr},
               ParseRow{"MediumWithoutTitle",
                        {"medium", "-o", "m", "--app", "A", "--dest", "D", "s"},
                        "--title, --app and --dest are required",
                        nullptr},
               ParseRow{"FlagWithValue",
                        {"pack", "--no-file-list=yes", "-o", "a", "s"},
                        "option --no-file-list takes no value",
                        nullptr},
               ParseRow{"BadMode",
                        {"restore", "--mode", "some", "a.bin"},
                        "unknown mode \"some\" (all, no-overwrite, newer, existing, existing-newer)",
                        nullptr},
               ParseRow{
                   "RestoreTooManyOperands", {"restore", "a", "b", "c"}, "give ARCHIVE and optionally DEST", nullptr},
               ParseRow{"VerifyTwoArchives", {"verify", "a", "b"}, "give exactly one ARCHIVE", nullptr},
               ParseRow{"MistypedOptionNamesTheClosest",
                        {"medium", "--tilte", "T"},
                        "unknown option --tilte; did you mean --title?",
                        nullptr},
               ParseRow{"ShortOptionRunOn",
                        {"restore", "-verbose", "a.bin"},
                        "unknown option -verbose; did you mean --verbose?",
                        nullptr},
               ParseRow{"ShortOptionJoinedToItsValue", {"pack", "-oa.bin", "s"}, "unknown option -oa.bin", nullptr},
               ParseRow{"FlagGivenTrue", {"restore", "--flat=true", "a.bin"}, "option --flat takes no value", nullptr},
               ParseRow{"OperandsAfterTheOptionsEnd",
                        {"restore", "--", "-ab", "--flat"},
                        "",
                        [](const setupkit::CommandLine& c) {
                          EXPECT_EQ(c.restore.layout, setupkit::RestoreLayout::Tree);
                          EXPECT_EQ(c.restore.archive, "-ab");
                          EXPECT_EQ(c.restore.dest, "--flat");
                        }},
               ParseRow{"OperandInBrackets",
                        {"pack", "-o", "/a.bin", "/[x,y]", "/s"},
                        "",
                        [](const setupkit::CommandLine& c) {
                          EXPECT_EQ(c.pack.sources, (std::vector<std::string>{"/[x,y]", "/s"}));
                        }}),
    [](const auto& info) { return std::string(info.param.name); });

// Slips a publisher made: a level cut short, a one-file installer on disks.
INSTANTIATE_TEST_SUITE_P(
    Slips, ParseCommandLine,
    ::testing::Values(ParseRow{"RefusesALevelCutShortSuggestingFastest",
                               {"pack", "--level=fast", "-o", "a", "s"},
                               "unknown level \"fast\" (0 to 12, fastest, none, default or max); did you mean fastest?",
                               nullptr},
                      ParseRow{"RefusesDisksForAOneFileInstaller",
                               {"medium", "--single-file", "o.run", "--title", "T", "--app", "A", "--dest", "D", "s",
                                "--disks"},
                               "--disks makes a folder medium (-o DIR), not --single-file",
                               nullptr}),
    ByRowName());

// ---- the binary ----

struct BinaryRow {
  const char* name;
  std::string arguments;  // "{T}" stands for the scratch directory
  int status;
  std::string stderrStart;  // the start of standard error
};
// Rows print as their names (after the test name, and in ctest -N).
void PrintTo(const BinaryRow& row, std::ostream* os) { *os << row.name; }

class Binary : public SharedScratchTest<BinaryRow> {
 protected:
  static void SetUpTestSuite() {
    tmp_ = new TempDir;
    const std::string t = tmp_->path();
    writeFile(t + "/src/a.txt", "alpha");
    for (int i = 0; i < 12; ++i) writeFile(t + "/src/d/f" + std::to_string(i), makeContent(2000, false, uint32_t(i)));
    setupkit::PackOptions options;
    packTree(t + "/good.bin", {t + "/src"}, options);
    options.volumeSize = 9000;
    auto volumes = packTree(t + "/gap/SETUP.BIN", {t + "/src"}, options).volumes;
    fs::remove(volumes.back());

    std::string z = zlibCompress(std::string(3000, 'z'));
    z[z.size() - 1] ^= 1;  // Adler-32 mismatch
    ArchiveBuilder zlibBad;
    zlibBad.header(3000).file("C:\\Z.TXT", 0x2ACF63C0, DataBlock().compressedRaw(z)).end();
    writeFile(t + "/zlib.bin", zlibBad.bytes());
    ArchiveBuilder writtenBad;
    writtenBad.header(5)
        .file("C:\\A.TXT", 0x2ACF63C0, DataBlock().signature(std::string("EC3\0", 4)).stored("hello"))
        .end();
    writeFile(t + "/written.bin", writtenBad.bytes());
    ArchiveBuilder skippedBad;
    skippedBad.header(5)
        .storedFile("C:\\A.TXT", 0x2ACF63C0, "hello")
        .fileList(0x2ACF63C0, DataBlock().signature(std::string("EC\0\0", 4)))
        .end();
    writeFile(t + "/skipped.bin", skippedBad.bytes());
    writeFile(t + "/short.bin", "ab");
    writeFile(t + "/text.txt", "root:x:0:0:root:/root:/bin/bash\n");
    writeFile(t + "/zeros.bin", std::string(4096, '\0'));
    std::string image(size_t(18) * 2048, '\0');
    image.replace(size_t(16) * 2048, 6,
                  "\x01"
                  "CD001");
    writeFile(t + "/disk1.iso", image);
    // A continuation volume whose volume change names itself.
    fs::create_directories(t + "/cycle");
    writeFile(
        t + "/cycle/SETUP.BIN",
        ArchiveBuilder().header(4).file("C:\\B.TXT", 0x2ACF63C0, DataBlock().stored("B1")).volumeChange("002").bytes());
    writeFile(t + "/cycle/SETUP.002", ArchiveBuilder().block(DataBlock().stored("B2")).volumeChange("002").bytes());
    ArchiveBuilder noEnd;
    noEnd.header(5).storedFile("C:\\A.TXT", 0x2ACF63C0, "hello");
    writeFile(t + "/noend.bin", noEnd.bytes());
  }
};

TEST_P(Binary, ExitStatusAndMessage) {
  const std::string& t = tmp_->path();
  RunResult r = runSetupkit(replaceAll(GetParam().arguments, "{T}", t), t, t);
  EXPECT_EQ(r.status, GetParam().status) << GetParam().arguments;
  const std::string expected = replaceAll(GetParam().stderrStart, "{T}", t);
  EXPECT_EQ(r.err.substr(0, expected.size()), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Binary,
    ::testing::Values(
        BinaryRow{"NoArguments", "", 64, "setupkit: no command given\nUsage: setupkit COMMAND"},
        BinaryRow{"BadOption", "pack --bogus -o {T}/x.bin {T}/src", 64,
                  "setupkit: unknown option --bogus\nUsage: setupkit pack"},
        BinaryRow{"ToolHelp", "--help", 0, ""}, BinaryRow{"PackHelp", "pack --help", 0, ""},
        BinaryRow{"MediumHelp", "medium --help", 0, ""}, BinaryRow{"ListHelp", "list --help", 0, ""},
        BinaryRow{"VerifyHelp", "verify --help", 0, ""}, BinaryRow{"RestoreHelp", "restore --help", 0, ""},
        BinaryRow{"PackRefused", "pack -o {T}/none.bin {T}/missing", 1, "setupkit: Source not found: {T}/missing"},
        BinaryRow{"ListSound", "list {T}/good.bin", 0, ""}, BinaryRow{"VerifySound", "verify {T}/good.bin", 0, ""},
        BinaryRow{"VerifyDamaged", "verify {T}/zlib.bin", 2, ""},
        BinaryRow{"VerifyMissing", "verify {T}/nothing.bin", 3, "setupkit: Archive not found: {T}/nothing.bin"},
        BinaryRow{"ListDamaged", "list {T}/noend.bin", 2, ""},
        BinaryRow{"ListVolumeCycle", "list {T}/cycle/SETUP.BIN", 2, ""},
        BinaryRow{"VerifyVolumeCycle", "verify {T}/cycle/SETUP.BIN", 2, ""},
        BinaryRow{
            "RestoreVolumeCycle", "restore {T}/cycle/SETUP.BIN {T}/out-cycle", 2,
            "setupkit: cannot read {T}/cycle/SETUP.002 at byte 14 (after the entry C:\\B.TXT): Invalid archive type; "
            "nothing was written\n"},
        BinaryRow{"ListDirectory", "list {T}/src", 3, "setupkit: cannot read {T}/src: Is a directory\n"},
        // Other files are no archive, damaged or not: said once, with no table.
        BinaryRow{"ListText", "list {T}/text.txt", 2,
                  "setupkit: {T}/text.txt is not an archive: the header text runs past the end of the volume\n"},
        BinaryRow{"ListZeros", "list --json {T}/zeros.bin", 2,
                  "setupkit: {T}/zeros.bin is not an archive: it holds no entry and its TotalSize is 0\n"},
        BinaryRow{"VerifyDiskImage", "verify {T}/disk1.iso", 2,
                  "setupkit: {T}/disk1.iso is a disk image, not an archive: list or verify the SETUP.BIN on it\n"},
        BinaryRow{"VerifyContinuationVolume", "verify {T}/cycle/SETUP.002", 2,
                  "setupkit: {T}/cycle/SETUP.002 is a volume after the first, not an archive: list or verify the "
                  "first volume\n"},
        BinaryRow{"RestoreSuccess", "restore {T}/good.bin {T}/out-good", 0, ""},
        // Damage is the archive's, whatever was being done: exit 2, and the volume named.
        BinaryRow{"RestoreCompressionError", "restore {T}/zlib.bin {T}/out-zlib", 2,
                  "setupkit: cannot read {T}/zlib.bin: Compression error, in the data of {T}/out-zlib/Z.TXT\n"
                  "setupkit: Compression error\n"},
        // The look before writing names the volume, the record's position and the last entry.
        BinaryRow{"RestoreDamageSeenBeforeWriting", "restore {T}/written.bin {T}/out-written", 2,
                  "setupkit: cannot read {T}/written.bin at byte 12 (after the entry C:\\A.TXT): Invalid archive type; "
                  "nothing was written\n"},
        BinaryRow{"RestoreDamageSeenWhileWriting", "restore --mode all {T}/written.bin {T}/out-written", 2,
                  "setupkit: cannot read {T}/written.bin: Invalid archive type, in the data of {T}/out-written/A.TXT\n"
                  "setupkit: Cannot read file\n"},
        BinaryRow{"RestoreInvalidArchiveType", "restore {T}/skipped.bin {T}/out-skipped", 2,
                  "setupkit: cannot read {T}/skipped.bin at byte 45 (after the entry C:\\A.TXT): Invalid archive type; "
                  "nothing was written\n"},
        BinaryRow{"RestoreNoArchive", "restore {T}/short.bin {T}/out-short", 2,
                  "setupkit: cannot read {T}/short.bin: Cannot read archive\n"},
        BinaryRow{"RestoreStreamReadError", "restore --mode all {T}/noend.bin {T}/out-noend", 2,
                  "setupkit: cannot read {T}/noend.bin: Stream read error, in the data of {T}/out-noend/A.TXT\n"},
        BinaryRow{"RestoreDirectory", "restore {T}/src {T}/out-dir", 3,
                  "setupkit: cannot read {T}/src: Is a directory\n"},
        BinaryRow{"RestoreIntoAFile", "restore {T}/good.bin {T}/short.bin", 1,
                  "setupkit: cannot write {T}/short.bin/a.txt: Not a directory\n"},
        BinaryRow{"RestoreMissingArchive", "restore {T}/nothing.bin {T}/out-x", 3,
                  "setupkit: Archive not found: {T}/nothing.bin\n"},
        BinaryRow{"RestoreMissingVolumeWithoutTerminal", "restore {T}/gap/SETUP.BIN {T}/out-gap", 4,
                  "setupkit: The restore was cancelled: volume "},
        BinaryRow{"RestoreUsage", "restore", 64, "setupkit: give ARCHIVE and optionally DEST\n"},
        // A backslash in a host name would be read as a separator: refused,
        // not turned into another path.
        BinaryRow{"RestoreIntoABackslashName", "restore {T}/good.bin '{T}/out\\x'", 64,
                  "setupkit: the path {T}/out\\x holds a backslash"},
        BinaryRow{"RestoreFromABackslashName", "restore '{T}/a\\good.bin' {T}/out-y", 64,
                  "setupkit: the path {T}/a\\good.bin holds a backslash"},
        BinaryRow{"MediaOfABackslashName", "restore --media '{T}/disk\\2' {T}/good.bin {T}/out-z", 64,
                  "setupkit: the path {T}/disk\\2 holds a backslash"},
        BinaryRow{"MistypedOptionIsOneHint", "pack --levl 9 -o {T}/x.bin {T}/src", 64,
                  "setupkit: unknown option --levl; did you mean --level?\n"
                  "Usage: setupkit pack [options] -o ARCHIVE SOURCE...\n"
                  "Run setupkit pack --help for its options.\n"},
        BinaryRow{"MistypedCommandIsOneHint", "verfy {T}/good.bin", 64,
                  "setupkit: unknown command \"verfy\"; did you mean verify?\n"
                  "Usage: setupkit COMMAND [options] ...\n"
                  "Run setupkit --help for the commands.\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BinaryOutput, NoTableForWhatIsNoArchive) {
  TempDir tmp;
  writeFile(tmp.file("text.txt"), "root:x:0:0:root:/root:/bin/bash\n");
  for (const char* command : {"list", "list --json", "verify"}) {
    RunResult r = runSetupkit(std::string(command) + " text.txt", tmp.path(), tmp.path());
    EXPECT_EQ(r.status, 2) << command;
    EXPECT_EQ(r.out, "") << command;
  }
}

TEST(BinaryOutput, RestorePrintsEachFileOnce) {
  TempDir tmp;
  writeFile(tmp.file("src/big.bin"), makeContent(40000, false, 9));
  writeFile(tmp.file("src/small.txt"), "x");
  setupkit::PackOptions options;
  options.volumeSize = 20000;
  ASSERT_GE(packTree(tmp.file("v/SETUP.BIN"), {tmp.file("src")}, options).volumes.size(), 2u);
  const std::string command = std::string(SETUPKIT_BINARY) + " restore -v " + tmp.file("v/SETUP.BIN") + " " +
                              tmp.file("out") + " > " + tmp.file("stdout.txt") + " 2>&1 < /dev/null";
  ASSERT_EQ(WEXITSTATUS(std::system(command.c_str())), 0);
  std::string out = readFile(tmp.file("stdout.txt"));
  EXPECT_EQ(out, "C:" + replaceAll(tmp.file("out/big.bin"), "/", "\\") +
                     "\nC:" + replaceAll(tmp.file("out/small.txt"), "/", "\\") + "\n");
}

}  // namespace
