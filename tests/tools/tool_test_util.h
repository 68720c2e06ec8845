#pragma once
// Helpers of the setupkit tests: random source trees, tree comparison, and
// packing and restoring in a scratch directory.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tools/pack.h"

namespace tooltest {

// A file of a tree: its relative path ("a/b.txt"), content and Unix mtime.
struct TreeFile {
  std::string content;
  int64_t mtime = 0;
};
using Tree = std::map<std::string, TreeFile>;

// Writes the tree below host directory `root` and stamps every file's mtime.
void writeTree(const std::string& root, const Tree& tree);
// Reads every regular file below `root` (relative generic paths).
Tree readTree(const std::string& root);

// Content of `n` bytes: mostly text-like (compressible) when `text`, random
// otherwise; deterministic for a seed.
std::string makeContent(size_t n, bool text, uint32_t seed);

// The whole archive (every volume, in order) as bytes.
std::vector<std::string> readVolumes(const std::vector<std::string>& paths);
inline std::string readFile(const std::string& path) { return readHostFile(path); }
inline void writeFile(const std::string& path, const std::string& bytes) { writeHostFile(path, bytes); }

// Packs `sources` into `archive` with the given options (archive and
// sources overwritten).
setupkit::PackResult packTree(const std::string& archive, const std::vector<std::string>& sources,
                              setupkit::PackOptions options = {});

// Restores `archive` below `dest`, keeping the stored tree, through the restore
// command (and so through the engine), with C: mapped to `driveRoot`.
// Returns the outcome as an exit status and the restored tree.
int restoreTree(const std::string& driveRoot, const std::string& archive, const std::string& dest);

// The mtime a restore gives: DOS date-times hold even seconds.
inline int64_t dosRounded(int64_t mtime) { return mtime - (mtime % 2 + 2) % 2; }

// A table of rows that share one scratch directory, made once for the
// suite; the suite's SetUpTestSuite fills it.
template <class Row>
class SharedScratchTest : public ::testing::TestWithParam<Row> {
 protected:
  static void TearDownTestSuite() {
    delete tmp_;
    tmp_ = nullptr;
  }
  inline static TempDir* tmp_ = nullptr;
};

// What a run of the setupkit binary gave.
struct RunResult {
  int status = -1;  // the exit status, -1 when it did not exit normally
  std::string out, err;
};

// Runs the setupkit binary with `arguments` (split by the shell) in the host
// directory `workDir` (created when missing), standard input from /dev/null;
// its output goes through files in `scratch`.
RunResult runSetupkit(const std::string& arguments, const std::string& workDir, const std::string& scratch);

// Runs a shell command; its exit status, -1 when it did not exit normally.
int shell(const std::string& command);
// A host path quoted for the shell (it holds no single quote).
inline std::string quoted(const std::string& path) { return "'" + path + "'"; }

// `s` with every `from` replaced by `to`.
std::string replaceAll(std::string s, const std::string& from, const std::string& to);

// Names the files in which two trees differ (content or rounded time).
std::vector<std::string> differences(const Tree& original, const Tree& restored);

}  // namespace tooltest
