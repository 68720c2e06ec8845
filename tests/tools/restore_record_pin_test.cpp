// `setupkit restore --record` installs through the same routine as the
// wizard and the launcher, so the publisher pinned by the first installation
// holds there too: a medium of another key, or an unsigned one, is refused
// with status 5 and nothing written, unless --accept-new-publisher.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "tests/support/temp_dir.h"
#include "tests/tools/tool_test_util.h"

using namespace tooltest;
namespace fs = std::filesystem;

namespace {

// Three folder media of one payload: signed by the publisher, signed by
// another key, unsigned.
class PinnedRestore : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    tmp_ = new TempDir();
    fs::create_directories(tmp_->file("scratch"));
    writeFile(tmp_->file("payload/readme.txt"), "read me");
    writeFile(tmp_->file("payload/bin/app"), "#!/bin/sh\necho app\n");
    for (const char* key : {"first", "other"})
      ASSERT_EQ(run(std::string("key new --no-password --public ") + key + ".pub --secret " + key + ".key").status, 0);
    const std::string medium = " --title Pinned --app Pinned --dest C:\\\\opt\\\\pinned payload";
    ASSERT_EQ(run("medium -o first --sign first.key" + medium).status, 0);
    ASSERT_EQ(run("medium -o other --sign other.key" + medium).status, 0);
    ASSERT_EQ(run("medium -o plain" + medium).status, 0);
  }
  static void TearDownTestSuite() {
    delete tmp_;
    tmp_ = nullptr;
  }
  static RunResult run(const std::string& arguments) {
    return runSetupkit(arguments, tmp_->path(), tmp_->file("scratch"));
  }
  inline static TempDir* tmp_ = nullptr;
};

TEST_F(PinnedRestore, AnotherPublisherIsRefusedWithStatus5UnlessAccepted) {
  struct Row {
    const char* name;
    const char* medium;
    const char* options;
    int status;
  };
  const Row rows[] = {
      {"the first signed medium pins its key", "first", "", 0},
      {"the same publisher again installs", "first", "", 0},
      {"a medium signed by another key is refused", "other", "", 5},
      {"an unsigned medium over a pinned one is refused", "plain", "", 5},
      {"another key, accepted, installs and pins it", "other", " --accept-new-publisher", 0},
      {"the first publisher is now the other one", "first", "", 5},
  };
  const std::string dest = tmp_->file("dest");
  for (const Row& row : rows) {
    fs::remove(dest + "/readme.txt");
    const RunResult r = run(std::string("restore --record") + row.options + " " + row.medium + "/SETUP.BIN dest");
    EXPECT_EQ(r.status, row.status) << row.name << "\n" << r.err;
    // A refusal writes nothing: the file removed above stays away.
    EXPECT_EQ(fs::exists(dest + "/readme.txt"), row.status == 0) << row.name;
    if (row.status == 5) {
      EXPECT_NE(r.err.find("--accept-new-publisher"), std::string::npos) << row.name << r.err;
    }
  }
}

TEST_F(PinnedRestore, AcceptingANewPublisherGoesWithRecordOnly) {
  EXPECT_EQ(run("restore --accept-new-publisher first/SETUP.BIN elsewhere").status, 64);
}

}  // namespace

namespace {

// An archive the installing user may not read is missing to the
// installation (3), as to setupkit, not damaged (2).
TEST(UnreadableArchive, InstallingFromAnArchiveTheUserCannotReadEndsWithStatus3) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as a second user";
  TempDir tmp;
  chmod(tmp.path().c_str(), 0755);
  writeFile(tmp.file("payload/readme.txt"), "read me");
  ASSERT_EQ(
      runSetupkit("medium -o medium --runtime system --title T --app T --dest /opt/t payload", tmp.path(), tmp.path())
          .status,
      0);
  chmod(tmp.file("medium/SETUP.BIN").c_str(), 0600);
  fs::create_directories(tmp.file("home"));
  chown(tmp.file("home").c_str(), 65534, 65534);
  const std::string command = "cd '" + tmp.path() +
                              "' && setpriv --reuid=65534 --regid=65534 --clear-groups env HOME='" + tmp.file("home") +
                              "' " + SETUPKIT_BINARY + " restore --record medium/SETUP.BIN home/app > /dev/null 2>&1";
  const int raw = std::system(command.c_str());
  EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 3);
  EXPECT_FALSE(fs::exists(tmp.file("home/app/readme.txt")));
}

}  // namespace
