// SIGINT and SIGTERM while a command writes, and damage met while the packed
// runtime is unpacked: no file is left cut short under its name or at its
// full size with bytes missing, no temporary is left, and the status says
// how it ended (4 cancelled, 2 damaged).
//
// The signal comes at a moment the test knows, not after a sleep: the
// medium's second volume is a FIFO nobody writes, so each program writes the
// first part of a large file that continues there and then waits to open
// the volume (the kernel names that wait "wait_for_partner"); the signal is
// sent while it waits.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "medium/runtime_pack.h"
#include "tests/tools/tool_test_util.h"
#include "tools/medium.h"

namespace fs = std::filesystem;
using namespace tooltest;

namespace {

#if defined(SETUP_LAUNCHER)

constexpr size_t kBigSize = size_t(3) * 1024 * 1024;
constexpr auto kPatience = std::chrono::seconds(120);

// A program started with its output in files, standard input from
// /dev/null, `unset` taken out of its environment and `set` put in.
pid_t start(const std::vector<std::string>& argv, const std::string& dir, const std::string& output,
            const std::vector<std::pair<std::string, std::string>>& set = {}) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  const int in = open("/dev/null", O_RDONLY);
  const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (in < 0 || out < 0 || chdir(dir.c_str()) != 0) _exit(127);
  dup2(in, 0);
  dup2(out, 1);
  dup2(out, 2);
  for (const char* name : {"XDG_RUNTIME_DIR", "DISPLAY", "WAYLAND_DISPLAY"}) unsetenv(name);
  for (const auto& [name, value] : set) setenv(name.c_str(), value.c_str(), 1);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  execv(args[0], args.data());
  _exit(127);
}

// Whether `pid` came to wait in the kernel function `where` (before it ended).
bool waitsAt(pid_t pid, const std::string& where) {
  const auto until = std::chrono::steady_clock::now() + kPatience;
  while (std::chrono::steady_clock::now() < until) {
    std::ifstream wchan("/proc/" + std::to_string(pid) + "/wchan");
    std::string now;
    std::getline(wchan, now);
    if (now == where) return true;
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

// The exit status of `pid`; -1 when it did not exit by itself in time (it is
// then killed) or ended by a signal.
int exitOf(pid_t pid) {
  const auto until = std::chrono::steady_clock::now() + kPatience;
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > until) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Every entry below `root` whose name starts with `prefix` (`exact`: is
// `prefix`).
std::vector<std::string> found(const std::string& root, const std::string& prefix, bool exact = false) {
  std::vector<std::string> hits;
  if (!fs::exists(root)) return hits;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    const std::string n = e.path().filename().string();
    if (exact ? n == prefix : n.rfind(prefix, 0) == 0) hits.push_back(e.path().string());
  }
  return hits;
}
std::vector<std::string> named(const std::string& root, const std::string& name) { return found(root, name, true); }

// The install records root keeps: those a test made (new ones naming its
// destination) are removed; other programs' are left alone.
class NewRecords {
 public:
  explicit NewRecords(std::string dest) : dest_(std::move(dest)), before_(names()) {}
  ~NewRecords() {
    for (const auto& name : names())
      if (!before_.count(name) && readFile(kDirectory + name).find(dest_) != std::string::npos)
        fs::remove(kDirectory + name);
  }

 private:
  static inline const std::string kDirectory = "/var/lib/setupkit/installs/";
  static std::set<std::string> names() {
    std::set<std::string> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(kDirectory, ec)) out.insert(e.path().filename().string());
    return out;
  }
  std::string dest_;
  std::set<std::string> before_;
};

enum class Program { Restore, Record, Unattended };

struct InterruptRow {
  const char* name;
  Program program;
  int signal;
  bool overOldVersion;  // the files are in DEST from an earlier restore
};

class Interrupt : public SharedScratchTest<InterruptRow> {
 protected:
  // A medium of a small file and a large one packed in volumes of 1 MiB, as
  // `whole`, and the same with its second volume a FIFO, as `medium`.
  static void SetUpTestSuite() {
    tmp_ = new TempDir();
    writeFile(tmp_->file("src/a.txt"), makeContent(20000, true, 1));
    writeFile(tmp_->file("src/big.bin"), makeContent(kBigSize, false, 2));
    fs::create_directories(tmp_->file("program"));
    fs::copy_file(SETUP_LAUNCHER, tmp_->file("program/setup"));
    setupkit::MediumOptions options;
    options.directory = tmp_->file("whole");
    options.title = options.app = "T";
    options.destDir = "C:\\opt\\t";
    options.program = tmp_->file("program/setup");
    options.pack.sources = {tmp_->file("src")};
    options.pack.volumeSize = int64_t(1024) * 1024;
    setupkit::makeMedium(options, "");
    fs::copy(tmp_->file("whole"), tmp_->file("medium"), fs::copy_options::recursive);
    fs::remove(tmp_->file("medium/SETUP.002"));
    ASSERT_EQ(mkfifo(tmp_->file("medium/SETUP.002").c_str(), 0600), 0);
  }
};

TEST_P(Interrupt, NoFileIsLeftCutShortNorATemporaryAndTheStatusIs4) {
  const InterruptRow& row = GetParam();
  const TempDir& tmp = *tmp_;
  const std::string dest = tmp.file(std::string("dest-") + std::to_string(int(row.program)) + "-" +
                                    std::to_string(row.signal) + (row.overOldVersion ? "-old" : ""));
  std::optional<NewRecords> records;
  if (row.program != Program::Restore) records.emplace(dest);

  std::string oldBig, oldPath;
  if (row.overOldVersion) {
    const RunResult first =
        runSetupkit("restore " + quoted(tmp.file("whole/SETUP.BIN")) + " " + quoted(dest), tmp.path(), tmp.path());
    ASSERT_EQ(first.status, 0) << first.err;
    const auto at = named(dest, "big.bin");
    ASSERT_EQ(at.size(), 1u);
    oldPath = at[0];
    oldBig = makeContent(kBigSize / 2, false, 3);  // an old version, told apart from the new
    writeFile(oldPath, oldBig);
  }

  std::vector<std::string> argv;
  const std::string archive = tmp.file("medium/SETUP.BIN");
  switch (row.program) {
    case Program::Restore: argv = {SETUPKIT_BINARY, "restore", "--mode", "all", archive, dest}; break;
    case Program::Record: argv = {SETUPKIT_BINARY, "restore", "--record", "--mode", "all", archive, dest}; break;
    case Program::Unattended: argv = {tmp.file("medium/setup"), "--unattended", "--dest", dest}; break;
  }
  const std::string output = dest + ".out";
  const pid_t pid = start(argv, tmp.path(), output, {{"TMPDIR", tmp.path()}});
  ASSERT_TRUE(waitsAt(pid, "wait_for_partner")) << "never came to wait for volume 2:\n" << readFile(output);
  // The large file is written up to the volume's end, under its name or a
  // temporary one: what an interrupt must not leave behind.
  EXPECT_FALSE(found(dest, ".~").empty() && named(dest, "big.bin").empty());
  ASSERT_EQ(kill(pid, row.signal), 0);
  const int status = exitOf(pid);
  const std::string said = readFile(output);

  EXPECT_EQ(status, 4) << said;
  EXPECT_NE(said.find("cancelled"), std::string::npos) << said;
  EXPECT_EQ(found(dest, ".~"), std::vector<std::string>{}) << "a temporary is left";
  if (row.overOldVersion) {
    EXPECT_EQ(named(dest, "big.bin"), std::vector<std::string>{oldPath});
    EXPECT_TRUE(readFile(oldPath) == oldBig) << "the old version changed";
  } else {
    EXPECT_EQ(named(dest, "big.bin"), std::vector<std::string>{}) << "the file cut short is left";
  }
  // A plain restore keeps what it finished before the signal.
  if (row.program == Program::Restore) {
    const auto small = named(dest, "a.txt");
    ASSERT_EQ(small.size(), 1u);
    EXPECT_TRUE(readFile(small[0]) == readFile(tmp.file("src/a.txt")));
  }
}

INSTANTIATE_TEST_SUITE_P(
    WhileWriting, Interrupt,
    ::testing::Values(InterruptRow{"restore_new_files_SIGINT", Program::Restore, SIGINT, false},
                      InterruptRow{"restore_over_old_version_SIGINT_keeps_it", Program::Restore, SIGINT, true},
                      InterruptRow{"restore_SIGTERM", Program::Restore, SIGTERM, false},
                      InterruptRow{"restore_record_SIGINT", Program::Record, SIGINT, false},
                      InterruptRow{"unattended_install_SIGTERM", Program::Unattended, SIGTERM, false}),
    [](const auto& info) { return std::string(info.param.name); });

// A packed runtime whose second part is damaged in the middle of its large
// file: `setupkit restore` and the launcher find it once and end with 2,
// leaving no file of that part, and none at its full size.
TEST(DamagedRuntime, FoundOnceStatus2AndNoFileOfTheDamagedPart) {
  TempDir tmp;
  writeFile(tmp.file("stage/setup"), "#!/bin/sh\nexit 0\n");
  writeFile(tmp.file("stage/runtime/lib/big.so"), makeContent(kBigSize, true, 4));
  chmod(tmp.file("stage/setup").c_str(), 0755);
  fs::create_directories(tmp.file("medium"));
  runtime_pack::pack(tmp.file("stage"), tmp.file("medium/runtime.pak"), 3);
  // Bytes changed in the middle of the last part, which holds the large file.
  std::string pack = readFile(tmp.file("medium/runtime.pak"));
  for (size_t i = pack.size() - pack.size() / 4; i < pack.size() - pack.size() / 4 + 64; ++i) pack[i] ^= 0x5a;
  writeFile(tmp.file("medium/runtime.pak"), pack);
  fs::copy_file(SETUP_LAUNCHER, tmp.file("medium/setup"));
  chmod(tmp.file("medium/setup").c_str(), 0755);

  struct Row {
    const char* name;
    std::vector<std::string> argv;
  };
  const Row rows[] = {
      {"setupkit restore runtime.pak", {SETUPKIT_BINARY, "restore", tmp.file("medium/runtime.pak"), tmp.file("out")}},
      {"the launcher", {tmp.file("medium/setup")}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fs::create_directories(tmp.file("base"));
    const pid_t pid = start(row.argv, tmp.path(), tmp.file("said.txt"), {{"TMPDIR", tmp.file("base")}});
    const int status = exitOf(pid);
    const std::string said = readFile(tmp.file("said.txt"));
    EXPECT_EQ(status, 2) << said;
    const size_t first = said.find("the packed runtime");
    ASSERT_NE(first, std::string::npos) << said;
    EXPECT_EQ(said.find("the packed runtime", first + 1), std::string::npos) << "told more than once:\n" << said;
    EXPECT_EQ(named(tmp.file("out"), "big.so"), std::vector<std::string>{});
    // Nothing is left in the launcher's folders either.
    EXPECT_EQ(found(tmp.file("base"), "setup-run-"), std::vector<std::string>{});
  }
}

#endif

}  // namespace
