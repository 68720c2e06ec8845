// Windows wildcard matching of names.
#include <gtest/gtest.h>

#include "platform/find.h"
#include "tests/support/row_name.h"

namespace {

struct MaskRow {
  const char* name;  // the behaviour, as the row's test name
  const char* file;
  const char* mask;
  bool matches;
};

class MatchesMask : public ::testing::TestWithParam<MaskRow> {};

void PrintTo(const MaskRow& row, std::ostream* os) { *os << row.file << " in " << row.mask; }

TEST_P(MatchesMask, Row) {
  const MaskRow& row = GetParam();
  EXPECT_EQ(platform::matchesMask(row.file, row.mask), row.matches) << row.file << " / " << row.mask;
}

INSTANTIATE_TEST_SUITE_P(Rows, MatchesMask,
                         ::testing::Values(
                             // "*.*" matches every name, with or without a dot.
                             MaskRow{"StarDotStarTakesANameWithADot", "readme.txt", "*.*", true},
                             MaskRow{"StarDotStarTakesANameWithoutADot", "README", "*.*", true},
                             MaskRow{"StarDotStarTakesANameWithTwoDots", "a.b.c", "*.*", true},
                             MaskRow{"StarDotStarTakesANameStartingWithADot", ".profile", "*.*", true},
                             // Plain stars and question marks.
                             MaskRow{"StarTakesAnyName", "setup.bin", "*", true},
                             MaskRow{"StarExtensionTakesThatExtension", "setup.bin", "*.bin", true},
                             MaskRow{"StarExtensionRefusesAnotherExtension", "setup.bin", "*.ins", false},
                             MaskRow{"QuestionMarksTakeOneCharacterEach", "setup.002", "setup.0??", true},
                             MaskRow{"QuestionMarkRefusesAMissingCharacter", "setup.02", "setup.0??", false},
                             MaskRow{"TrailingQuestionMarkTakesOneCharacter", "ab", "a?", true},
                             MaskRow{"TrailingQuestionMarkRefusesNoCharacter", "a", "a?", false},
                             MaskRow{"InnerStarTakesCharacters", "abc", "a*c", true},
                             MaskRow{"InnerStarTakesUpToTheLastMatch", "abcbc", "a*bc", true},
                             MaskRow{"InnerStarRefusesAnotherEnding", "abcbd", "a*bc", false},
                             MaskRow{"StarTakesAnEmptyName", "", "*", true},
                             MaskRow{"EmptyMaskRefusesAName", "x", "", false},
                             // Letter case does not count.
                             MaskRow{"LetterCaseOfTheNameIgnored", "SETUP.BIN", "setup.bin", true},
                             MaskRow{"LetterCaseOfTheMaskIgnored", "Setup.Bin", "*.BIN", true},
                             // A mask ending in ".*" also takes the name without extension; one
                             // ending in "." only names without a dot.
                             MaskRow{"DotStarTakesTheNameWithoutExtension", "setup", "setup.*", true},
                             MaskRow{"DotStarRefusesALongerStem", "setups", "setup.*", false},
                             MaskRow{"TrailingDotTakesANameWithoutADot", "README", "*.", true},
                             MaskRow{"TrailingDotRefusesANameWithADot", "readme.txt", "*.", false},
                             MaskRow{"QuestionMarksBeforeATrailingDotTakeANameWithoutADot", "data", "d?t?.", true}),
                         ByRowName());

}  // namespace
