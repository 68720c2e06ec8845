// Packing trees and restoring them through the engine gives the same bytes
// and times, whatever the level, the volume size or the number of threads.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "common/tool_error.h"
#include "tests/support/archive_builder.h"
#include "tests/support/scoped_time_zone.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/tool_test_util.h"
#include "tools/archive_reader.h"
#include "tools/inspect.h"

namespace fs = std::filesystem;
using namespace tooltest;
using setupkit::Level;

namespace {

// 1980-01-02 .. about 2037, odd seconds included.
int64_t randomTime(std::mt19937& r) { return 315705600 + int64_t(r() % 1800000000u); }

enum class Shape { SmallAndEmpty, AroundOnePiece, PieceMultiples, DeepPaths, ManyFiles };

Tree makeTree(Shape shape, uint32_t seed) {
  std::mt19937 r(seed);
  Tree t;
  auto add = [&](const std::string& name, size_t size, bool text) {
    t[name] = TreeFile{makeContent(size, text, r()), randomTime(r)};
  };
  switch (shape) {
    case Shape::SmallAndEmpty:
      add("empty.txt", 0, true);
      add("one.bin", 1, false);
      add("sub/two.txt", 2, true);
      add("sub/empty2", 0, false);
      add("readme.txt", 300, true);
      break;
    case Shape::AroundOnePiece:
      for (size_t size : {16383, 16384, 16385}) {
        add("text" + std::to_string(size) + ".txt", size, true);
        add("noise" + std::to_string(size) + ".bin", size, false);
      }
      break;
    case Shape::PieceMultiples:
      for (size_t size : {32767, 32768, 32769, 49152, 65536 + 7}) add("m" + std::to_string(size), size, size % 2 == 0);
      add("big/noise.cab", 3 * 16384 + 100, false);
      break;
    case Shape::DeepPaths: {
      std::string dir;
      for (int depth = 0; depth < 12; ++depth) {
        dir += "level" + std::to_string(depth) + "/";
        add(dir + "file" + std::to_string(depth) + ".txt", r() % 5000, true);
      }
      add("Program Files/My App/bin with spaces/App.exe", 20000, false);
      break;
    }
    case Shape::ManyFiles:
      for (int i = 0; i < 400; ++i)
        add("d" + std::to_string(i % 17) + "/f" + std::to_string(i) + (i % 3 ? ".txt" : ".bin"), r() % 3000,
            i % 3 != 0);
      break;
  }
  return t;
}

struct RoundTripRow {
  const char* name;
  Shape shape;
  Level level;
  int64_t volumeSize;
};

// Rows print as their names (after the test name, and in ctest -N).
void PrintTo(const RoundTripRow& row, std::ostream* os) { *os << row.name; }

class RoundTrip : public ::testing::TestWithParam<RoundTripRow> {
 protected:
  ScopedTimeZone zone_{"UTC"};
  TempDir tmp_;
};

TEST_P(RoundTrip, RestoresIdenticalBytesAndTimes) {
  const RoundTripRow& row = GetParam();
  Tree tree = makeTree(row.shape, 7);
  writeTree(tmp_.file("src"), tree);
  setupkit::PackOptions options;
  options.level = row.level;
  options.volumeSize = row.volumeSize;
  auto result = packTree(tmp_.file("out/SETUP.BIN"), {tmp_.file("src")}, options);
  if (row.volumeSize > 0) {
    EXPECT_GT(result.volumes.size(), 1u);
    for (const auto& v : result.volumes) EXPECT_LE(int64_t(fs::file_size(v)), row.volumeSize) << v;
  }

  ASSERT_EQ(restoreTree(tmp_.path(), tmp_.file("out/SETUP.BIN"), tmp_.file("restored")), 0);
  EXPECT_EQ(differences(tree, readTree(tmp_.file("restored"))), std::vector<std::string>{});

  auto info = setupkit::readArchive(tmp_.file("out/SETUP.BIN"));
  EXPECT_TRUE(setupkit::verifyArchive(info).sound());
}

INSTANTIATE_TEST_SUITE_P(
    Trees, RoundTrip,
    ::testing::Values(RoundTripRow{"SmallAndEmpty", Shape::SmallAndEmpty, Level::Max, 0},
                      RoundTripRow{"AroundOnePiece", Shape::AroundOnePiece, Level::Max, 0},
                      RoundTripRow{"AroundOnePieceStored", Shape::AroundOnePiece, Level::None, 0},
                      RoundTripRow{"PieceMultiplesFastest", Shape::PieceMultiples, Level::Fastest, 0},
                      RoundTripRow{"PieceMultiplesDefault", Shape::PieceMultiples, Level::Default, 0},
                      RoundTripRow{"PieceMultiplesInVolumes", Shape::PieceMultiples, Level::None, 40000},
                      RoundTripRow{"DeepPaths", Shape::DeepPaths, Level::Max, 0},
                      RoundTripRow{"ManyFiles", Shape::ManyFiles, Level::Max, 0},
                      RoundTripRow{"ManyFilesInSmallVolumes", Shape::ManyFiles, Level::Max, 20000}),
    [](const auto& info) { return std::string(info.param.name); });

// Cuts at many positions: inside files, between files, just before the
// file list; every archive restores the same tree and verifies as sound.
TEST(VolumeCuts, EveryCutPositionRestoresTheSameTree) {
  ScopedTimeZone zone("UTC");
  TempDir tmp;
  Tree tree;
  tree["a.txt"] = TreeFile{makeContent(700, true, 1), 1000000000};
  tree["empty.txt"] = TreeFile{"", 1000000002};
  tree["dir/long.txt"] = TreeFile{makeContent(5 * 16384 + 11, true, 2), 1100000000};
  tree["dir/b.bin"] = TreeFile{makeContent(300, false, 3), 1200000001};
  tree["z.txt"] = TreeFile{makeContent(50, true, 4), 1300000000};
  writeTree(tmp.file("src"), tree);

  setupkit::PackOptions single;
  single.level = Level::Fastest;
  int64_t whole = int64_t(packTree(tmp.file("one.bin"), {tmp.file("src")}, single).archiveBytes);
  int packed = 0, spanning = 0;
  for (int64_t size = 120; size <= whole + 20; size += 53) {
    fs::remove_all(tmp.file("cut"));
    fs::create_directories(tmp.file("cut"));
    setupkit::PackOptions options;
    options.volumeSize = size;
    options.threads = 1;
    options.level = Level::Fastest;
    setupkit::PackResult result;
    try {
      result = packTree(tmp.file("cut/SETUP.BIN"), {tmp.file("src")}, options);
    } catch (const setupkit::ToolError&) {
      // Too small for the largest chunk: refused, and nothing left behind.
      EXPECT_TRUE(fs::is_empty(tmp.file("cut"))) << size;
      continue;
    }
    ++packed;
    for (const auto& v : result.volumes) ASSERT_LE(int64_t(fs::file_size(v)), size);
    auto info = setupkit::readArchive(tmp.file("cut/SETUP.BIN"));
    ASSERT_TRUE(setupkit::verifyArchive(info).sound()) << size;
    // A continuation volume that starts with a non-empty block carries a
    // file's data across the cut.
    for (size_t v = 1; v < result.volumes.size(); ++v)
      spanning += readFile(result.volumes[v]).compare(4, 4, std::string(4, '\0')) != 0;

    fs::remove_all(tmp.file("restored"));
    ASSERT_EQ(restoreTree(tmp.path(), tmp.file("cut/SETUP.BIN"), tmp.file("restored")), 0) << size;
    ASSERT_EQ(differences(tree, readTree(tmp.file("restored"))), std::vector<std::string>{}) << size;
  }
  EXPECT_GT(packed, 20) << whole;
  EXPECT_GT(spanning, 10) << packed;
}

TEST(PackDeterminism, OneThreadAndFourGiveTheSameBytes) {
  TempDir tmp;
  writeTree(tmp.file("src"), makeTree(Shape::ManyFiles, 3));
  writeTree(tmp.file("src"), makeTree(Shape::PieceMultiples, 4));
  for (int64_t volumeSize : {int64_t(0), int64_t(30000)}) {
    setupkit::PackOptions options;
    options.volumeSize = volumeSize;
    options.threads = 1;
    auto one = packTree(tmp.file("t1/SETUP.BIN"), {tmp.file("src")}, options);
    options.threads = 4;
    // The progress climbs to TotalSize as the files are written.
    std::vector<uint64_t> progress;
    options.progress = [&](uint64_t done, uint64_t total) {
      EXPECT_TRUE(progress.empty() || done >= progress.back());
      EXPECT_LE(done, total);
      progress.push_back(done);
    };
    auto four = packTree(tmp.file("t4/SETUP.BIN"), {tmp.file("src")}, options);
    EXPECT_EQ(readVolumes(one.volumes), readVolumes(four.volumes)) << volumeSize;
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), four.totalSize);
  }
}

// A five-byte file, stored since compression cannot shrink it, without a
// file list: the smallest archive byte for byte, its date the file's local
// time in either time zone.
TEST(PackLayout, SmallestArchiveIsByteExact) {
  for (const char* zone : {"UTC0", "Europe/Berlin"}) {
    SCOPED_TRACE(zone);
    ScopedTimeZone scoped(zone);
    TempDir tmp;
    struct tm local {};
    local.tm_year = 2001 - 1900;
    local.tm_mon = 5;
    local.tm_mday = 15;
    local.tm_hour = 12;
    local.tm_min = 30;
    local.tm_isdst = -1;
    writeTree(tmp.file("src"), {{"A.TXT", TreeFile{"hello", int64_t(mktime(&local))}}});
    setupkit::PackOptions options;
    options.fileList = false;
    packTree(tmp.file("a.bin"), {tmp.file("src")}, options);
    EXPECT_EQ(readFile(tmp.file("a.bin")), kSmallestArchive);
  }
}

// Files given one by one are stored under their own names; a header text is
// kept; the file list comes last and restores nothing.
TEST(PackLayout, FileSourcesHeaderTextAndFileList) {
  TempDir tmp;
  tmp.write("x/one.txt", "one");
  tmp.write("y/two.txt", "two!");
  setupkit::PackOptions options;
  options.headerText = "My product 1.0";
  packTree(tmp.file("a.bin"), {tmp.file("x/one.txt"), tmp.file("y/two.txt")}, options);
  auto info = setupkit::readArchive(tmp.file("a.bin"));
  ASSERT_EQ(info.entries.size(), 3u);
  EXPECT_EQ(info.entries[0].name, "C:\\one.txt");
  EXPECT_EQ(info.entries[1].name, "C:\\two.txt");
  EXPECT_EQ(info.entries[2].kind, setupkit::EntryKind::FileList);
  EXPECT_EQ(info.headerText, "My product 1.0");
  EXPECT_EQ(info.totalSize, 7);
  EXPECT_EQ(restoreTree(tmp.path(), tmp.file("a.bin"), tmp.file("r")), 0);
  EXPECT_EQ(readTree(tmp.file("r")).size(), 2u);
}

// Pack writes the hashes and verify checks them with the same code, so a
// hash that is wrong the same way twice would pass: the manifest must hold
// the standard digests. The large file is hashed piece by piece as it is
// read and, stored across volumes, by the reader over its continuation;
// the second copy's chunks are decoded in two batches.
TEST(PackLayout, ManifestHoldsTheStandardSha256) {
  TempDir tmp;
  tmp.write("src/a-empty", "");
  tmp.write("src/b-abc", "abc");
  tmp.write("src/c-million", std::string(1000000, 'a'));
  tmp.write("src/d-million", std::string(1000000, 'a'));
  setupkit::PackOptions options;
  options.level = Level::None;
  options.volumeSize = int64_t(300) * 1024;
  packTree(tmp.file("m.bin"), {tmp.file("src")}, options);
  auto info = setupkit::readArchive(tmp.file("m.bin"));
  ASSERT_GT(info.volumes.size(), 3u);
  const std::vector<std::string> expected = {"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855",
                                             "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
                                             "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"};
  std::string manifest;
  std::vector<std::string> read;
  for (const auto& e : info.entries) {
    if (e.kind == setupkit::EntryKind::FileList) manifest = e.data;
    if (e.kind == setupkit::EntryKind::File) read.push_back(e.sha256);
  }
  EXPECT_EQ(manifest, "0 " + expected[0] + " C:\\a-empty\n3 " + expected[1] + " C:\\b-abc\n1000000 " + expected[2] +
                          " C:\\c-million\n1000000 " + expected[2] + " C:\\d-million\n");
  EXPECT_EQ(read, (std::vector<std::string>{expected[0], expected[1], expected[2], expected[2]}));
}

}  // namespace
