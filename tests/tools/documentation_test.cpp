// The manual page and the bash completion against the help texts of the
// real binary: every option a command's --help names is documented and
// completed, and nothing else is.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <set>

#include "tests/support/temp_dir.h"
#include "tests/tools/tool_test_util.h"

using namespace tooltest;

namespace {

const std::string kManPage = SETUPKIT_SOURCE_DIR "/tools/share/setupkit.1";
const std::string kCompletion = SETUPKIT_SOURCE_DIR "/tools/share/setupkit.bash";

// Every option word in a text: "--name" and "-x".
std::set<std::string> optionsIn(const std::string& text) {
  static const std::regex option(R"((^|[\s\[,(])(--[a-z][a-z-]*|-[a-z])\b)");
  std::set<std::string> found;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), option); it != std::sregex_iterator(); ++it)
    found.insert((*it)[2].str());
  return found;
}

// The manual page as plain text: fonts dropped, escaped hyphens and
// backslashes resolved, macro names removed, lines joined by blanks.
std::string plainManText(const std::string& roff) {
  std::string text = std::regex_replace(roff, std::regex(R"(\\f[BIRP])"), "");
  text = std::regex_replace(text, std::regex(R"(\\-)"), "-");
  text = std::regex_replace(text, std::regex(R"(\\e\\&|\\e)"), "\\");
  text = std::regex_replace(text, std::regex(R"(\\&)"), "");
  text = std::regex_replace(text, std::regex(R"((^|\n)\.[A-Z]+ ?)"), "$1");
  return std::regex_replace(text, std::regex(R"(\s+)"), " ");
}

// The part of the manual page about one command: from ".SS NAME" to the
// next section or subsection.
std::string manSection(const std::string& roff, const std::string& command) {
  size_t start = roff.find("\n.SS " + command + "\n");
  if (start == std::string::npos) return {};
  size_t end = roff.find("\n.S", start + 1);
  return roff.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// The options the completion offers after a command: its `CMD) opts="..."` line.
std::string completionOptions(const std::string& script, const std::string& command) {
  std::smatch m;
  if (!std::regex_search(script, m, std::regex("\\n\\s*" + command + "\\) opts=\"([^\"]*)\""))) return {};
  return m[1].str();
}

class Documentation : public ::testing::TestWithParam<std::string> {};

TEST_P(Documentation, MatchesTheHelpText) {
  const std::string command = GetParam();
  TempDir tmp;
  RunResult help = runSetupkit(command + " --help", tmp.path(), tmp.path());
  ASSERT_EQ(help.status, 0);
  const std::string usage = help.out.substr(0, help.out.find('\n'));
  ASSERT_EQ(usage.compare(0, 7, "Usage: "), 0) << usage;
  const std::set<std::string> helpOptions = optionsIn(help.out);

  const std::string section = manSection(readFile(kManPage), command);
  ASSERT_FALSE(section.empty()) << "no .SS " << command << " in the manual page";
  const std::string plain = plainManText(section);
  EXPECT_NE(plain.find(usage.substr(7)), std::string::npos) << "synopsis \"" << usage.substr(7) << "\" not in\n"
                                                            << plain;
  EXPECT_EQ(optionsIn(plain), helpOptions) << "manual page";

  const std::string completion = completionOptions(readFile(kCompletion), command);
  ASSERT_FALSE(completion.empty()) << "no options for " << command << " in the completion";
  EXPECT_EQ(optionsIn(completion), helpOptions) << "completion";
}

INSTANTIATE_TEST_SUITE_P(Commands, Documentation,
                         ::testing::Values("pack", "medium", "list", "verify", "restore", "uninstall", "installed",
                                           "key"),
                         [](const auto& info) { return info.param; });

TEST(Documentation, CoversEveryCommand) {
  TempDir tmp;
  RunResult help = runSetupkit("--help", tmp.path(), tmp.path());
  std::smatch m;
  const std::string script = readFile(kCompletion);
  ASSERT_TRUE(std::regex_search(script, m, std::regex(R"(local commands="([^"]*)\")")));
  std::istringstream completed(m[1].str());
  size_t commands = 0;
  for (std::string c; completed >> c; ++commands) {
    EXPECT_NE(help.out.find("\n  " + c + " "), std::string::npos) << c << " is not in --help";
    EXPECT_FALSE(manSection(readFile(kManPage), c).empty()) << c << " is not in the manual page";
  }
  EXPECT_EQ(commands, 8u);
}

// The completion sourced into a plain bash, as where the bash-completion
// package is not installed: it completes, and says nothing on standard error.
struct CompletionRow {
  const char* name;
  std::string words;  // the command line so far, the word being completed last
  std::string offered;
};

class CompletionWithoutThePackage : public ::testing::TestWithParam<CompletionRow> {};

// Rows print as their names (after the test name, and in ctest -N).
void PrintTo(const CompletionRow& row, std::ostream* os) { *os << row.name; }

TEST_P(CompletionWithoutThePackage, Offers) {
  TempDir tmp;
  writeFile(tmp.file("SETUP.BIN"), "");
  writeFile(tmp.file("script.sh"),
            ". '" + kCompletion + "'\nCOMP_WORDS=(" + GetParam().words +
                ")\nCOMP_CWORD=$((${#COMP_WORDS[@]} - 1))\n_setupkit\necho \"${COMPREPLY[*]}\"\n");
  const std::string command = "cd '" + tmp.path() + "' && bash --norc --noprofile script.sh > out.txt 2> err.txt";
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(readFile(tmp.file("out.txt")), GetParam().offered + "\n");
  EXPECT_EQ(readFile(tmp.file("err.txt")), "");
}

INSTANTIATE_TEST_SUITE_P(Rows, CompletionWithoutThePackage,
                         ::testing::Values(CompletionRow{"Command", "setupkit re", "restore"},
                                           CompletionRow{"Option", "setupkit pack --lev", "--level"},
                                           CompletionRow{"Value", "setupkit restore --mode existing",
                                                         "existing existing-newer"},
                                           CompletionRow{"File", "setupkit verify SET", "SETUP.BIN"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
