// Shortening a path to a width, and the path label that paints it.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <string>

#include "controls/path_label.h"
#include "controls/shorten_path.h"
#include "tests/support/row_name.h"

namespace {

// One pixel per character, so that widths read as lengths.
int length(const std::string& text) { return int(text.size()); }

struct ShortenRow {
  const char* name;  // the behaviour, as the row's test name
  const char* path;
  int width;
  const char* result;
};

class ShortenPath : public ::testing::TestWithParam<ShortenRow> {};

void PrintTo(const ShortenRow& row, std::ostream* os) { *os << row.path << " at " << row.width; }

TEST_P(ShortenPath, Row) {
  const ShortenRow& row = GetParam();
  EXPECT_EQ(ShortenPathToWidth(row.path, length, row.width), row.result) << row.path << " at " << row.width;
}

constexpr const char* kLong = "C:\\Program Files\\Common Files\\System\\file.txt";  // 45 characters

INSTANTIATE_TEST_SUITE_P(
    Rows, ShortenPath,
    ::testing::Values(
        // The successive shortenings of a long path, each at the widest width
        // that still needs it.
        ShortenRow{"KeptWholeWhenItFits", kLong, 45, kLong},
        ShortenRow{"FirstFolderAfterTheDriveGoesFirst", kLong, 44, "C:\\...\\Common Files\\System\\file.txt"},
        ShortenRow{"NextFolderGoesNext", kLong, 33, "C:\\...\\System\\file.txt"},
        ShortenRow{"EveryFolderGoesBeforeTheDrive", kLong, 21, "C:\\...\\file.txt"},
        ShortenRow{"DriveGoesAfterTheFolders", kLong, 14, "...\\file.txt"},
        ShortenRow{"NameAloneWhenNothingElseFits", kLong, 11, "file.txt"},
        // Only the name is left: returned even when still too wide.
        ShortenRow{"NameAloneEvenWhenTooWide", kLong, 3, "file.txt"},
        // Paths without a drive, a drive-relative name, a root, a bare name.
        ShortenRow{"RootedPathKeepsItsRootBeforeTheDots", "\\one\\two\\name", 12, "\\...\\name"},
        ShortenRow{"RootedPathShortenedToItsName", "\\one\\two\\name", 5, "name"},
        ShortenRow{"DriveRelativePathShortenedToItsName", "C:name", 4, "name"},
        ShortenRow{"DriveRootTooWideShowsNothing", "C:\\", 1, ""}, ShortenRow{"BareNameKeptAsItIs", "name", 1, "name"},
        // A directory whose name begins with a dot is dropped like any other.
        ShortenRow{"FolderStartingWithADotGoesLikeAnyOther", "C:\\.config\\app\\x", 11, "C:\\...\\x"},
        ShortenRow{"EmptyPathStaysEmpty", "", 0, ""}),
    ByRowName());

TEST(PathLabel, ShowsTheLongestFormThatFits) {
  TPathLabel label;
  label.SetText(kLong);
  const QFontMetrics metrics = label.fontMetrics();
  const std::string middle = "C:\\...\\System\\file.txt";
  label.resize(metrics.horizontalAdvance(QString::fromStdString(middle)), 20);
  EXPECT_EQ(label.ShownText(), middle);
  EXPECT_EQ(label.Text(), kLong);  // the full text is kept
  label.resize(1, 20);
  EXPECT_EQ(label.ShownText(), "file.txt");  // drawn unshortened, cut off at the edge
}

}  // namespace
