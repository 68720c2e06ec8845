// The install record as the uninstaller and a later installation read it:
// what is written reads back exactly (names that are not UTF-8 included), a
// later installation's record takes in the earlier one, and a record that is
// damaged or names anything outside DEST is refused.
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "install/install_record.h"
#include "tests/support/row_name.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace install_record;

const std::string kSha(64, 'a');
const std::string kOtherSha(64, 'b');

// Loads DEST's record through a descriptor of DEST, as its readers do.
LoadState loadFrom(const std::string& dest, Record& record, std::string& problem) {
  const int fd = open(dest.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const LoadState state = load(fd, record, problem);
  close(fd);
  return state;
}

TEST(RecordStore, ReadsBackEveryMemberAndLeavesNoTemporaryFile) {
  Record written;
  written.application = "Demo \xC3\xA9";
  written.complete = true;
  written.destinationMade = true;
  written.publisherKey = "RWQf6LRCGA9i53mlYecO4IzT51TGPpvWucNSCh1CBM0QTaLn73Y7GFO3";
  written.uninstaller = FileEntry{kUninstallerName, 10, kSha, "2026-12-08T00:26:19Z"};
  written.addFolder("docs");
  written.addFolder("docs/\xE9t\xE9");  // ISO 8859-1 bytes: not UTF-8
  written.addFile({"docs/\xE9t\xE9/a.txt", 3, kSha, "2005-03-01T09:20:30Z"});
  written.addFile({"docs/\xC3\xA9t\xC3\xA9.txt", 4, kOtherSha, "2005-03-01T09:20:31Z"});  // the same name in UTF-8
  written.addLink({"bin/demo", "../lib/\xFF"});
  written.addMenuEntry({"setup-demo-0a1b2c3d.desktop", "user", 199, kSha, ""});

  TempDir dest;
  const int fd = open(dest.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  std::string problem;
  ASSERT_TRUE(store(fd, written, problem)) << problem;
  close(fd);
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dest.path())) names.push_back(e.path().filename());
  EXPECT_EQ(names, std::vector<std::string>{kRecordName});

  Record read;
  ASSERT_EQ(loadFrom(dest.path(), read, problem), LoadState::Loaded) << problem;
  // The text names every member, and a name that is not UTF-8 by its exact
  // bytes (name_hex): the same text means the same record.
  ASSERT_EQ(toJson(read), toJson(written));
  EXPECT_EQ(read.files[0].name, "docs/\xE9t\xE9/a.txt");
}

TEST(RecordMerge, ALaterInstallationKeepsWhatTheEarlierOneWrote) {
  Record earlier;
  earlier.application = "Demo";
  earlier.complete = earlier.destinationMade = true;
  earlier.publisherKey = "KEY";
  earlier.uninstaller = FileEntry{kUninstallerName, 10, kSha, "d1"};
  earlier.addFolder("x");
  earlier.addFile({"x/a", 1, kSha, "d1"});
  earlier.addFile({"x/b", 1, kSha, "d1"});
  earlier.addLink({"l", "x/a"});
  earlier.addMenuEntry({"setup-demo-1.desktop", "user", 1, kSha, ""});
  Record later;
  later.addFolder("y");
  later.addFolder("x");
  later.addFile({"x/b", 2, kOtherSha, "d2"});
  later.addFile({"y/c", 3, kSha, "d2"});
  later.addMenuEntry({"setup-demo-2.desktop", "system", 1, kSha, ""});
  later.mergeEarlier(earlier);
  later.addFile({"y/d", 4, kSha, "d3"});  // files still land after the merge

  Record expected = earlier;
  expected.complete = false;  // the running installation has not completed
  expected.addFolder("y");
  expected.files[1] = {"x/b", 2, kOtherSha, "d2"};  // the later entry replaces the earlier
  expected.addFile({"y/c", 3, kSha, "d2"});
  expected.addFile({"y/d", 4, kSha, "d3"});
  expected.addMenuEntry({"setup-demo-2.desktop", "system", 1, kSha, ""});
  EXPECT_EQ(toJson(later), toJson(expected));
}

// A record edited into something its readers must refuse.
struct DamageRow {
  const char* name;
  std::string from, to;  // replaced in the text of a sound record
  LoadState state;
};

class RecordRead : public ::testing::TestWithParam<DamageRow> {};
void PrintTo(const DamageRow& row, std::ostream* os) { *os << row.name; }

TEST_P(RecordRead, RefusesTheRecord) {
  Record sound;
  sound.uninstaller = FileEntry{kUninstallerName, 10, kSha, "2026-01-01T00:00:00Z"};
  sound.addFolder("docs");
  sound.addFile({"docs/a.txt", 1, kSha, "2026-01-01T00:00:00Z"});
  sound.addLink({"link", "docs/a.txt"});
  sound.addMenuEntry({"setup-demo-1.desktop", "user", 1, kSha, ""});
  const std::string text = toJson(sound);
  const DamageRow& row = GetParam();
  const size_t at = text.find(row.from);
  ASSERT_NE(at, std::string::npos) << row.from << " in " << text;
  TempDir dest;
  dest.write(kRecordName, std::string(text).replace(at, row.from.size(), row.to));
  Record read;
  std::string problem;
  EXPECT_EQ(loadFrom(dest.path(), read, problem), row.state) << problem;
  EXPECT_FALSE(problem.empty());
}

const std::string kFileName = R"("name":"docs/a.txt")";
INSTANTIATE_TEST_SUITE_P(
    Rows, RecordRead,
    ::testing::Values(
        DamageRow{"DamagedWhenNotJson", "\"files\"", "files", LoadState::Damaged},
        DamageRow{"DamagedWhenOfAnotherFormat", "setup install record", "other record", LoadState::Damaged},
        DamageRow{"DamagedWhenOfAnUnknownVersion", "\"version\": 1", "\"version\": 2", LoadState::Damaged},
        DamageRow{"DamagedWhenAMemberIsMissing", "\"complete\"", "\"finished\"", LoadState::Damaged},
        DamageRow{"DamagedWhenAMemberIsOfTheWrongType", "\"complete\": false", "\"complete\": \"no\"",
                  LoadState::Damaged},
        DamageRow{"DamagedWhenADigestIsNone", kSha + "\",\"date\"", "xyz\",\"date\"", LoadState::Damaged},
        DamageRow{"DamagedWhenANameHexIsNoHex", kFileName, kFileName + R"(,"name_hex":"zz")", LoadState::Damaged},
        DamageRow{"DamagedWhenAMenuScopeIsUnknown", "\"user\"", "\"elsewhere\"", LoadState::Damaged},
        DamageRow{"OutsideWhenAFileNameClimbsOut", kFileName, R"("name":"docs/../../x")", LoadState::Outside},
        DamageRow{"OutsideWhenAFileNameIsAbsolute", kFileName, R"("name":"/etc/passwd")", LoadState::Outside},
        DamageRow{"OutsideWhenAFileNameHasADotComponent", kFileName, R"("name":"docs/./a.txt")", LoadState::Outside},
        DamageRow{"OutsideWhenAFileNameHoldsANulByte", kFileName, R"("name":"docs/a\u0000")", LoadState::Outside},
        DamageRow{"OutsideWhenANameHexClimbsOut", kFileName, kFileName + R"(,"name_hex":"2e2e2f78")",
                  LoadState::Outside},
        DamageRow{"OutsideWhenAFolderClimbsOut", "\"name\": \"docs\"", "\"name\": \"..\"", LoadState::Outside},
        DamageRow{"OutsideWhenALinkClimbsOut", "\"name\": \"link\"", "\"name\": \"../link\"", LoadState::Outside},
        DamageRow{"OutsideWhenAMenuEntryNamesAFolder", "setup-demo-1.desktop", "../setup-demo-1.desktop",
                  LoadState::Outside},
        DamageRow{"OutsideWhenTheUninstallerIsAnotherFile", "\"name\": \"uninstall\"", "\"name\": \"bin/sh\"",
                  LoadState::Outside}),
    ByRowName());

TEST(RecordRead, MissingWithoutARecordAndDamagedWhenItIsALink) {
  TempDir dest;
  Record read;
  std::string problem;
  EXPECT_EQ(loadFrom(dest.path(), read, problem), LoadState::Missing);
  Record sound;
  dest.write("elsewhere.json", toJson(sound));
  std::filesystem::create_symlink("elsewhere.json", dest.file(kRecordName));
  EXPECT_EQ(loadFrom(dest.path(), read, problem), LoadState::Damaged);
}

}  // namespace
