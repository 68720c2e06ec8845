// Where the continuation volumes of an archive are found: beside the first,
// in diskN/ beside the first volume's disk1/, then in the folders given, in
// that order, whatever the letter case of the names on the host.
#include <gtest/gtest.h>

#include "medium/volume_search.h"
#include "tests/support/row_name.h"
#include "tests/support/temp_dir.h"

namespace {

struct SearchRow {
  const char* name;
  std::vector<std::string> files;  // made below C:\ (host names)
  const char* first;
  std::vector<std::string> folders;
  int number;
  const char* found;  // null: none
};

class VolumeSearch : public ::testing::TestWithParam<SearchRow> {};
void PrintTo(const SearchRow& row, std::ostream* os) { *os << row.name; }

TEST_P(VolumeSearch, Find) {
  const SearchRow& row = GetParam();
  TempDir tmp;
  ScopedDriveC drive(tmp.path());
  for (const auto& f : row.files) tmp.write(f, "volume");
  const auto found = TVolumeSearch(row.first, row.folders).find(row.number);
  if (!row.found)
    EXPECT_FALSE(found) << *found;
  else
    EXPECT_EQ(found.value_or("(none)"), row.found);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, VolumeSearch,
    ::testing::Values(
        SearchRow{"FoundBesideTheFirst", {"m/SETUP.BIN", "m/SETUP.002"}, "C:\\m\\SETUP.BIN", {}, 2, "C:\\m\\SETUP.002"},
        SearchRow{"FoundInItsDiskFolderBesideDisk1",
                  {"m/disk1/SETUP.BIN", "m/disk3/SETUP.003"},
                  "C:\\m\\disk1\\SETUP.BIN",
                  {},
                  3,
                  "C:\\m\\disk3\\SETUP.003"},
        SearchRow{"FoundInAnUpperCaseDiskFolder",
                  {"m/DISK1/SETUP.BIN", "m/DISK2/SETUP.002"},
                  "C:\\m\\DISK1\\SETUP.BIN",
                  {},
                  2,
                  "C:\\m\\disk2\\SETUP.002"},
        SearchRow{"FoundUnderAnUpperCaseNameForALowerCaseFirst",
                  {"m/setup.bin", "m/SETUP.002"},
                  "C:\\m\\setup.bin",
                  {},
                  2,
                  "C:\\m\\setup.002"},
        SearchRow{"NotInADiskFolderWhenTheFirstIsInNone",
                  {"m/x1/SETUP.BIN", "m/disk2/SETUP.002"},
                  "C:\\m\\x1\\SETUP.BIN",
                  {},
                  2,
                  nullptr},
        SearchRow{"NotInADiskFolderBesideADisketteFolder",
                  {"m/diskette1/SETUP.BIN", "m/disk2/SETUP.002"},
                  "C:\\m\\diskette1\\SETUP.BIN",
                  {},
                  2,
                  nullptr},
        SearchRow{"FoundInAMediaFolder",
                  {"m/SETUP.BIN", "o/SETUP.002"},
                  "C:\\m\\SETUP.BIN",
                  {"C:\\x", "C:\\o"},
                  2,
                  "C:\\o\\SETUP.002"},
        SearchRow{"BesideTheFirstBeforeAMediaFolder",
                  {"m/SETUP.BIN", "m/SETUP.002", "o/SETUP.002"},
                  "C:\\m\\SETUP.BIN",
                  {"C:\\o"},
                  2,
                  "C:\\m\\SETUP.002"},
        SearchRow{
            "NoneWhenTheVolumeIsNowhere", {"m/SETUP.BIN", "m/SETUP.003"}, "C:\\m\\SETUP.BIN", {"C:\\m"}, 2, nullptr}),
    ByRowName());

// The places a missing volume's message names, in the order looked in; a
// folder typed at a disk prompt comes last.
TEST(VolumeSearchCandidates, BesideThenDiskFolderThenMediaFoldersThenAddedFolders) {
  TVolumeSearch search("C:\\m\\disk1\\SETUP.BIN", {"D:\\media"});
  search.addFolder("E:\\typed\\");
  EXPECT_EQ(search.candidates(4), (std::vector<std::string>{"C:\\m\\disk1\\SETUP.004", "C:\\m\\disk4\\SETUP.004",
                                                            "D:\\media\\SETUP.004", "E:\\typed\\SETUP.004"}));
  EXPECT_EQ(TVolumeSearch("C:\\m\\SETUP.BIN").candidates(2), std::vector<std::string>{"C:\\m\\SETUP.002"});
}

}  // namespace
