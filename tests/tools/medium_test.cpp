// medium: SETUP.BIN with its volumes, SETUP.INS and the setup program.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/expect_message.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/tool_test_util.h"
#include "tools/medium.h"
#include "common/tool_error.h"

namespace fs = std::filesystem;
using namespace tooltest;

namespace {

struct IniRow {
  const char* name;
  std::string value;
  std::string written;  // what follows "Title="
};

class SetupConfiguration : public ::testing::TestWithParam<IniRow> {};

// Rows print as their names (after the test name, and in ctest -N).
void PrintTo(const IniRow& row, std::ostream* os) { *os << row.name; }

// Reading back trims blanks and removes one pair of quotes: the written form
// must survive that unchanged.
TEST_P(SetupConfiguration, ValueSurvivesReading) {
  std::string text = setupkit::setupConfigurationText(GetParam().value, "App", "C:\\Dest");
  EXPECT_EQ(text, "[Setup]\nTitle=" + GetParam().written + "\nApp=App\nDestDir=C:\\Dest\n");
}

INSTANTIATE_TEST_SUITE_P(Rows, SetupConfiguration,
                         ::testing::Values(IniRow{"Plain", "My Product 2.0", "My Product 2.0"},
                                           IniRow{"Empty", "", ""},
                                           IniRow{"LeadingBlank", " indented", "\" indented\""},
                                           IniRow{"TrailingTab", "tab\t", "\"tab\t\""},
                                           IniRow{"Quoted", "\"quoted\"", "\"\"quoted\"\""},
                                           IniRow{"SingleQuoted", "'x'", "\"'x'\""},
                                           IniRow{"InnerQuote", "say \"hi\" now", "say \"hi\" now"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SetupConfigurationLimits, RefusesWhatAnIniLineCannotCarry) {
  EXPECT_THROW_MESSAGE(setupkit::setupConfigurationText("a\nb", "A", "D"), setupkit::ToolError,
                       "The Title value cannot hold a line break");
  EXPECT_THROW_MESSAGE(setupkit::setupConfigurationText("T", "A", std::string(2048, 'd')), setupkit::ToolError,
                       "The DestDir value is longer than 2047 characters");
  EXPECT_NO_THROW(setupkit::setupConfigurationText("T", std::string(2047, 'a'), "D"));
}

TEST(Medium, WritesArchiveVolumesConfigurationAndProgram) {
  TempDir tmp;
  for (int i = 0; i < 20; ++i) writeFile(tmp.file("src/f" + std::to_string(i)), makeContent(1500, false, uint32_t(i)));
  writeFile(tmp.file("build/app/setup"), "#!/bin/sh\n");
  fs::permissions(tmp.file("build/app/setup"), fs::perms::owner_all);

  setupkit::MediumOptions options;
  options.directory = tmp.file("medium");
  options.title = "Demo";
  options.app = "Demo App";
  options.destDir = "C:\\Demo";
  options.pack.sources = {tmp.file("src")};
  options.pack.volumeSize = 12000;
  auto result = setupkit::makeMedium(options, tmp.file("build/tools/setupkit"));

  ASSERT_GE(result.pack.volumes.size(), 2u);
  EXPECT_EQ(result.pack.volumes[0], tmp.file("medium/SETUP.BIN"));
  EXPECT_EQ(result.pack.volumes[1], tmp.file("medium/SETUP.002"));
  EXPECT_EQ(readFile(tmp.file("medium/SETUP.INS")), "[Setup]\nTitle=Demo\nApp=Demo App\nDestDir=C:\\Demo\nUserDestDir=~/Demo\n");
  EXPECT_EQ(result.program, tmp.file("medium/setup"));
  EXPECT_EQ(readFile(tmp.file("medium/setup")), "#!/bin/sh\n");
  EXPECT_NE(fs::status(tmp.file("medium/setup")).permissions() & fs::perms::owner_exec, fs::perms::none);
  EXPECT_EQ(restoreTree(tmp.path(), tmp.file("medium/SETUP.BIN"), tmp.file("restored")), 0);
}

TEST(Medium, ProgramOptionOverridesAndMustExist) {
  TempDir tmp;
  writeFile(tmp.file("src/a.txt"), "a");
  writeFile(tmp.file("other/setup"), "other");
  writeFile(tmp.file("build/app/setup"), "built");
  setupkit::MediumOptions options;
  options.directory = tmp.file("medium");
  options.pack.sources = {tmp.file("src")};
  options.program = tmp.file("other/setup");
  setupkit::makeMedium(options, tmp.file("build/tools/setupkit"));
  EXPECT_EQ(readFile(tmp.file("medium/setup")), "other");

  options.directory = tmp.file("medium2");
  options.program = tmp.file("nowhere/setup");
  EXPECT_THROW_MESSAGE(setupkit::makeMedium(options, tmp.file("build/tools/setupkit")), setupkit::ToolError,
                       "Program not found: " + tmp.file("nowhere/setup"));
  EXPECT_FALSE(fs::exists(tmp.file("medium2")));
}

TEST(Medium, WithoutABuiltProgramTheMediumHasNone) {
  TempDir tmp;
  writeFile(tmp.file("src/a.txt"), "a");
  setupkit::MediumOptions options;
  options.directory = tmp.file("medium");
  options.pack.sources = {tmp.file("src")};
  auto result = setupkit::makeMedium(options, tmp.file("build/tools/setupkit"));
  EXPECT_EQ(result.program, "");
  EXPECT_TRUE(fs::exists(tmp.file("medium/SETUP.BIN")));
  EXPECT_TRUE(fs::exists(tmp.file("medium/SETUP.INS")));
}

}  // namespace
