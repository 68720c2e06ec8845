// A medium's attributes file as a hostile medium could write it: links that
// would leave the destination and damaged lines are refused; what setupkit
// writes reads back unchanged.
#include <gtest/gtest.h>

#include "medium/medium_attributes.h"

namespace {

TEST(MediumAttributes, LinkTargetsThatStayInTheTree) {
  struct Row {
    const char* name;
    const char* target;
    bool allowed;
  };
  const Row rows[] = {
      {"C:\\usr\\bin\\hi", "hello", true},
      {"C:\\usr\\bin\\hi", "../lib/hello", true},
      {"C:\\usr\\bin\\hi", "../../etc/hello", true},        // the tree's root
      {"C:\\usr\\bin\\hi", "../../../etc/passwd", false},   // above it
      {"C:\\hi", "../x", false},
      {"C:\\usr\\bin\\hi", "/etc/passwd", false},
      {"C:\\usr\\bin\\hi", "a/../../../x", false},          // ".." after a name
      {"C:\\usr\\bin\\hi", "a/..", false},
      {"C:\\usr\\bin\\hi", "./hello", false},
      {"C:\\usr\\bin\\hi", "a//b", false},
      {"C:\\usr\\bin\\hi", "", false},
      {"C:\\usr\\bin\\hi", "a\\..\\..\\..\\x", false},
      {"C:\\usr\\bin\\hi", "line\nbreak", false},
  };
  for (const Row& row : rows)
    EXPECT_EQ(medium::linkTargetAllowed(row.name, row.target), row.allowed) << row.name << " -> " << row.target;
}

TEST(MediumAttributes, WrittenTextReadsBackAndDamageIsRefused) {
  medium::Attributes written;
  written.files["C:\\usr\\bin\\hello"] = {0755, 31448, {1, 2, 3}};
  written.files["C:\\a b\\secret"] = {0600, 0, {}};
  written.links.push_back({"C:\\usr\\bin\\hi", "hello"});
  written.folders.push_back("C:\\var\\empty");
  const std::string text = medium::formatAttributes(written);
  medium::Attributes read;
  std::string problem;
  ASSERT_TRUE(medium::parseAttributes(text, read, problem)) << problem;
  EXPECT_EQ(medium::formatAttributes(read), text);
  EXPECT_TRUE(medium::parseAttributes(text + "X\tlater kind\n", read, problem)) << problem;

  const std::string sum(64, 'a');
  const char* const damaged[] = {
      "",
      "SETUP-ATTRIBUTES 2\n",
      "SETUP-ATTRIBUTES 1\nD\tC:\\x",                              // cut short
      "SETUP-ATTRIBUTES 1\nF\t4755\t1\t",                          // set-user-ID
      "SETUP-ATTRIBUTES 1\nF\t0644\t-1\t",                         // no size
      "SETUP-ATTRIBUTES 1\nL\tC:\\hi\t/etc/passwd\n",
      "SETUP-ATTRIBUTES 1\nL\tC:\\a\\hi\t../../x\n",
  };
  for (const char* bad : damaged) {
    std::string t = bad;
    if (t.ends_with("\t")) t += sum + "\tC:\\f\n";
    EXPECT_FALSE(medium::parseAttributes(t, read, problem)) << t;
  }
  const std::string twice = "SETUP-ATTRIBUTES 1\nF\t0644\t1\t" + sum + "\tC:\\f\nF\t0644\t1\t" + sum + "\tC:\\f\n";
  EXPECT_FALSE(medium::parseAttributes(twice, read, problem));
}

}  // namespace
