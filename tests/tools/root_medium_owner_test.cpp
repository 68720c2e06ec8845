// Root installs only from a folder medium no other user can change while it
// is read: the folder, the folders above it and each file the programs read
// from it belong to root and only root may write them. Otherwise the launcher
// and `setupkit restore --record` refuse with status 5 before anything is
// written, naming who could change what. Needs root; skipped otherwise.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "tests/tools/tool_test_util.h"

namespace fs = std::filesystem;
using namespace tooltest;

namespace {

#if defined(SETUP_LAUNCHER)

constexpr uid_t kOtherUser = 65534;

struct Row {
  const char* name;
  const char* change;  // below the medium folder M ("" for M itself); empty change: nothing
  bool chownIt;        // give it to the other user, else let others write it
  const char* says;    // in the refusal
};

const Row kRows[] = {
    {"RootsOwnMediumInstalls", nullptr, false, ""},
    {"AFolderAnotherUserOwnsIsRefused", "", true, "belongs to uid 65534"},
    {"AFolderAboveOthersCanWriteIsRefused", "..", false, "others can write the folder"},
    {"AnAttributesFileAnotherUserOwnsIsRefused", "SETUP.ATR", true, "SETUP.ATR belongs to uid 65534"},
    {"ARuntimeOthersCanWriteIsRefused", "runtime.pak", false, "others can write"},
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

// One medium of the built setup program (its launcher and packed runtime),
// copied for each row.
class RootMediumOwner : public ::testing::TestWithParam<Row> {
 protected:
  static void SetUpTestSuite() {
    made_ = new TempDir();
    writeFile(made_->file("src/a.txt"), "alpha");
    shell("cd " + made_->path() + " && " + SETUPKIT_BINARY +
          " medium -o m --title Owner --app Owner --dest 'C:\\D' src/a.txt > /dev/null");
  }
  static void TearDownTestSuite() {
    delete made_;
    made_ = nullptr;
  }
  inline static TempDir* made_ = nullptr;
};

TEST_P(RootMediumOwner, LauncherAndRestoreRecordRefuseAMediumOthersCanChange) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  const Row& row = GetParam();
  ASSERT_TRUE(fs::exists(made_->file("m/SETUP.BIN"))) << "the medium could not be made";
  TempDir tmp;
  chmod(tmp.path().c_str(), 0755);
  fs::create_directories(tmp.file("media"));
  fs::copy(made_->file("m"), tmp.file("media/m"), fs::copy_options::recursive);
  chmod(tmp.file("media").c_str(), 0755);
  if (row.change) {
    const std::string changed = fs::path(tmp.file("media/m") + "/" + row.change).lexically_normal().string();
    if (row.chownIt)
      ASSERT_EQ(chown(changed.c_str(), kOtherUser, kOtherUser), 0) << changed;
    else
      ASSERT_EQ(chmod(changed.c_str(), fs::is_directory(changed) ? 0777 : 0666), 0) << changed;
  }
  const int expected = row.change ? 5 : 0;

  struct FrontEnd {
    const char* name;
    std::string command;
  };
  const FrontEnd frontEnds[] = {
      {"launcher --unattended", tmp.file("media/m/setup") + " --unattended --dest " + tmp.file("dest-launcher")},
      {"setupkit restore --record", std::string(SETUPKIT_BINARY) + " restore --record " +
                                        tmp.file("media/m/SETUP.BIN") + " " + tmp.file("dest-restore")},
  };
  for (const FrontEnd& frontEnd : frontEnds) {
    const std::string dest = frontEnd.command.substr(frontEnd.command.rfind(' ') + 1);
    const int status = shell("cd / && " + frontEnd.command + " > " + tmp.file("out.txt") + " 2> " +
                             tmp.file("err.txt") + " < /dev/null");
    const std::string err = readFile(tmp.file("err.txt"));
    EXPECT_EQ(status, expected) << frontEnd.name << "\n" << err;
    EXPECT_EQ(fs::exists(dest + "/a.txt"), expected == 0) << frontEnd.name << "\n"
                                                          << readFile(tmp.file("out.txt")) << err;
    if (expected != 0) {
      EXPECT_FALSE(fs::exists(dest)) << frontEnd.name << ": nothing is written";
      EXPECT_NE(err.find(row.says), std::string::npos) << frontEnd.name << "\n" << err;
      EXPECT_NE(err.find("no other user can change"), std::string::npos) << frontEnd.name << "\n" << err;
    } else {
      shell(dest + "/uninstall --unattended > /dev/null 2>&1");
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, RootMediumOwner, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

#endif

}  // namespace
