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
        ShortenRow{kLong, 45, kLong}, ShortenRow{kLong, 44, "C:\\...\\Common Files\\System\\file.txt"},
        ShortenRow{kLong, 33, "C:\\...\\System\\file.txt"}, ShortenRow{kLong, 21, "C:\\...\\file.txt"},
        ShortenRow{kLong, 14, "...\\file.txt"}, ShortenRow{kLong, 11, "file.txt"},
        // Only the name is left: returned even when still too wide.
        ShortenRow{kLong, 3, "file.txt"},
        // Paths without a drive, a drive-relative name, a root, a bare name.
        ShortenRow{"\\one\\two\\name", 12, "\\...\\name"}, ShortenRow{"\\one\\two\\name", 5, "name"},
        ShortenRow{"C:name", 4, "name"}, ShortenRow{"C:\\", 1, ""}, ShortenRow{"name", 1, "name"},
        // A directory whose name begins with a dot is dropped like any other.
        ShortenRow{"C:\\.config\\app\\x", 11, "C:\\...\\x"}, ShortenRow{"", 0, ""}),
    [](const auto& info) { return rowName(info.index, std::string(info.param.path) + " " + std::to_string(info.param.width)); });

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
