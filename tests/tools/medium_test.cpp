// medium: SETUP.BIN with its volumes, SETUP.INS and the setup program.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/tool_error.h"
#include "tests/support/expect_message.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/tool_test_util.h"
#include "tools/medium.h"

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
                         ::testing::Values(IniRow{"Plain", "My Product 2.0", "My Product 2.0"}, IniRow{"Empty", "", ""},
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
  EXPECT_EQ(readFile(tmp.file("medium/SETUP.INS")),
            "[Setup]\nTitle=Demo\nApp=Demo App\nDestDir=C:\\Demo\nUserDestDir=~/Demo\n");
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

// A menu entry that names what the payload does not hold, an icon the icon
// theme cannot take, categories no menu files it under or a file type that
// is none is refused before anything is written; what a desktop takes is
// accepted.
TEST(Medium, MenuEntryRefusedUnlessTheDesktopCanUseIt) {
  struct Row {
    const char* name;
    std::string options;
    std::string message;  // empty: accepted
  };
  const std::string svg =
      "<?xml version=\"1.0\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"8\" height=\"8\"/>\n";
  const Row rows[] = {
      {"a program and a PNG icon of the tree", "--menu-exec bin/app --menu-icon share/icon48.png", ""},
      {"an SVG icon", "--menu-exec bin/app --menu-icon share/icon.svg", ""},
      {"private and additional categories", "--menu-exec bin/app --menu-categories 'Office;Spreadsheet;X-Demo'", ""},
      {"file types", "--menu-exec bin/app --menu-mime 'application/x-demo=*.dem' --menu-mime 'text/x-demo=*.DEM'", ""},
      {"a program the tree does not hold", "--menu-exec app", "--menu-exec app is no file of the payload"},
      {"the old demo's program", "--menu-exec demo.exe", "--menu-exec demo.exe is no file of the payload"},
      {"an icon the tree does not hold", "--menu-exec bin/app --menu-icon icon.png", "--menu-icon icon.png is no file"},
      {"a BMP icon", "--menu-exec bin/app --menu-icon share/icon.bmp", "is neither a square PNG"},
      {"a PNG of no theme size", "--menu-exec bin/app --menu-icon share/icon40.png", "is neither a square PNG"},
      {"an unregistered category", "--menu-exec bin/app --menu-categories 'Office;Offices'",
       "\"Offices\" is no registered menu category"},
      {"Audio without AudioVideo", "--menu-exec bin/app --menu-categories Audio", "Audio goes with AudioVideo"},
      {"a reserved category", "--menu-exec bin/app --menu-categories 'Utility;TrayIcon'",
       "\"TrayIcon\" is no registered"},
      {"a file type without a pattern", "--menu-exec bin/app --menu-mime application/x-demo",
       "a file type is TYPE=GLOB"},
      {"a file type of no top-level type", "--menu-exec bin/app --menu-mime 'demo/x=*.d'", "a file type is TYPE=GLOB"},
      {"a pattern with a blank", "--menu-exec bin/app --menu-mime 'text/x-demo=*. d'", "a file type's pattern"},
      {"a pattern XML would escape", "--menu-exec bin/app --menu-mime 'text/x-demo=<*.d'", "a file type's pattern"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TempDir tmp;
    writeFile(tmp.file("payload/bin/app"), "#!/bin/sh\n");
    // Only the PNG header is read: its signature and the IHDR chunk's size.
    auto png = [](unsigned size) {
      std::string header("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
      for (int i = 0; i < 2; ++i) header += std::string{0, 0, 0, char(size)};
      return header + std::string(13, '\0');
    };
    writeFile(tmp.file("payload/share/icon48.png"), png(48));
    writeFile(tmp.file("payload/share/icon40.png"), png(40));
    writeFile(tmp.file("payload/share/icon.svg"), svg);
    writeFile(tmp.file("payload/share/icon.bmp"), "BM" + std::string(60, '\0'));
    RunResult r = runSetupkit("medium -o medium --runtime system --title T --app A --dest /opt/a --menu-name A " +
                                  row.options + " payload",
                              tmp.path(), tmp.path());
    if (row.message.empty()) {
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_TRUE(fs::exists(tmp.file("medium/SETUP.INS")));
    } else {
      EXPECT_NE(r.status, 0);
      EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
      EXPECT_FALSE(fs::exists(tmp.file("medium")));
    }
  }
}

}  // namespace
