// What the uninstaller removes and what it keeps, starting each time from
// the same recorded installation changed in one way: only what the record
// lists and is still as it was installed goes; folders go once empty and
// only those the installation made; the record and the uninstaller go last,
// then DEST when the installation made it and nothing is left in it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>

#include "common/exit_status.h"
#include "common/file_digest.h"
#include "install/install_record.h"
#include "install/uninstall.h"
#include "tests/support/row_name.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using install_record::FileEntry;

std::string sha256Of(const std::string& text) {
  TSha256 sha;
  sha.update(text.data(), text.size());
  return sha.finishHex();
}


// Points the user's applications folder into the test's directory.
class ScopedDataHome {
 public:
  explicit ScopedDataHome(const std::string& path) {
    if (const char* old = std::getenv("XDG_DATA_HOME")) old_ = old;
    setenv("XDG_DATA_HOME", path.c_str(), 1);
  }
  ~ScopedDataHome() {
    if (old_)
      setenv("XDG_DATA_HOME", old_->c_str(), 1);
    else
      unsetenv("XDG_DATA_HOME");
  }

 private:
  std::optional<std::string> old_;
};

// An installation into tmp/dest as the recorder leaves it, with a menu
// entry in tmp/data/applications (the user's, through XDG_DATA_HOME).
class Installed {
 public:
  TempDir tmp;
  const std::string dest = tmp.file("dest");
  const std::string applications = tmp.file("data/applications");
  static constexpr const char* kEntry = "setup-demo-01234567.desktop";
  ScopedDataHome data{tmp.file("data")};
  install_record::Record record;

  Installed() {
    for (const char* folder : {"bin", "docs", "docs/deep", "var", "var/empty"}) {
      fs::create_directories(dest + "/" + folder);
      record.addFolder(folder);
    }
    file("bin/app", "#!/bin/sh\n");
    file("docs/readme.txt", "read me");
    file("docs/deep/guide.txt", "a guide");
    fs::create_symlink("app", dest + "/bin/run");
    record.addLink({"bin/run", "app"});
    const std::string uninstaller = "the uninstaller";
    writeHostFile(dest + "/uninstall", uninstaller);
    record.uninstaller = FileEntry{"uninstall", uninstaller.size(), sha256Of(uninstaller), "2026-01-01T00:00:00Z"};
    const std::string entry = "[Desktop Entry]\nType=Application\nName=Demo\n";
    writeHostFile(applications + "/" + kEntry, entry);
    record.addMenuEntry({kEntry, "user", entry.size(), sha256Of(entry), ""});
    record.complete = true;
    record.destinationMade = true;
  }

  void file(const std::string& name, const std::string& content) {
    writeHostFile(dest + "/" + name, content);
    record.addFile({name, content.size(), sha256Of(content), "2026-01-01T00:00:00Z"});
  }

  void storeRecord() { writeHostFile(dest + "/" + install_record::kRecordName, install_record::toJson(record)); }
};

struct UninstallRow {
  const char* name;
  std::function<void(Installed&)> change;  // before the record is written
  std::vector<std::string> left;           // below DEST afterwards; empty with destGone
  bool destGone;
  std::string said;  // a JSON event the run must print; empty: none asked for
  bool entryStays = false;
};

class UninstallDecision : public ::testing::TestWithParam<UninstallRow> {};
void PrintTo(const UninstallRow& row, std::ostream* os) { *os << row.name; }

TEST_P(UninstallDecision, KeepsOrRemoves) {
  const UninstallRow& row = GetParam();
  Installed installed;
  installed.tmp.write("outside", "read me");
  if (row.change) row.change(installed);
  installed.storeRecord();

  StringText out, err;
  UninstallConsole console{out, err, nullptr};
  EXPECT_EQ(runUninstall({installed.dest, true, true}, console), setupkit::kExitOk) << out.str() << err.str();
  EXPECT_EQ(fs::exists(installed.dest), !row.destGone) << out.str();
  EXPECT_EQ(entriesBelow(installed.dest), row.left) << out.str();
  EXPECT_EQ(fs::exists(installed.applications + "/" + Installed::kEntry), row.entryStays);
  EXPECT_EQ(installed.tmp.read("outside"), "read me") << "nothing outside DEST is touched";
  if (!row.said.empty()) {
    EXPECT_NE(out.str().find(row.said), std::string::npos) << out.str();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, UninstallDecision,
    ::testing::Values(
        UninstallRow{"RemovesAnUnchangedInstallationAndTheDestItMade",
                     nullptr,
                     {},
                     true,
                     R"({"event":"removed","kind":"folder","name":"var/empty"})"},
        UninstallRow{
            "KeepsAndNamesAChangedFile",
            [](Installed& i) { writeHostFile(i.dest + "/docs/readme.txt", "changed"); },
            {"docs/", "docs/readme.txt"},
            false,
            R"({"event":"kept","kind":"file","name":"docs/readme.txt","reason":"changed since it was installed"})"},
        UninstallRow{"KeepsAFileOfTheSameSizeWithOtherBytes",
                     [](Installed& i) { writeHostFile(i.dest + "/docs/readme.txt", "READ ME"); },
                     {"docs/", "docs/readme.txt"},
                     false,
                     R"("kind":"file","name":"docs/readme.txt")"},
        UninstallRow{
            "PassesOverAFileAlreadyGone", [](Installed& i) { fs::remove(i.dest + "/docs/readme.txt"); }, {}, true, ""},
        UninstallRow{"KeepsAFileReplacedByALinkAndLeavesItsTarget",
                     [](Installed& i) {
                       fs::remove(i.dest + "/docs/readme.txt");
                       fs::create_symlink(i.tmp.file("outside"), i.dest + "/docs/readme.txt");
                     },
                     {"docs/", "docs/readme.txt"},
                     false,
                     R"("event":"kept","kind":"file","name":"docs/readme.txt")"},
        UninstallRow{"KeepsALinkThatPointsElsewhere",
                     [](Installed& i) {
                       fs::remove(i.dest + "/bin/run");
                       fs::create_symlink("other", i.dest + "/bin/run");
                     },
                     {"bin/", "bin/run"},
                     false,
                     R"("event":"kept","kind":"link","name":"bin/run")"},
        UninstallRow{"KeepsAFolderHoldingAFileOfTheUsers",
                     [](Installed& i) { writeHostFile(i.dest + "/docs/deep/mine.txt", "mine"); },
                     {"docs/", "docs/deep/", "docs/deep/mine.txt"},
                     false,
                     R"({"event":"kept","kind":"folder","name":"docs/deep","reason":"it holds files of its own"})"},
        UninstallRow{"LeavesAnEmptyFolderTheInstallationDidNotMake",
                     [](Installed& i) { fs::create_directories(i.dest + "/cache"); },
                     {"cache/"},
                     false,
                     ""},
        UninstallRow{"KeepsAMenuEntryChangedSinceItWasWritten",
                     [](Installed& i) {
                       writeHostFile(i.applications + "/" + Installed::kEntry, "[Desktop Entry]\nName=Mine\n");
                     },
                     {},
                     true,
                     R"({"event":"kept","kind":"menu entry")",
                     true},
        UninstallRow{"KeepsAChangedUninstaller",
                     [](Installed& i) { writeHostFile(i.dest + "/uninstall", "mine"); },
                     {"uninstall"},
                     false,
                     R"("event":"kept","kind":"file","name":"uninstall")"},
        UninstallRow{
            "KeepsTheDestItDidNotMake", [](Installed& i) { i.record.destinationMade = false; }, {}, false, ""}),
    ByRowName());

// The record and the uninstaller go after everything else, and DEST after
// them: a run cut short leaves a record of what is left.
TEST(UninstallOrder, FilesLinksFoldersDeepestFirstMenuThenUninstallerThenDest) {
  Installed installed;
  installed.storeRecord();
  StringText out, err;
  UninstallConsole console{out, err, nullptr};
  ASSERT_EQ(runUninstall({installed.dest, true, true}, console), setupkit::kExitOk) << err.str();
  std::vector<std::string> events;
  std::istringstream lines(out.str());
  for (std::string line; std::getline(lines, line);) {
    const size_t name = line.find("\"name\":\"");
    if (name != std::string::npos) events.push_back(line.substr(name + 8, line.find('"', name + 8) - name - 8));
  }
  EXPECT_EQ(events, (std::vector<std::string>{"bin/app", "docs/readme.txt", "docs/deep/guide.txt", "bin/run",
                                              "var/empty", "docs/deep", "var", "docs", "bin", Installed::kEntry,
                                              "uninstall", installed.dest}))
      << out.str();
  EXPECT_NE(out.str().find(R"({"event":"done","status":0,"removed":12,"kept":0,"failed":0)"), std::string::npos);
}

// Nothing is removed unless the person agreed or the run is unattended.
TEST(UninstallConsent, RemovesOnlyOnYes) {
  const std::pair<const char*, int> answers[] = {{nullptr, setupkit::kExitRefused},
                                                 {"n\n", setupkit::kExitCancelled},
                                                 {"", setupkit::kExitCancelled},
                                                 {"y\n", setupkit::kExitOk}};  // null: nobody to ask
  for (const auto& [answer, status] : answers) {
    Installed installed;
    installed.storeRecord();
    StringInput in(answer ? answer : "");
    StringText out, err;
    UninstallConsole console{out, err, answer ? &in : nullptr};
    EXPECT_EQ(runUninstall({installed.dest, false, false}, console), status) << (answer ? answer : "nobody");
    EXPECT_EQ(fs::exists(installed.dest + "/docs/readme.txt"), status != setupkit::kExitOk);
  }
}

}  // namespace
