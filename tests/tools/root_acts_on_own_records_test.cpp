// Root never acts on a record a user can change: through the real setupkit,
// as root with a second user (65534) who owns the installation's folder.
// Skipped when not run as root.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "common/file_digest.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/tool_test_util.h"

using namespace tooltest;
namespace fs = std::filesystem;

namespace {

constexpr uid_t kUser = 65534;


std::string sha256Of(const std::string& bytes) {
  TSha256 digest;
  digest.update(bytes.data(), bytes.size());
  return digest.finishHex();
}

class RootAndUser : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as a second user";
    chmod(tmp.path().c_str(), 0755);
    writeFile(tmp.file("payload/bin/app"), "#!/bin/sh\necho app\n");
    writeFile(tmp.file("payload/docs/readme.txt"), "read me");
    ASSERT_EQ(runSetupkit("medium -o medium --runtime system --title T --app T --dest /opt/t --menu-name 'T App' "
                          "--menu-exec bin/app payload",
                          tmp.path(), tmp.path())
                  .status,
              0);
    fs::create_directories(tmp.file("home"));
    chown(tmp.file("home").c_str(), kUser, kUser);
  }
  // The second user, with a home of its own.
  std::string asUser() const {
    return "setpriv --reuid=65534 --regid=65534 --clear-groups env HOME=" + quoted(tmp.file("home")) +
           " XDG_DATA_HOME= XDG_STATE_HOME= ";
  }
  TempDir tmp;
};

// A record the user planted in an empty folder before root installs there,
// naming another program's entry in the machine's menu: root neither merges
// it nor removes that entry.
TEST_F(RootAndUser, APlantedRecordIsNeitherMergedNorActedOnByRoot) {
  const std::string victim = "/usr/local/share/applications/setup-victim-" + std::to_string(getpid()) + ".desktop";
  const std::string text = "[Desktop Entry]\nType=Application\nName=Victim\nExec=/bin/true\n";
  fs::create_directories("/usr/local/share/applications");
  writeFile(victim, text);
  const std::string dest = tmp.file("home/app");
  fs::create_directories(dest);
  chown(dest.c_str(), kUser, kUser);
  writeFile(dest + "/.install-record.json",
            "{\"format\":\"setup install record\",\"version\":1,\"application\":\"T\",\"complete\":true,"
            "\"destination_made\":false,\"uninstaller\":null,\"folders\":[],\"menu\":[{\"name\":\"" +
                fs::path(victim).filename().string() + "\",\"scope\":\"system\",\"size\":" +
                std::to_string(text.size()) + ",\"sha256\":\"" + sha256Of(text) + "\"}],\"files\":[]}\n");
  chown((dest + "/.install-record.json").c_str(), kUser, kUser);

  const RunResult installed = runSetupkit("restore --record medium/SETUP.BIN home/app", tmp.path(), tmp.path());
  EXPECT_EQ(installed.status, 0) << installed.err;
  EXPECT_NE(installed.err.find("could have been written by another user"), std::string::npos) << installed.err;
  const RunResult removed = runSetupkit("uninstall --unattended home/app", tmp.path(), tmp.path());
  EXPECT_EQ(removed.status, 0) << removed.err;
  EXPECT_EQ(readFile(victim), text) << "another program's menu entry was removed";
  fs::remove(victim);
}

// The user's own installation, removed by root: with the user's rights, and
// its menu entry is found in the user's folder (not root's home).
TEST_F(RootAndUser, RootRemovesAUsersInstallationWithTheUsersRightsAndItsMenuEntry) {
  ASSERT_EQ(shell(asUser() + SETUPKIT_BINARY + " restore --record " + quoted(tmp.file("medium/SETUP.BIN")) + " " +
                  quoted(tmp.file("home/app")) + " > /dev/null 2>&1"),
            0);
  const std::string applications = tmp.file("home/.local/share/applications");
  ASSERT_TRUE(fs::exists(applications));
  auto entries = [&] {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(applications))
      if (e.path().extension() == ".desktop") names.push_back(e.path().filename().string());
    return names;
  };
  ASSERT_EQ(entries().size(), 1u);
  const RunResult removed = runSetupkit("uninstall --unattended home/app", tmp.path(), tmp.path());
  EXPECT_EQ(removed.status, 0) << removed.err;
  EXPECT_FALSE(fs::exists(tmp.file("home/app")));
  EXPECT_EQ(entries(), std::vector<std::string>{}) << "the user's menu entry stays, pointing at nothing";
}

// The user swaps the folder being removed with a link to a root folder that
// holds a file of the same bytes, in a loop, while root removes the user's
// installation again and again: root's file stays.
TEST_F(RootAndUser, SwappingTheDestinationWithALinkNeverRemovesOutsideIt) {
  const std::string inst = tmp.file("home/inst");
  fs::create_directories(inst);
  chown(inst.c_str(), kUser, kUser);
  const std::string rootFolder = tmp.file("rootonly");
  writeFile(rootFolder + "/bin/app", "#!/bin/sh\necho app\n");  // the bytes the record names
  writeFile(rootFolder + "/docs/readme.txt", "read me");
  const std::string install = asUser() + SETUPKIT_BINARY + " restore --record " + quoted(tmp.file("medium/SETUP.BIN")) +
                              " " + quoted(inst + "/app") + " > /dev/null 2>&1";
  ASSERT_EQ(shell(install), 0);
  ASSERT_EQ(shell(asUser() + "ln -s " + quoted(rootFolder) + " " + quoted(inst + "/evil")), 0);

  const pid_t swapper = fork();
  ASSERT_GE(swapper, 0);
  if (swapper == 0) {
    if (setresgid(kUser, kUser, kUser) != 0 || setresuid(kUser, kUser, kUser) != 0) _exit(1);
    const std::string a = inst + "/app", b = inst + "/evil";
    for (;;) syscall(SYS_renameat2, AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), 2 /* RENAME_EXCHANGE */);
  }
  for (int i = 0; i < 40; ++i) {
    runSetupkit("uninstall --unattended " + quoted(inst + "/app"), tmp.path(), tmp.path());
    if (!fs::exists(rootFolder + "/bin/app")) break;
    // Installed again by the user wherever the swap left things.
    shell(install);
  }
  kill(swapper, SIGKILL);
  waitpid(swapper, nullptr, 0);
  EXPECT_TRUE(fs::exists(rootFolder + "/bin/app")) << "root removed a file outside the destination";
  EXPECT_TRUE(fs::exists(rootFolder + "/docs/readme.txt"));
}

}  // namespace
