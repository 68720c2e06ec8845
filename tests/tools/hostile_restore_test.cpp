// setupkit restore run as root into a destination that another user controls:
// links planted at a file's name and in its path, set-user-ID files, names
// that climb out or hold terminal controls, a name too deep for the host.
// Nothing may land outside the destination and every name shown is escaped.
// Needs root (to own files as another user); skipped otherwise.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "tests/support/archive_builder.h"
#include "tests/tools/tool_test_util.h"

namespace fs = std::filesystem;
using namespace tooltest;

namespace {

constexpr uid_t kOtherUser = 65534;
constexpr uint32_t kDate = 0x2ACF63C0;  // 15 June 2001 12:30:00

// The scene of one row: a destination owned by the other user, and a folder
// outside it whose files must not change.
struct Scene {
  std::string dest, victim;
  // A link made as the other user would make it.
  void plantLink(const std::string& target, const std::string& at) const {
    fs::create_directories(fs::path(at).parent_path());
    ASSERT_EQ(symlink(target.c_str(), at.c_str()), 0) << at;
    ASSERT_EQ(lchown(at.c_str(), kOtherUser, kOtherUser), 0) << at;
  }
  // The C:\ form of a host path below the root.
  static std::string windows(const std::string& host) { return "C:" + replaceAll(host, "/", "\\"); }
};

mode_t modeOf(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

struct HostileRow {
  const char* name;
  // Stored names with their contents; "DEST" and "VICTIM" stand for the host
  // paths in Windows form (for --stored-paths).
  std::vector<std::pair<std::string, std::string>> entries;
  std::function<void(const Scene&)> plant;
  const char* options;
  int status;
  const char* error;  // a text standard error must hold ("" for none)
  std::function<void(const Scene&, const RunResult&)> check;
  bool asOtherUser = false;  // the restore runs as the other user, not as root
};

void victimUntouched(const Scene& s) {
  EXPECT_EQ(readFile(s.victim + "/passwd"), "root's own");
  EXPECT_EQ(modeOf(s.victim + "/passwd") & 07777, 04755u);
  size_t n = 0;
  for ([[maybe_unused]] auto& e : fs::directory_iterator(s.victim)) ++n;
  EXPECT_EQ(n, 1u) << "something was written outside the destination";
}

const HostileRow kRows[] = {
    {"LinkAtTheNameIsReplacedNotWrittenThrough",
     {{"C:\\tool", "payload"}},
     [](const Scene& s) { s.plantLink(s.victim + "/passwd", s.dest + "/tool"); },
     "--full-path",
     0,
     "",
     [](const Scene& s, const RunResult&) {
       EXPECT_TRUE(S_ISREG(modeOf(s.dest + "/tool")));
       EXPECT_EQ(modeOf(s.dest + "/tool") & 07000, 0u);
       EXPECT_EQ(readFile(s.dest + "/tool"), "payload");
     }},
    {"DanglingLinkAtTheNameIsReplaced",
     {{"C:\\new.txt", "payload"}},
     [](const Scene& s) { s.plantLink(s.victim + "/created-by-link", s.dest + "/new.txt"); },
     "--full-path",
     0,
     "",
     [](const Scene& s, const RunResult&) {
       EXPECT_TRUE(S_ISREG(modeOf(s.dest + "/new.txt")));
       EXPECT_FALSE(fs::exists(s.victim + "/created-by-link"));
     }},
    {"LinkInThePathIsRefused",
     {{"C:\\a\\x.txt", "payload"}},
     [](const Scene& s) { s.plantLink(s.victim, s.dest + "/a"); },
     "--full-path",
     1,
     ": a symbolic link in the path\n",
     nullptr},
    {"LinkFoundByLetterCaseIsRefused",
     {{"C:\\A\\x.txt", "payload"}},
     [](const Scene& s) { s.plantLink(s.victim, s.dest + "/a"); },
     "--full-path",
     1,
     ": a symbolic link in the path\n",
     nullptr},
    {"SetUserIdBitsAreNotKept",
     {{"C:\\suid", "new version"}},
     [](const Scene& s) {
       writeFile(s.dest + "/suid", "old version");
       chmod((s.dest + "/suid").c_str(), 04755);
     },
     "--full-path",
     0,
     "",
     [](const Scene& s, const RunResult&) {
       EXPECT_EQ(readFile(s.dest + "/suid"), "new version");
       EXPECT_EQ(modeOf(s.dest + "/suid") & 07777, 0755u);
     }},
    {"ClimbingNameIsRefusedAndTheAnnouncementIsTrue",
     {{"DEST\\sp\\ok.txt", "fine"}, {"DEST\\sp\\..\\spx\\esc.txt", "escaped"}},
     nullptr,
     "--stored-paths",
     1,
     "the name leaves the destination directory",
     [](const Scene& s, const RunResult& r) {
       EXPECT_NE(r.err.find("below " + s.dest + "/sp\n"), std::string::npos) << r.err;
       EXPECT_EQ(readFile(s.dest + "/sp/ok.txt"), "fine");
       EXPECT_FALSE(fs::exists(s.dest + "/spx"));
     }},
    {"StoredPathsFollowNoLinkOfAnotherUser",
     {{"DEST\\other\\x.txt", "payload"}},
     [](const Scene& s) { s.plantLink(s.victim, s.dest + "/other"); },
     "--stored-paths",
     1,
     ": a symbolic link in the path\n",
     nullptr},
    // Controls, bytes that are not UTF-8 and bidirectional controls show as
    // "?" in every message; the "?" cannot be read as a separator.
    {"NamesAreEscapedInEveryMessage",
     {{std::string("C:\\ok\x1b[2K\r.txt"), "a"},
      {"C:\\bidi\u202etxt.exe", "c"},
      {"C:\\c1\xc2\x9b"
       "2J\x9b.txt",
       "d"},
      {"C:\\x\\\nsetupkit forged", "b"}},
     [](const Scene& s) { s.plantLink(s.victim, s.dest + "/x"); },
     "--full-path -v",
     1,
     "?setupkit forged: a symbolic link in the path\n",
     [](const Scene&, const RunResult& r) {
       EXPECT_NE(r.out.find("ok?[2K?.txt\n"), std::string::npos) << r.out;
       EXPECT_NE(r.out.find("bidi?txt.exe\n"), std::string::npos) << r.out;
       EXPECT_NE(r.out.find("c1?2J?.txt\n"), std::string::npos) << r.out;
       EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
       EXPECT_EQ(r.err.find("\nsetupkit forged"), std::string::npos) << r.err;
     }},
    // The host would end the name at the NUL and write "nul": the archive is
    // damaged, and nothing of that name is written.
    {"NulInAStoredNameIsDamage",
     {{std::string("C:\\nul\0hidden.txt", 17), "n"}},
     nullptr,
     "--full-path",
     2,
     "the name holds a NUL byte",
     [](const Scene& s, const RunResult&) { EXPECT_FALSE(fs::exists(s.dest + "/nul")); }},
    // A file the user may write, in a directory the user may not write: no
    // replacement can be made beside it, so it is rewritten in place.
    {"WritableFileInADirectoryOfRoot",
     {{"C:\\f.txt", "new version"}},
     [](const Scene& s) {
       writeFile(s.dest + "/f.txt", "old version");
       ASSERT_EQ(chown((s.dest + "/f.txt").c_str(), kOtherUser, kOtherUser), 0);
       ASSERT_EQ(chown(s.dest.c_str(), 0, 0), 0);
     },
     "--full-path",
     0,
     "",
     [](const Scene& s, const RunResult&) { EXPECT_EQ(readFile(s.dest + "/f.txt"), "new version"); },
     true},
    // Root's writable file in a sticky directory: a replacement could not be
    // renamed over it, so it is rewritten in place.
    {"AnotherUsersFileInAStickyDirectory",
     {{"C:\\f.txt", "new version"}},
     [](const Scene& s) {
       writeFile(s.dest + "/f.txt", "old version");
       chmod((s.dest + "/f.txt").c_str(), 0666);
       ASSERT_EQ(chown(s.dest.c_str(), 0, 0), 0);
       chmod(s.dest.c_str(), 01777);
     },
     "--full-path",
     0,
     "",
     [](const Scene& s, const RunResult&) {
       EXPECT_EQ(readFile(s.dest + "/f.txt"), "new version");
       EXPECT_EQ(fs::directory_iterator(s.dest)->path().filename(), "f.txt");
     },
     true},
    // The reason is the system's, also when the destination cannot be made.
    {"DestinationThatCannotBeMade",
     {{"C:\\f.txt", "x"}},
     [](const Scene& s) { fs::remove(s.dest); },
     "--full-path",
     1,
     "f.txt: Permission denied\n",
     nullptr,
     true},
    {"NameDeeperThanTheHostAllowsMakesNothing",
     {{"C:" +
           [] {
             std::string deep;
             for (int i = 0; i < 100000; ++i) deep += "\\d";
             return deep;
           }() +
           "\\f.txt",
       "deep"}},
     nullptr,
     "--full-path",
     1,
     ": File name too long\n",
     [](const Scene& s, const RunResult&) { EXPECT_FALSE(fs::exists(s.dest + "/d")); }},
};

class HostileRestore : public ::testing::TestWithParam<HostileRow> {};

// Rows print as their names (after the test name, and in ctest -N).
void PrintTo(const HostileRow& row, std::ostream* os) { *os << row.name; }

TEST_P(HostileRestore, NothingLandsOutsideTheDestination) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to own files as another user";
  const HostileRow& row = GetParam();
  TempDir tmp;
  chmod(tmp.path().c_str(), 0755);
  Scene scene{tmp.file("dest"), tmp.file("victim")};
  fs::create_directories(scene.dest);
  ASSERT_EQ(chown(scene.dest.c_str(), kOtherUser, kOtherUser), 0);
  writeFile(scene.victim + "/passwd", "root's own");
  chmod((scene.victim + "/passwd").c_str(), 04755);
  if (row.plant) row.plant(scene);

  ArchiveBuilder archive;
  archive.header(100);
  for (const auto& [stored, content] : row.entries) {
    std::string name = replaceAll(stored, "DEST", Scene::windows(scene.dest));
    archive.storedFile(name, kDate, content);
  }
  archive.end();
  writeFile(tmp.file("app.bin"), archive.bytes());

  const std::string destArgument = std::string(row.options).find("--stored-paths") == 0 ? "" : " " + scene.dest;
  const std::string user = row.asOtherUser ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
  RunResult run;
  const int raw =
      std::system((user + SETUPKIT_BINARY + " restore " + row.options + " " + tmp.file("app.bin") + destArgument +
                   " > " + tmp.file("out.txt") + " 2> " + tmp.file("err.txt") + " < /dev/null")
                      .c_str());
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.out = readFile(tmp.file("out.txt"));
  run.err = readFile(tmp.file("err.txt"));
  EXPECT_EQ(run.status, row.status) << run.err;
  if (*row.error) {
    EXPECT_NE(run.err.find(row.error), std::string::npos) << run.err;
  }
  victimUntouched(scene);
  if (row.check) row.check(scene, run);
}

INSTANTIATE_TEST_SUITE_P(Rows, HostileRestore, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
