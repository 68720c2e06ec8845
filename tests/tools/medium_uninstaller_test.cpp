// The uninstaller an installation places comes from a signed file of the
// medium, by its exact name and never through a link: a file added beside a
// copy of a signed medium, or put in the uninstaller's place, never becomes
// DEST/uninstall.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/temp_dir.h"
#include "tests/tools/tool_test_util.h"

using namespace tooltest;
namespace fs = std::filesystem;

namespace {

TEST(MediumUninstaller, OnlyTheSignedUninstallerIsPlaced) {
  struct Row {
    const char* name;
    void (*spoil)(const std::string& medium);
    bool placed;  // the medium's own uninstaller lands in DEST
  };
  const Row rows[] = {
      {"the signed uninstaller is placed", [](const std::string&) {}, true},
      {"another letter case beside a medium without one is never placed",
       [](const std::string& m) {
         fs::remove(m + "/uninstall");
         writeFile(m + "/UNINSTALL", "#!/bin/sh\necho planted\n");
       },
       false},
      {"a changed uninstaller is not placed",
       [](const std::string& m) { writeFile(m + "/uninstall", "#!/bin/sh\necho planted\n"); }, false},
      {"a link in the uninstaller's place is not followed",
       [](const std::string& m) {
         fs::remove(m + "/uninstall");
         fs::create_symlink("/etc/passwd", m + "/uninstall");
       },
       false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TempDir tmp;
    writeFile(tmp.file("payload/readme.txt"), "read me");
    ASSERT_EQ(runSetupkit("key new --no-password --public k.pub --secret k.key", tmp.path(), tmp.path()).status, 0);
    const RunResult made =
        runSetupkit("medium -o medium --runtime system --sign k.key --title T --app T --dest /opt/t payload",
                    tmp.path(), tmp.path());
    ASSERT_EQ(made.status, 0) << made.err;
    const std::string ours = readFile(tmp.file("medium/uninstall"));
    row.spoil(tmp.file("medium"));
    const RunResult installed = runSetupkit("restore --record medium/SETUP.BIN dest", tmp.path(), tmp.path());
    EXPECT_EQ(installed.status, 0) << installed.err;
    const std::string placed = fs::exists(tmp.file("dest/uninstall")) ? readFile(tmp.file("dest/uninstall")) : "";
    EXPECT_EQ(placed == ours, row.placed);
    // Never the planted program nor what a link pointed at (setupkit places
    // its own uninstaller when the medium has none it may take).
    EXPECT_NE(placed, "#!/bin/sh\necho planted\n");
    EXPECT_NE(placed, readFile("/etc/passwd")) << "a link's target was copied into DEST";
  }
}

// A publisher's file at the uninstaller's or the record's name (any letter
// case) would replace what the installation keeps for its removal: damage,
// refused before anything is written.
TEST(MediumUninstaller, APayloadFileAtTheUninstallersNameIsRefusedBeforeWriting) {
  for (const char* name : {"UNINSTALL", "uninstall", ".Install-Record.json"}) {
    SCOPED_TRACE(name);
    TempDir tmp;
    writeFile(tmp.file("payload/a.txt"), "a");
    writeFile(tmp.file("payload/") + name, "#!/bin/sh\necho planted\n");
    const RunResult made = runSetupkit("medium -o medium --runtime system --title T --app T --dest /opt/t payload",
                                       tmp.path(), tmp.path());
    ASSERT_EQ(made.status, 0) << made.err;
    const RunResult installed = runSetupkit("restore --record medium/SETUP.BIN dest", tmp.path(), tmp.path());
    EXPECT_EQ(installed.status, 2) << installed.err;
    EXPECT_NE(installed.err.find("would replace the installation's own"), std::string::npos) << installed.err;
    EXPECT_FALSE(fs::exists(tmp.file("dest/a.txt")));
  }
}

}  // namespace
