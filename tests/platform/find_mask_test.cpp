// Windows wildcard matching of names.
#include <gtest/gtest.h>

#include "platform/find.h"
#include "tests/support/row_name.h"

namespace {

struct MaskRow {
  const char* name;
  const char* mask;
  bool matches;
};

class MatchesMask : public ::testing::TestWithParam<MaskRow> {};

void PrintTo(const MaskRow& row, std::ostream* os) { *os << row.name << " in " << row.mask; }

TEST_P(MatchesMask, Row) {
  const MaskRow& row = GetParam();
  EXPECT_EQ(platform::matchesMask(row.name, row.mask), row.matches) << row.name << " / " << row.mask;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, MatchesMask,
    ::testing::Values(
        // "*.*" matches every name, with or without a dot.
        MaskRow{"readme.txt", "*.*", true}, MaskRow{"README", "*.*", true}, MaskRow{"a.b.c", "*.*", true},
        MaskRow{".profile", "*.*", true},
        // Plain stars and question marks.
        MaskRow{"setup.bin", "*", true}, MaskRow{"setup.bin", "*.bin", true}, MaskRow{"setup.bin", "*.ins", false},
        MaskRow{"setup.002", "setup.0??", true}, MaskRow{"setup.02", "setup.0??", false},
        MaskRow{"ab", "a?", true}, MaskRow{"a", "a?", false}, MaskRow{"abc", "a*c", true},
        MaskRow{"abcbc", "a*bc", true}, MaskRow{"abcbd", "a*bc", false}, MaskRow{"", "*", true},
        MaskRow{"x", "", false},
        // Letter case does not count.
        MaskRow{"SETUP.BIN", "setup.bin", true}, MaskRow{"Setup.Bin", "*.BIN", true},
        // A mask ending in ".*" also takes the name without extension; one
        // ending in "." only names without a dot.
        MaskRow{"setup", "setup.*", true}, MaskRow{"setups", "setup.*", false}, MaskRow{"README", "*.", true},
        MaskRow{"readme.txt", "*.", false}, MaskRow{"data", "d?t?.", true}),
    [](const auto& info) { return rowName(info.index, std::string(info.param.name) + " " + info.param.mask); });

}  // namespace
