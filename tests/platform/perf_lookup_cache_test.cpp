// The lookup answers from cached directory listings and from the stat() it
// takes on the way; these cases change the host tree behind its back and check
// that every answer is still the one a fresh look at the disk gives.
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "tests/platform/drive_fixture.h"

namespace fs = std::filesystem;

namespace {

class LookupCacheTest : public DriveFixture {
 public:
  std::string hostOf(const std::string& relative) const { return host(relative); }
  const TempDir& scratch() const { return tmp; }
  // Creates (or replaces) a file through the platform and writes `content`.
  void create(const std::string& path, const std::string& content) {
    platform::FileHandle f = platform::createFile(path);
    ASSERT_TRUE(f.valid()) << path;
    EXPECT_EQ(platform::writeFile(f, content.data(), int64_t(content.size())), int64_t(content.size()));
    platform::closeFile(f);
  }
  // The names in a host directory.
  std::vector<std::string> namesIn(const std::string& relative) const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(host(relative))) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

struct CacheRow {
  const char* name;
  std::function<void(LookupCacheTest&)> primeThroughPlatform;  // fills the caches
  std::function<void(LookupCacheTest&)> changeOnHost;          // behind the platform's back
  std::function<void(LookupCacheTest&)> check;
};

TEST_F(LookupCacheTest, AnswersFollowChangesMadeOutsideThePlatform) {
  const CacheRow rows[] = {
      {"a file renamed to other letter cases is replaced, not doubled",
       [](LookupCacheTest& t) { t.create("C:\\work\\Data.txt", "old"); },
       [](LookupCacheTest& t) { fs::rename(t.hostOf("c/work/Data.txt"), t.hostOf("c/work/data.TXT")); },
       [](LookupCacheTest& t) {
         EXPECT_TRUE(platform::fileExists("C:\\work\\DATA.TXT"));
         t.create("C:\\work\\DATA.TXT", "new");
         EXPECT_EQ(t.namesIn("c/work"), (std::vector<std::string>{"data.TXT", "sub"}));
         EXPECT_EQ(t.scratch().read("c/work/data.TXT"), "new");
       }},
      {"a file added to a directory the platform has just made is found by any case",
       [](LookupCacheTest&) { ASSERT_TRUE(platform::createDirectory("C:\\work\\New")); },
       [](LookupCacheTest& t) { t.scratch().write("c/work/New/Readme.txt", "theirs"); },
       [](LookupCacheTest& t) {
         EXPECT_TRUE(platform::fileExists("C:\\work\\NEW\\README.TXT"));
         t.create("C:\\work\\new\\README.TXT", "ours");
         EXPECT_EQ(t.namesIn("c/work/New"), (std::vector<std::string>{"Readme.txt"}));
         EXPECT_EQ(t.scratch().read("c/work/New/Readme.txt"), "ours");
       }},
      {"a directory removed and made again holds only its new names",
       [](LookupCacheTest& t) {
         ASSERT_TRUE(platform::createDirectory("C:\\work\\Again"));
         t.create("C:\\work\\Again\\One.txt", "1");
       },
       [](LookupCacheTest& t) {
         fs::remove_all(t.hostOf("c/work/Again"));
         t.scratch().write("c/work/Again/two.TXT", "2");
       },
       [](LookupCacheTest&) {
         EXPECT_FALSE(platform::fileExists("C:\\work\\Again\\One.txt"));
         EXPECT_EQ(platform::fileAge("C:\\work\\Again\\ONE.TXT"), -1);
         EXPECT_TRUE(platform::fileExists("C:\\work\\Again\\Two.txt"));
       }},
      {"a directory removed is no longer a directory and can be made again",
       [](LookupCacheTest&) {
         ASSERT_TRUE(platform::createDirectory("C:\\work\\Gone"));
         ASSERT_TRUE(platform::createDirectory("C:\\work\\Gone\\Deeper"));
         ASSERT_TRUE(platform::directoryExists("C:\\work\\Gone\\Deeper"));
       },
       [](LookupCacheTest& t) { fs::remove_all(t.hostOf("c/work/Gone")); },
       [](LookupCacheTest& t) {
         EXPECT_FALSE(platform::directoryExists("C:\\work\\Gone\\Deeper"));
         EXPECT_FALSE(platform::directoryExists("C:\\work\\GONE"));
         ASSERT_TRUE(platform::createDirectory("C:\\work\\GONE"));
         ASSERT_TRUE(platform::createDirectory("C:\\work\\gone\\DEEPER"));
         EXPECT_EQ(t.namesIn("c/work/GONE"), (std::vector<std::string>{"DEEPER"}));
       }},
      {"a file replaced by a directory of the same name",
       [](LookupCacheTest& t) { t.create("C:\\work\\Swap", "file"); },
       [](LookupCacheTest& t) {
         fs::remove(t.hostOf("c/work/Swap"));
         fs::create_directory(t.hostOf("c/work/swap"));
       },
       [](LookupCacheTest&) {
         EXPECT_FALSE(platform::fileExists("C:\\work\\SWAP"));
         EXPECT_TRUE(platform::directoryExists("C:\\work\\SWAP"));
         EXPECT_EQ(platform::getFileAttributes("C:\\work\\Swap") & platform::kAttrDirectory,
                   uint32_t(platform::kAttrDirectory));
       }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    row.primeThroughPlatform(*this);
    row.changeOnHost(*this);
    row.check(*this);
  }
}

struct MissingRow {
  const char* name;
  const char* path;
  const char* expectedHost;  // below the scratch directory
  uint32_t error;            // lastError after getFileAttributes
};

// Paths that do not exist resolve as far as the host has them, keep the rest
// as given, and fail with the error a direct look at the host path gives.
TEST_F(LookupCacheTest, MissingPathsKeepTheirNamesAndErrors) {
  tmp.write("c/work/sub/Real.txt", "x");
  tmp.write("c/work/plain", "a file, not a directory");
  ASSERT_EQ(symlink("nowhere", host("c/work/dangling").c_str()), 0);
  const MissingRow rows[] = {
      {"missing name in a directory", "C:\\WORK\\sub\\None.txt", "c/work/sub/None.txt", platform::kErrorFileNotFound},
      {"missing directories below a case variant", "C:\\WORK\\SUB\\new\\deeper\\x.txt", "c/work/sub/new/deeper/x.txt",
       platform::kErrorFileNotFound},
      {"below a file found by letter case", "C:\\WORK\\SUB\\REAL.TXT\\x", "c/work/sub/Real.txt/x",
       platform::kErrorPathNotFound},
      {"below a file", "C:\\work\\PLAIN\\x", "c/work/plain/x", platform::kErrorPathNotFound},
      {"a dangling link keeps its name", "C:\\WORK\\DANGLING", "c/work/dangling", platform::kErrorFileNotFound},
      {"below a missing drive folder", "C:\\nothing\\here", "c/nothing/here", platform::kErrorFileNotFound},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    auto h = platform::hostPathOf(row.path);
    ASSERT_TRUE(h.has_value());
    EXPECT_EQ(*h, host(row.expectedHost));
    platform::setLastError(0);
    EXPECT_EQ(platform::getFileAttributes(row.path), platform::kInvalidAttributes);
    EXPECT_EQ(platform::lastError(), row.error);
    EXPECT_FALSE(platform::fileExists(row.path));
  }
}

}  // namespace
