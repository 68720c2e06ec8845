// A host path with a backslash in a name has no Windows form: the backslash
// would be read as a separator and name another folder. The launcher's
// unattended install refuses such a --dest as a usage error (64) and
// writes nothing, neither at the name given nor at the one it would become.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>

#include "tests/tools/tool_test_util.h"
#include "tools/medium.h"

namespace fs = std::filesystem;
using namespace tooltest;

namespace {

#if defined(SETUP_LAUNCHER)

TEST(BackslashDest, UnattendedInstallRefusesItWithUsageStatus) {
  TempDir tmp;
  writeFile(tmp.file("src/a.txt"), "alpha");
  fs::create_directories(tmp.file("program"));
  fs::copy_file(SETUP_LAUNCHER, tmp.file("program/setup"));
  setupkit::MediumOptions options;
  options.directory = tmp.file("medium");
  options.title = options.app = "T";
  options.destDir = "C:\\opt\\t";
  options.program = tmp.file("program/setup");
  options.pack.sources = {tmp.file("src")};
  setupkit::makeMedium(options, "");
  fs::create_directories(tmp.file("into"));

  struct Row {
    const char* dest;
    int status;
  };
  const Row rows[] = {
      {"into/a\\b", 64},
      {"into\\c", 64},
      {"into/plain", 0},
  };
  for (const Row& row : rows) {
    const std::string command = "cd '" + tmp.path() + "' && env -u XDG_RUNTIME_DIR TMPDIR='" + tmp.path() +
                                "' medium/setup --unattended --dest '" + row.dest + "' > out.txt 2>&1 < /dev/null";
    const int raw = std::system(command.c_str());
    const std::string said = readFile(tmp.file("out.txt"));
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, row.status) << row.dest << "\n" << said;
    if (row.status == 0) continue;
    EXPECT_NE(said.find("holds a backslash"), std::string::npos) << said;
  }
  // Only the plain destination was made.
  std::vector<std::string> made;
  for (const auto& e : fs::directory_iterator(tmp.file("into"))) made.push_back(e.path().filename().string());
  EXPECT_EQ(made, std::vector<std::string>{"plain"});
  EXPECT_EQ(readFile(tmp.file("into/plain/a.txt")), "alpha");
  EXPECT_FALSE(fs::exists(tmp.file("into\\c")));
}

#endif

}  // namespace
