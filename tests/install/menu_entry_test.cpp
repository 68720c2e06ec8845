// The desktop entry an installation writes, read back as a menu reads it:
// string values unescaped, Exec split by its quoting rules. Every value
// (and the program's path, whatever the destination's name holds) must come
// back as it was given; settings that cannot make an entry are refused.
#include <sys/wait.h>

#include <cstdlib>
#include <map>
#include <optional>

#include <gtest/gtest.h>

#include "install/menu_entry.h"
#include "tests/support/row_name.h"
#include "tests/support/temp_dir.h"

namespace {

// The keys of an entry as a reader takes them: blanks around "=" skipped,
// then \s, \n, \t, \r and \\ unescaped.
std::map<std::string, std::string> readEntry(const std::string& text) {
  std::map<std::string, std::string> keys;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string line = text.substr(start, end - start);
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string key = line.substr(0, equals);
    while (!key.empty() && key.back() == ' ') key.pop_back();
    size_t from = equals + 1;
    while (from < line.size() && (line[from] == ' ' || line[from] == '\t')) ++from;
    std::string value;
    for (size_t i = from; i < line.size(); ++i) {
      if (line[i] != '\\' || i + 1 == line.size()) {
        value += line[i];
        continue;
      }
      const char c = line[++i];
      value += c == 's' ? ' ' : c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
    }
    keys[key] = value;
  }
  return keys;
}

// The one quoted argument of an unescaped Exec value; none when the quoting
// or a field code is wrong.
std::optional<std::string> execArgument(const std::string& exec) {
  if (exec.size() < 2 || exec.front() != '"' || exec.back() != '"') return std::nullopt;
  std::string argument;
  for (size_t i = 1; i + 1 < exec.size(); ++i) {
    const char c = exec[i];
    if (c == '\\') {
      const char next = exec[++i];
      if (next != '"' && next != '`' && next != '$' && next != '\\') return std::nullopt;
      argument += next;
    } else if (c == '%') {
      if (exec[++i] != '%') return std::nullopt;
      argument += '%';
    } else if (c == '"' || c == '`' || c == '$') {
      return std::nullopt;
    } else {
      argument += c;
    }
  }
  return argument;
}

struct EntryRow {
  const char* name;
  menu_entry::Settings settings;
  std::string dest;
};

class MenuEntryText : public ::testing::TestWithParam<EntryRow> {};
void PrintTo(const EntryRow& row, std::ostream* os) { *os << row.name; }

TEST_P(MenuEntryText, ReadsBackAsGiven) {
  const EntryRow& row = GetParam();
  ASSERT_EQ(menu_entry::problemOf(row.settings), "");
  std::string problem;
  const std::string text = menu_entry::entryText(row.settings, row.dest, problem);
  ASSERT_FALSE(text.empty()) << problem;
  auto keys = readEntry(text);
  EXPECT_EQ(keys["Name"], row.settings.name) << text;
  EXPECT_EQ(keys["Comment"], row.settings.comment) << text;
  EXPECT_EQ(keys["Path"], row.dest) << text;
  std::string exec = row.settings.exec;
  for (char& c : exec)
    if (c == '\\') c = '/';
  EXPECT_EQ(execArgument(keys["Exec"]), row.dest + "/" + exec) << text;
  EXPECT_EQ(keys["Type"], "Application");
}

menu_entry::Settings settings(const char* name, const char* exec, const char* comment = "") {
  menu_entry::Settings s;
  s.name = name;
  s.exec = exec;
  s.comment = comment;
  return s;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, MenuEntryText,
    ::testing::Values(
        EntryRow{"PlainValuesReadBack", settings("Demo", "bin/demo", "Try it"), "/opt/demo"},
        EntryRow{"BackslashesInANameReadBack", settings("A\\B\\\\C", "demo", "x\\ny"), "/opt/demo"},
        EntryRow{"SemicolonsInACommentReadBack", settings("Demo", "demo", "one; two;"), "/opt/demo"},
        EntryRow{"LeadingSpacesOfANameReadBack", settings("  Demo", "demo", " indented"), "/opt/demo"},
        EntryRow{"ExecBackslashSeparatorsBecomeSlashes", settings("Demo", "bin\\demo"), "/opt/demo"},
        EntryRow{"QuotesAndDollarsInTheDestinationStayInExec", settings("Demo", "demo"), "/opt/my \"demo\" $HOME `id`"},
        EntryRow{"BackslashesAndPercentsInTheDestinationStayInExec", settings("Demo", "demo"), "/opt/a\\b 100% %f"},
        EntryRow{"SemicolonsAndBlanksInTheDestinationStayInExec", settings("Demo", "demo"), "/opt/a; b ;c"}),
    ByRowName());

// The entry as the menu's own checker sees it, where it is installed.
TEST(MenuEntryText, AValueFullOfQuotingPassesTheMenuChecker) {
  if (std::system("test -x /usr/bin/desktop-file-validate") != 0) GTEST_SKIP() << "no desktop-file-validate";
  menu_entry::Settings s = settings("Demo \\ \"Office\"", "bin\\demo", "Write; convert");
  s.icon = "images/demo.png";
  s.categories = "Office";
  std::string problem;
  TempDir tmp;
  tmp.write("demo.desktop", menu_entry::entryText(s, "/opt/my \"demo\" $HOME 100%\\x", problem));
  const int status = std::system(("desktop-file-validate " + tmp.file("demo.desktop") + " >&2").c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << tmp.read("demo.desktop");
}

// A destination a desktop entry cannot hold (not UTF-8, a line break) gets none.
TEST(MenuEntryText, ADestinationThatIsNoTextGetsNoEntry) {
  std::string problem;
  EXPECT_EQ(menu_entry::entryText(settings("Demo", "demo"), "/opt/\xE9t\xE9", problem), "");
  EXPECT_EQ(menu_entry::entryText(settings("Demo", "demo"), "/opt/a\nExec=evil", problem), "");
}

struct ProblemRow {
  const char* name;
  menu_entry::Settings settings;
  bool refused;
};

class MenuEntryProblem : public ::testing::TestWithParam<ProblemRow> {};
void PrintTo(const ProblemRow& row, std::ostream* os) { *os << row.name; }

TEST_P(MenuEntryProblem, RefusedOrNot) {
  const ProblemRow& row = GetParam();
  EXPECT_EQ(!menu_entry::problemOf(row.settings).empty(), row.refused) << menu_entry::problemOf(row.settings);
}

menu_entry::Settings withIcon(const char* icon) {
  menu_entry::Settings s = settings("Demo", "demo");
  s.icon = icon;
  return s;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, MenuEntryProblem,
    ::testing::Values(ProblemRow{"AcceptsAProgramInAFolder", settings("Demo", "bin\\demo"), false},
                      ProblemRow{"RefusesNoName", settings("", "demo"), true},
                      ProblemRow{"RefusesNoExec", settings("Demo", ""), true},
                      ProblemRow{"RefusesAnAbsoluteExec", settings("Demo", "/bin/sh"), true},
                      ProblemRow{"RefusesAnExecThatClimbsOut", settings("Demo", "bin\\..\\..\\sh"), true},
                      ProblemRow{"RefusesAnIconThatClimbsOut", withIcon("../icon.png"), true},
                      ProblemRow{"RefusesANewlineInAComment", settings("Demo", "demo", "one\nExec=evil"), true},
                      ProblemRow{"RefusesANameThatIsNotUtf8", settings("D\xE9mo", "demo"), true}),
    ByRowName());

// Two installations of one program into different folders keep their
// entries apart; the same folder gets the same entry again.
TEST(MenuEntryFileName, ApartForEachDestination) {
  const menu_entry::Settings s = settings("Demo Office 2!", "demo");
  EXPECT_EQ(menu_entry::fileName(s, "/opt/one").substr(0, 20), "setup-demo-office-2-");
  EXPECT_EQ(menu_entry::fileName(s, "/opt/one"), menu_entry::fileName(s, "/opt/one"));
  EXPECT_NE(menu_entry::fileName(s, "/opt/two"), menu_entry::fileName(s, "/opt/one"));
}

}  // namespace
