// Versions, the list of installations and verify, through the real
// programs: `setupkit medium --app-version`, `restore --record` (the same
// install routine as the wizard and the launcher), `installed --json`,
// `verify DEST` and `DEST/uninstall --verify`, and the launcher's unattended
// install without --dest.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/temp_dir.h"
#include "tests/tools/tool_test_util.h"

using namespace tooltest;
namespace fs = std::filesystem;

namespace {

// The line of `installed --json` whose destination is `dest`; empty when none.
std::string installedLine(const std::string& json, const std::string& dest) {
  const std::string key = "\"destination\":\"" + dest + "\"";
  size_t at = json.find(key);
  if (at == std::string::npos) return {};
  const size_t start = json.rfind('\n', at);
  return json.substr(start == std::string::npos ? 0 : start + 1, json.find('\n', at) - (start + 1));
}

// One product in two versions (1.9 and 1.10: 1.10 is the newer), made once;
// every installation it makes is removed at the end, records too.
class Versions : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    tmp_ = new TempDir();
    chmod(tmp_->path().c_str(), 0755);
    fs::create_directories(tmp_->file("scratch"));
    // A name of this run alone: root's store holds other tests' records.
    app_ = "Versions " + std::to_string(getpid());
    for (const char* version : {"1.9", "1.10"}) {
      writeFile(tmp_->file(std::string("payload-") + version + "/readme.txt"), std::string("version ") + version);
      writeFile(tmp_->file(std::string("payload-") + version + "/bin/run"), "#!/bin/sh\necho run\n");
      chmod(tmp_->file(std::string("payload-") + version + "/bin/run").c_str(), 0755);
      const RunResult made = run(std::string("medium -o v") + version + " --runtime system --title 'Versions " +
                                 version + "' --app '" + app_ + "' --app-version " + version +
                                 " --publisher 'Acme Ltd' --dest " + tmp_->file("medium-dest") + " payload-" + version);
      ASSERT_EQ(made.status, 0) << made.err;
    }
  }
  static void TearDownTestSuite() {
    for (const char* dest : {"dest", "verified", "medium-dest", "chosen"})
      if (fs::exists(tmp_->file(dest))) run(std::string("uninstall --unattended ") + dest);
    delete tmp_;
    tmp_ = nullptr;
  }
  static RunResult run(const std::string& arguments) {
    return runSetupkit(arguments, tmp_->path(), tmp_->file("scratch"));
  }
  inline static TempDir* tmp_ = nullptr;
  inline static std::string app_;
};

TEST_F(Versions, EachInstallationRecordsItsVersionAndAnOlderOneIsRefusedUnlessAllowed) {
  struct Row {
    const char* name;
    const char* medium;
    const char* options;
    int status;
    const char* listed;  // the version `installed --json` shows afterwards
  };
  const Row rows[] = {
      {"version 1.9 installs and is listed", "v1.9", "", 0, "1.9"},
      {"1.10 is newer than 1.9 and updates it", "v1.10", "", 0, "1.10"},
      {"the same version again installs", "v1.10", "", 0, "1.10"},
      {"1.9 over 1.10 is refused, nothing written", "v1.9", "", 5, "1.10"},
      {"1.9 over 1.10 with --allow-downgrade installs", "v1.9", " --allow-downgrade", 0, "1.9"},
  };
  const std::string dest = tmp_->file("dest");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const RunResult r = run(std::string("restore --record") + row.options + " " + row.medium + "/SETUP.BIN dest");
    EXPECT_EQ(r.status, row.status) << r.err;
    if (row.status == 5) {
      EXPECT_NE(r.err.find("--allow-downgrade"), std::string::npos) << r.err;
      EXPECT_NE(r.err.find("1.10"), std::string::npos) << r.err;
    }
    const RunResult listed = run("installed --json");
    ASSERT_EQ(listed.status, 0) << listed.err;
    const std::string line = installedLine(listed.out, dest);
    ASSERT_FALSE(line.empty()) << listed.out;
    EXPECT_NE(line.find("\"version\":\"" + std::string(row.listed) + "\""), std::string::npos) << line;
    EXPECT_NE(line.find("\"application\":\"" + app_ + "\""), std::string::npos) << line;
    EXPECT_NE(line.find("\"state\":\"complete\""), std::string::npos) << line;
    EXPECT_NE(line.find("\"publisher\":\"Acme Ltd\""), std::string::npos) << line;
    EXPECT_EQ(readFile(dest + "/readme.txt"), std::string("version ") + row.listed);
  }
}

TEST_F(Versions, VerifyNamesWhatIsMissingChangedOrOfAnotherMode) {
  struct Row {
    const char* name;
    const char* spoil;  // a shell command run in the installed folder
    int status;
    const char* named;  // what the report says, empty for none
  };
  const Row rows[] = {
      {"a whole tree is as installed", "true", 0, "as installed"},
      {"a removed file is named missing", "rm readme.txt", 2, "missing file: readme.txt"},
      {"a file of another content and the same size is named changed", "printf 'version X.Y' > readme.txt", 2,
       "changed file: readme.txt"},
      {"a file of another size is named changed", "echo more >> bin/run", 2, "changed file: bin/run"},
      {"another mode is named", "chmod 0700 bin/run", 2,
       "mode changed file: bin/run (its mode is 0700, recorded 0755)"},
      {"a file replaced by a link is named, the link not followed", "rm readme.txt && ln -s /etc/passwd readme.txt", 2,
       "changed file: readme.txt (it was replaced by a symbolic link)"},
  };
  const std::string dest = tmp_->file("verified");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_EQ(run("restore --record --allow-downgrade v1.9/SETUP.BIN verified").status, 0);
    ASSERT_EQ(shell("cd " + quoted(dest) + " && " + row.spoil), 0);
    const RunResult r = run("verify verified");
    EXPECT_EQ(r.status, row.status) << r.out << r.err;
    EXPECT_NE(r.out.find(row.named), std::string::npos) << r.out << r.err;
    const RunResult json = run("verify --json verified");
    EXPECT_EQ(json.status, row.status);
    EXPECT_NE(json.out.find("{\"event\":\"done\",\"status\":" + std::to_string(row.status)), std::string::npos)
        << json.out;
    // The placed uninstaller verifies alike, removing nothing.
    if (fs::exists(dest + "/uninstall")) {
      EXPECT_EQ(shell(quoted(dest + "/uninstall") + " --verify > /dev/null 2>&1"), row.status);
      EXPECT_TRUE(fs::exists(dest + "/uninstall"));
    }
    fs::remove(dest + "/readme.txt");
  }
}

TEST_F(Versions, VerifyOfAFolderWithoutAnInstallationSaysNothingIsInstalled) {
  fs::create_directories(tmp_->file("empty"));
  const RunResult r = run("verify empty");
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_NE(r.err.find("Nothing is installed"), std::string::npos) << r.err;
}

// A user's own store: a record whose folder is gone is listed as such, and
// pruned by that user.
TEST_F(Versions, ARecordWhoseFolderIsGoneIsListedAsSuchAndPrunedByItsOwner) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as a second user";
  const std::string home = tmp_->file("home");
  fs::create_directories(home);
  ASSERT_EQ(chown(home.c_str(), 65534, 65534), 0);
  auto asUser = [&](const std::string& arguments, const std::string& out) {
    return shell("cd " + quoted(tmp_->path()) +
                 " && setpriv --reuid=65534 --regid=65534 --clear-groups env -u XDG_STATE_HOME HOME=" + quoted(home) +
                 " " + SETUPKIT_BINARY + " " + arguments + " > " + quoted(out) + " 2>&1");
  };
  const std::string out = tmp_->file("scratch/user.out");
  ASSERT_EQ(asUser("restore --record v1.9/SETUP.BIN home/app", out), 0) << readFile(out);
  ASSERT_EQ(asUser("installed --json", out), 0);
  EXPECT_NE(installedLine(readFile(out), home + "/app").find("\"scope\":\"user\""), std::string::npos) << readFile(out);
  fs::remove_all(home + "/app");
  ASSERT_EQ(asUser("installed --json", out), 0);
  EXPECT_NE(installedLine(readFile(out), home + "/app").find("\"state\":\"gone\""), std::string::npos) << readFile(out);
  ASSERT_EQ(asUser("installed --prune", out), 0) << readFile(out);
  ASSERT_EQ(asUser("installed --json", out), 0);
  EXPECT_TRUE(installedLine(readFile(out), home + "/app").empty()) << readFile(out);
}

#if defined(SETUP_LAUNCHER)

// The unattended install without --dest: into the medium's DestDir the
// first time, then where the newest installation of the product is.
TEST_F(Versions, UnattendedWithoutDestTakesTheEarlierInstallationElseTheMediumsDestination) {
  // Another product than the one the tests above installed.
  for (const char* version : {"1.9", "1.10"}) {
    const RunResult made =
        run(std::string("medium --single-file v") + version + ".run --title T --app '" + app_ +
            " one file' --app-version " + version + " --dest " + tmp_->file("medium-dest") + " payload-" + version);
    ASSERT_EQ(made.status, 0) << made.err;
  }
  struct Row {
    const char* name;
    const char* command;
    int status;
    const char* into;  // the folder that then holds this version's readme
    const char* from;  // destination_from of the start line
    const char* version;
  };
  const Row rows[] = {
      {"nothing installed: the medium's DestDir", "./v1.9.run --unattended", 0, "medium-dest", "medium", "1.9"},
      {"with --dest: there", "./v1.9.run --unattended --dest chosen", 0, "chosen", "option", "1.9"},
      {"without: the newest installation, chosen", "./v1.10.run --unattended", 0, "chosen", "installation", "1.10"},
      {"an older version there is refused", "./v1.9.run --unattended", 5, "chosen", "installation", "1.10"},
      {"unless allowed", "./v1.9.run --unattended --allow-downgrade", 0, "chosen", "installation", "1.9"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const int status = shell("cd " + quoted(tmp_->path()) + " && env -u DISPLAY -u WAYLAND_DISPLAY " + row.command +
                             " --json > scratch/out.json 2>scratch/err.txt");
    const std::string json = readFile(tmp_->file("scratch/out.json"));
    EXPECT_EQ(status, row.status) << json << readFile(tmp_->file("scratch/err.txt"));
    EXPECT_NE(json.find("\"destination_from\":\"" + std::string(row.from) + "\""), std::string::npos) << json;
    EXPECT_EQ(readFile(tmp_->file(std::string(row.into) + "/readme.txt")), std::string("version ") + row.version);
    if (row.status == 5) {
      const size_t end = json.rfind("{\"event\":\"end\"");
      ASSERT_NE(end, std::string::npos) << json;
      EXPECT_NE(json.find("\"refusal\":\"downgrade\"", end), std::string::npos) << json;
      EXPECT_NE(json.find("older", end), std::string::npos) << json;
    }
  }
}

#endif

}  // namespace
