// How `medium` builds: a failed run leaves the folder as it was; the packed
// runtime comes from the cache while what it packs is the same; disk images
// fit their disks.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <functional>

#include "common/tool_error.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/tool_test_util.h"
#include "tools/external_tool.h"
#include "tools/medium.h"

namespace fs = std::filesystem;
using namespace tooltest;

namespace {

setupkit::MediumOptions baseOptions(TempDir& tmp) {
  setupkit::MediumOptions options;
  options.directory = tmp.file("medium");
  options.title = "T";
  options.app = "A";
  options.destDir = "/opt/a";
  options.program = tmp.file("prog/setup");
  options.pack.sources = {tmp.file("src")};
  return options;
}

TEST(MediumBuild, AFailedRunLeavesTheFolderAsItWas) {
  struct Row {
    const char* name;
    bool earlierMedium;  // a sound medium is in the folder first
    std::function<void(setupkit::MediumOptions&, TempDir&)> spoil;
  };
  const Row rows[] = {
      {"an empty source, new folder", false, [](auto& o, TempDir& t) { o.pack.sources = {t.file("empty")}; }},
      {"an empty source over a medium", true, [](auto& o, TempDir& t) { o.pack.sources = {t.file("empty")}; }},
      {"disks too small over a medium", true,
       [](auto& o, TempDir&) {
         o.disks = true;
         o.pack.volumeSize = 9000 + 3000;
       }},
      {"disks too small, new folder", false,
       [](auto& o, TempDir&) {
         o.disks = true;
         o.pack.volumeSize = 9000 + 3000;
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TempDir tmp;
    for (int i = 0; i < 10; ++i)
      writeFile(tmp.file("src/f" + std::to_string(i)), makeContent(3000, false, uint32_t(i)));
    fs::create_directories(tmp.file("empty"));
    writeFile(tmp.file("prog/setup"), std::string(9000, '#'));
    setupkit::MediumOptions options = baseOptions(tmp);
    if (row.earlierMedium) setupkit::makeMedium(options, "");
    const Tree before = fs::exists(tmp.file("medium")) ? readTree(tmp.file("medium")) : Tree{};
    row.spoil(options, tmp);
    EXPECT_THROW(setupkit::makeMedium(options, ""), setupkit::ToolError);
    EXPECT_EQ(fs::exists(tmp.file("medium")), row.earlierMedium);
    if (row.earlierMedium) {
      const Tree after = readTree(tmp.file("medium"));
      ASSERT_EQ(after.size(), before.size());
      for (const auto& [name, file] : before) {
        EXPECT_EQ(after.at(name).content, file.content) << name;
        EXPECT_EQ(after.at(name).mtime, file.mtime) << name;
      }
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp.path()), fs::directory_iterator()),
              row.earlierMedium ? 4 : 3);  // src, empty, prog (and medium): nothing half made beside
  }
}

// The cache folder of one test, restored afterwards.
class CacheHome {
 public:
  explicit CacheHome(const std::string& folder) {
    if (const char* old = std::getenv("XDG_CACHE_HOME")) old_ = old;
    setenv("XDG_CACHE_HOME", folder.c_str(), 1);
  }
  ~CacheHome() { old_.empty() ? unsetenv("XDG_CACHE_HOME") : setenv("XDG_CACHE_HOME", old_.c_str(), 1); }

 private:
  std::string old_;
};

TEST(MediumBuild, ThePackedRuntimeComesFromTheCacheWhileWhatItPacksIsTheSame) {
  TempDir tmp;
  CacheHome home(tmp.file("cache"));
  writeFile(tmp.file("src/a.txt"), "a");
  writeFile(tmp.file("prog/setup"), "#!/bin/sh\necho one\n");
  writeFile(tmp.file("prog/setup-launcher"), "#!/bin/sh\n");
  setupkit::MediumOptions options = baseOptions(tmp);
  options.directory.clear();
  options.singleFile = tmp.file("setup.run");
  auto make = [&] {
    auto result = setupkit::makeMedium(options, "");
    return std::make_pair(result.runtimeCached, readFile(tmp.file("setup.run")));
  };
  const auto first = make();
  EXPECT_FALSE(first.first);
  const auto second = make();
  EXPECT_TRUE(second.first);
  EXPECT_EQ(second.second, first.second);

  writeFile(tmp.file("prog/setup"), "#!/bin/sh\necho two\n");  // same size, other content
  EXPECT_FALSE(make().first);
  EXPECT_TRUE(make().first);

  // A damaged entry is packed again, not copied.
  for (const auto& entry : fs::directory_iterator(tmp.file("cache/setupkit/runtime"))) {
    std::string bytes = readFile(entry.path().string());
    writeFile(entry.path().string(), bytes.substr(0, bytes.size() - 3));
  }
  const auto repacked = make();
  EXPECT_FALSE(repacked.first);
  EXPECT_TRUE(make().first);
}

TEST(MediumBuild, DiskImagesFitTheirDisks) {
  if (!setupkit::haveExternalTool("xorriso") && !setupkit::haveExternalTool("genisoimage"))
    GTEST_SKIP() << "neither xorriso nor genisoimage is installed";
  TempDir tmp;
  writeFile(tmp.file("src/big.bin"), makeContent(2500000, false, 3));
  writeFile(tmp.file("prog/setup"), std::string(9000, '#'));
  setupkit::MediumOptions options = baseOptions(tmp);
  options.disks = true;
  options.isoImages = true;
  options.pack.volumeSize = 1 << 20;
  auto result = setupkit::makeMedium(options, "");
  ASSERT_GE(result.images.size(), 3u);
  for (const auto& image : result.images) EXPECT_LE(int64_t(fs::file_size(image)), options.pack.volumeSize) << image;
}

}  // namespace
