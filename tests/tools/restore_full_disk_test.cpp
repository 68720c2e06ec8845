// setupkit restore onto a file system that fills up: a small tmpfs mounted by
// the test (as root; skipped where mounting is refused).
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "tests/tools/tool_test_util.h"

namespace fs = std::filesystem;
using namespace tooltest;

namespace {

// A tmpfs of `size` mounted at `dir` for the lifetime of the object.
class SmallFileSystem {
 public:
  SmallFileSystem(const std::string& dir, const char* size, unsigned long flags = 0) : dir_(dir) {
    fs::create_directories(dir);
    const std::string options = std::string("size=") + size;
    if (geteuid() != 0)
      refusal_ = "not running as root";
    else if (mount("tmpfs", dir.c_str(), "tmpfs", flags, options.c_str()) != 0)
      refusal_ = std::string("mount refused: ") + strerror(errno);
  }
  ~SmallFileSystem() {
    if (refusal_.empty()) umount2(dir_.c_str(), MNT_DETACH);
  }
  // Why no file system was mounted; empty when it was.
  const std::string& refusal() const { return refusal_; }

 private:
  std::string dir_;
  std::string refusal_;
};

struct RestoreRun {
  int status;
  std::string err;
};

RestoreRun restore(const TempDir& tmp, const std::string& dest) {
  const std::string command = std::string(SETUPKIT_BINARY) + " restore --full-path " + tmp.file("app.bin") + " " +
                              dest + " > /dev/null 2> " + tmp.file("stderr.txt") + " < /dev/null";
  const int raw = std::system(command.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFile(tmp.file("stderr.txt"))};
}

TEST(FullDisk, NoFileIsLeftCutShortAndTheReasonIsNamed) {
  TempDir tmp;
  SmallFileSystem small(tmp.file("small"), "1m");
  if (!small.refusal().empty()) GTEST_SKIP() << "no small tmpfs to fill (" << small.refusal() << ")";

  // Incompressible, so that the archive's files need more room than there is.
  Tree tree = {{"a.txt", {makeContent(10000, false, 1), 946728000}},
               {"data/b.bin", {makeContent(600000, false, 2), 946728000}},
               {"data/c.bin", {makeContent(800000, false, 3), 946728000}}};
  writeTree(tmp.file("src"), tree);
  packTree(tmp.file("app.bin"), {tmp.file("src")});
  const std::string dest = tmp.file("small/dest");

  // A fresh install: c.bin does not fit and is removed; a and b stay whole.
  RestoreRun first = restore(tmp, dest);
  EXPECT_EQ(first.status, 1);
  EXPECT_NE(first.err.find("cannot write " + dest + "/data/c.bin: No space left on device\n"), std::string::npos)
      << first.err;
  EXPECT_NE(first.err.find("Cannot read file"), std::string::npos) << first.err;
  Tree restored = readTree(dest);
  tree.erase("data/c.bin");
  EXPECT_TRUE(differences(tree, restored).empty());
  EXPECT_EQ(restored.size(), 2u);

  // An update over it: b.bin's new version does not fit beside the old one,
  // so the old one stays exactly as it was and no temporary file remains.
  writeFile(dest + "/data/b.bin", makeContent(600000, false, 7));
  const std::string before = readFile(dest + "/data/b.bin");
  RestoreRun second = restore(tmp, dest);
  EXPECT_EQ(second.status, 1);
  EXPECT_NE(second.err.find("cannot write " + dest + "/data/b.bin: No space left on device\n"), std::string::npos)
      << second.err;
  EXPECT_EQ(readFile(dest + "/data/b.bin"), before);
  EXPECT_EQ(readTree(dest).size(), 2u);
}

TEST(FullDisk, AReadOnlyFileSystemIsNamed) {
  TempDir tmp;
  SmallFileSystem readOnly(tmp.file("ro"), "1m", MS_RDONLY);
  if (!readOnly.refusal().empty()) GTEST_SKIP() << "no read-only tmpfs (" << readOnly.refusal() << ")";
  writeTree(tmp.file("src"), {{"a.txt", {"alpha", 946728000}}});
  packTree(tmp.file("app.bin"), {tmp.file("src")});
  RestoreRun run = restore(tmp, tmp.file("ro"));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "setupkit: cannot write " + tmp.file("ro/a.txt") + ": Read-only file system\nsetupkit: Cannot read file\n");
}

}  // namespace
