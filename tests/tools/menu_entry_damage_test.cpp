// A medium whose menu entry would run a file the installation does not
// install, or files it under categories no menu has, is damaged: refused
// before anything is written (setupkit medium never makes one; an edited
// SETUP.INS does).
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/temp_dir.h"
#include "tests/tools/tool_test_util.h"

using namespace tooltest;
namespace fs = std::filesystem;

namespace {

TEST(MenuEntryDamage, AnEntryTheInstallationCannotBackIsRefusedBeforeWriting) {
  struct Row {
    const char* name;
    const char* from;
    const char* to;
    int status;
  };
  const Row rows[] = {
      {"the entry as made installs", "", "", 0},
      {"Exec naming no installed file is damage", "Exec=bin/app", "Exec=bin/other", 2},
      {"an unregistered category is damage", "Categories=Office", "Categories=Nonsense", 2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TempDir tmp;
    writeFile(tmp.file("payload/bin/app"), "#!/bin/sh\necho app\n");
    const RunResult made = runSetupkit(
        "medium -o medium --runtime system --title T --app T --dest /opt/t --menu-name T --menu-exec bin/app "
        "--menu-categories Office payload",
        tmp.path(), tmp.path());
    ASSERT_EQ(made.status, 0) << made.err;
    const std::string ins = readFile(tmp.file("medium/SETUP.INS"));
    ASSERT_NE(ins.find("Exec=bin/app"), std::string::npos) << ins;
    if (*row.from) writeFile(tmp.file("medium/SETUP.INS"), replaceAll(ins, row.from, row.to));
    const RunResult installed = runSetupkit("restore --record medium/SETUP.BIN dest", tmp.path(), tmp.path());
    EXPECT_EQ(installed.status, row.status) << installed.err;
    EXPECT_EQ(fs::exists(tmp.file("dest/bin/app")), row.status == 0);
    if (row.status == 0) runSetupkit("uninstall --unattended dest", tmp.path(), tmp.path());
  }
}

}  // namespace
