// The directory list's items as data: which items an open directory gives,
// their glyphs, indents and the paths they open.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controls/directory_items.h"

namespace {

struct Expected {
  std::string text;
  TGlyph glyph;
  int indent;
  std::string path;
};

struct ItemsRow {
  const char* name;
  std::string directory;
  std::vector<std::string> subdirectories;
  int openIndex;
  std::vector<Expected> items;
};

class DirectoryItems : public ::testing::TestWithParam<ItemsRow> {};

// Rows print as their names (after the test name, and in ctest -N).
void PrintTo(const ItemsRow& row, std::ostream* os) { *os << row.name; }

TEST_P(DirectoryItems, TextsGlyphsIndentsAndPaths) {
  const ItemsRow& row = GetParam();
  const auto items = buildDirectoryItems(row.directory, row.subdirectories);
  ASSERT_EQ(items.size(), row.items.size());
  EXPECT_EQ(openDirectoryIndex(items), row.openIndex);
  for (size_t i = 0; i < items.size(); ++i) {
    SCOPED_TRACE("item " + std::to_string(i));
    EXPECT_EQ(items[i].Text, row.items[i].text);
    EXPECT_EQ(items[i].Glyph, row.items[i].glyph);
    EXPECT_EQ(directoryItemIndent(items, int(i)), row.items[i].indent);
    EXPECT_EQ(directoryItemPath(row.directory, items, int(i)), row.items[i].path);
  }
}

constexpr TGlyph kOpen = TGlyph::OpenFolder;
constexpr TGlyph kCurrent = TGlyph::CurrentFolder;
constexpr TGlyph kClosed = TGlyph::ClosedFolder;

INSTANTIATE_TEST_SUITE_P(
    Rows, DirectoryItems,
    ::testing::Values(ItemsRow{"Deep",
                               "C:\\Windows\\System",
                               {"color", "Drivers"},
                               2,
                               {{"C:\\", kOpen, 2, "C:\\"},
                                {"Windows", kOpen, 6, "C:\\Windows"},
                                {"System", kCurrent, 10, "C:\\Windows\\System"},
                                {"color", kClosed, 14, "C:\\Windows\\System\\color"},
                                {"Drivers", kClosed, 14, "C:\\Windows\\System\\Drivers"}}},
                      ItemsRow{"DriveRoot",
                               "C:\\",
                               {"Program Files", "Windows"},
                               0,
                               {{"C:\\", kCurrent, 2, "C:\\"},
                                {"Program Files", kClosed, 6, "C:\\Program Files"},
                                {"Windows", kClosed, 6, "C:\\Windows"}}},
                      ItemsRow{"RootWithoutSubdirectories", "D:\\", {}, 0, {{"D:\\", kCurrent, 2, "D:\\"}}},
                      ItemsRow{"NetworkPath",
                               "\\\\server\\share\\dir",
                               {"sub"},
                               1,
                               {{"\\\\server\\share\\", kOpen, 2, "\\\\server\\share\\"},
                                {"dir", kCurrent, 6, "\\\\server\\share\\dir"},
                                {"sub", kClosed, 10, "\\\\server\\share\\dir\\sub"}}},
                      ItemsRow{"DeepNetworkPath",
                               "\\\\server\\share\\a\\b",
                               {},
                               2,
                               {{"\\\\server\\share\\", kOpen, 2, "\\\\server\\share\\"},
                                {"a", kOpen, 6, "\\\\server\\share\\a"},
                                {"b", kCurrent, 10, "\\\\server\\share\\a\\b"}}},
                      ItemsRow{"ShareRoot",
                               "\\\\server\\share\\",
                               {"dir"},
                               0,
                               {{"\\\\server\\share\\", kOpen, 2, "\\\\server\\share\\"},
                                {"dir", kClosed, 6, "\\\\server\\share\\dir"}}}),
    [](const ::testing::TestParamInfo<ItemsRow>& info) { return std::string(info.param.name); });

}  // namespace
