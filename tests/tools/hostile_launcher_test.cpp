// The launcher started as root with another user's environment (su and
// sudo -E keep XDG_RUNTIME_DIR, TMPDIR and HOME): it makes its private
// folder only where that user cannot reach, and reads a one-file installer
// only through the file it checked. Through the real launcher and a stand-in
// program that says where it was started. Needs root; skipped otherwise.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "medium/installer_file.h"
#include "tests/tools/tool_test_util.h"
#include "tools/medium.h"

namespace fs = std::filesystem;
using namespace tooltest;

namespace {

#if defined(SETUP_LAUNCHER) && defined(LAUNCHER_PROBE)

constexpr uid_t kOtherUser = 65534;

std::string valueOf(const std::string& out, const std::string& key) {
  const size_t at = out.find(key + "=");
  if (at == std::string::npos) return {};
  const size_t start = at + key.size() + 1;
  return out.substr(start, out.find('\n', start) - start);
}

std::string hexAt(const std::string& bytes, size_t offset) {
  std::string hex;
  char two[3];
  for (size_t i = 0; i < 16; ++i) {
    std::snprintf(two, sizeof two, "%02x", static_cast<unsigned char>(bytes[offset + i]));
    hex += two;
  }
  return hex;
}

// A one-file installer in TMP/out/setup.run of one small file, whose program
// is the probe.
std::string probeInstaller(TempDir& tmp) {
  chmod(tmp.path().c_str(), 0755);
  writeFile(tmp.file("src/a.txt"), "alpha");
  fs::create_directories(tmp.file("probe"));
  fs::create_directories(tmp.file("out"));
  fs::copy_file(LAUNCHER_PROBE, tmp.file("probe/setup"));  // a medium's program is named setup
  setupkit::MediumOptions options;
  options.singleFile = tmp.file("out/setup.run");
  options.title = options.app = "T";
  options.destDir = "C:\\D";
  options.program = tmp.file("probe/setup");
  options.launcher = SETUP_LAUNCHER;
  options.pack.sources = {tmp.file("src")};
  setupkit::makeMedium(options, "");
  return options.singleFile;
}

struct LauncherRow {
  const char* name;
  bool asOtherUser;
  const char* environment;  // FOLDERS stands for the other user's folders
  const char* startsBelow;  // the private folder's base: "RUN" (the user's), or a host path
};

const LauncherRow kRows[] = {
    // su keeps the user's runtime folder, TMPDIR and HOME: root goes to /tmp.
    {"RootPassesOverAnotherUsersFolders", false, "XDG_RUNTIME_DIR=FOLDERS/run TMPDIR=FOLDERS/tmp HOME=FOLDERS/home",
     "/tmp"},
    // A runtime folder of root's own that others may write is no better.
    {"RootPassesOverAFolderOthersCanWrite", false, "XDG_RUNTIME_DIR=FOLDERS/shared TMPDIR=FOLDERS/shared", "/tmp"},
    // The user's own runtime folder is the user's first choice.
    {"AUserUsesTheirOwnRuntimeFolder", true, "XDG_RUNTIME_DIR=FOLDERS/run", "RUN"},
};

void PrintTo(const LauncherRow& row, std::ostream* os) { *os << row.name; }

class HostileLauncher : public ::testing::TestWithParam<LauncherRow> {};

TEST_P(HostileLauncher, PrivateFolderOnlyWhereNobodyElseReaches) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  const LauncherRow& row = GetParam();
  TempDir tmp;
  const std::string setupRun = probeInstaller(tmp);
  chmod(tmp.file("out").c_str(), 0777);  // a folder others can write
  chmod(setupRun.c_str(), 0755);
  const std::string original = readFile(setupRun);
  const int64_t archiveOffset = installer::readLayout(setupRun).parts.archiveOffset();

  // The other user's folders: a runtime folder, a TMPDIR, a home whose
  // .cache is a link; and root's folder that everyone may write.
  const std::string folders = tmp.file("user");
  for (const char* dir : {"run", "tmp", "home", "elsewhere"}) {
    fs::create_directories(folders + "/" + dir);
    ASSERT_EQ(chown((folders + "/" + dir).c_str(), kOtherUser, kOtherUser), 0);
    chmod((folders + "/" + dir).c_str(), 0700);
  }
  chown(folders.c_str(), kOtherUser, kOtherUser);
  fs::create_directory_symlink(folders + "/elsewhere", folders + "/home/.cache");
  fs::create_directories(folders + "/shared");
  chmod((folders + "/shared").c_str(), 0777);

  const std::string environment = replaceAll(row.environment, "FOLDERS", folders);
  const std::string user = row.asOtherUser ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
  const std::string command = "cd / && env -u XDG_RUNTIME_DIR -u TMPDIR -u XDG_CACHE_HOME " + environment +
                              " PROBE_REPLACE=" + setupRun + " " + user + setupRun + " > " + tmp.file("probe.txt") +
                              " 2> " + tmp.file("err.txt") + " < /dev/null";
  const int raw = std::system(command.c_str());
  EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 0) << readFile(tmp.file("err.txt"));
  const std::string out = readFile(tmp.file("probe.txt"));
  const std::string base = row.startsBelow == std::string("RUN") ? folders + "/run" : row.startsBelow;
  EXPECT_EQ(fs::path(valueOf(out, "folder")).parent_path(), fs::path(base)) << out;
  // The installer was replaced under its name after the check; the archive
  // still comes from the file that was checked.
  EXPECT_EQ(valueOf(out, "archive"), hexAt(original, size_t(archiveOffset))) << out;
  // Nothing was made in the other user's folders.
  for (const char* dir : {"run", "tmp", "elsewhere", "shared"}) {
    if (row.asOtherUser && dir == std::string("run")) continue;
    EXPECT_EQ(fs::directory_iterator(folders + "/" + dir), fs::directory_iterator()) << dir;
  }
  // The stand-in does not remove its folder as the program does; another
  // test's launcher may meanwhile have removed it as stale (its lock is free).
  const std::string folder = valueOf(out, "folder");
  std::error_code ignored;
  if (folder.find("/setup-run-") != std::string::npos) fs::remove_all(folder, ignored);
}

// An installer another user owns (and so can change in place, whatever its
// mode says) is read by root only from a copy made before the check: its
// owner's writes once the launcher has handed over to the program change
// nothing that is read.
TEST(HostileLauncherCopy, AnInstallerAnotherUserCanChangeIsReadFromRootsCopy) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  TempDir tmp;
  const std::string setupRun = probeInstaller(tmp);
  ASSERT_EQ(chown(setupRun.c_str(), kOtherUser, kOtherUser), 0);
  chmod(setupRun.c_str(), 0755);
  const std::string original = readFile(setupRun);
  const int64_t archiveOffset = installer::readLayout(setupRun).parts.archiveOffset();

  const std::string command = "cd / && PROBE_OVERWRITE=" + setupRun + " " + setupRun + " > " + tmp.file("probe.txt") +
                              " 2> " + tmp.file("err.txt") + " < /dev/null";
  const int raw = std::system(command.c_str());
  EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 0) << readFile(tmp.file("err.txt"));
  const std::string out = readFile(tmp.file("probe.txt"));
  EXPECT_EQ(valueOf(out, "overwritten"), "1") << out;  // the owner's write went through
  EXPECT_EQ(valueOf(out, "archive"), hexAt(original, size_t(archiveOffset))) << out;
  const std::string folder = valueOf(out, "folder");
  std::error_code ignored;
  if (folder.find("/setup-run-") != std::string::npos) fs::remove_all(folder, ignored);
}

INSTANTIATE_TEST_SUITE_P(Rows, HostileLauncher, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

#endif

}  // namespace
