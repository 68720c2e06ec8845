// verify finds damage at the right volume and offset; list and verify read
// archives of other writers.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sstream>

#include "tests/support/archive_builder.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/tool_test_util.h"
#include "tools/archive_reader.h"
#include "tools/inspect.h"

namespace fs = std::filesystem;
using namespace tooltest;
using setupkit::ArchiveInfo;
using setupkit::EntryInfo;

namespace {

// The sound archive every row damages: three or more volumes, compressed and
// stored chunks, a file spanning volumes, and the manifest.
struct Fixture {
  TempDir tmp;
  std::vector<std::string> volumes;
  ArchiveInfo sound;
  Fixture() {
    writeFile(tmp.file("src/a.txt"), makeContent(3000, true, 1));
    writeFile(tmp.file("src/b/noise.bin"), makeContent(5000, false, 2));
    writeFile(tmp.file("src/b/long.txt"), makeContent(200000, true, 3));
    writeFile(tmp.file("src/c.txt"), makeContent(2000, true, 4));
    setupkit::PackOptions options;
    options.volumeSize = 9000;
    volumes = packTree(tmp.file("SETUP.BIN"), {tmp.file("src")}, options).volumes;
    sound = setupkit::readArchive(tmp.file("SETUP.BIN"));
  }
  const EntryInfo& entry(const std::string& name) const {
    for (const auto& e : sound.entries)
      if (e.name == name) return e;
    throw std::runtime_error("no entry " + name);
  }
  // Offset of the ChunkLength of an entry's first chunk.
  int64_t firstChunk(const std::string& name) const { return entry(name).at.offset + 4 + int64_t(name.size()) + 8; }
  void patch(int volume, int64_t offset, const std::string& bytes) {
    std::string v = readFile(volumes[size_t(volume) - 1]);
    v.replace(size_t(offset), bytes.size(), bytes);
    writeFile(volumes[size_t(volume) - 1], v);
  }
};

struct DamageRow {
  const char* name;
  // Damages the archive; returns the volume and offset the report must name.
  std::function<setupkit::Location(Fixture&)> damage;
  std::string messageStart;
};

class VerifyDamage : public ::testing::TestWithParam<DamageRow> {};

// Rows print as their names (after the test name, and in ctest -N).
void PrintTo(const DamageRow& row, std::ostream* os) { *os << row.name; }

TEST_P(VerifyDamage, ReportsTheDamagedPlace) {
  Fixture f;
  ASSERT_GE(f.volumes.size(), 3u);
  ASSERT_TRUE(setupkit::verifyArchive(f.sound).sound());
  const setupkit::Location at = GetParam().damage(f);
  auto info = setupkit::readArchive(f.tmp.file("SETUP.BIN"));
  auto report = setupkit::verifyArchive(info);
  ASSERT_FALSE(report.sound());
  const auto& p = report.problems.front();
  EXPECT_EQ(p.at.volume, at.volume);
  EXPECT_EQ(p.at.offset, at.offset);
  EXPECT_EQ(p.message.substr(0, GetParam().messageStart.size()), GetParam().messageStart) << p.message;

  std::ostringstream out;
  setupkit::printVerifyReport(info, report, out);
  EXPECT_NE(out.str().find(setupkit::describeLocation(info, at)), std::string::npos) << out.str();
}

INSTANTIATE_TEST_SUITE_P(Rows, VerifyDamage,
                         ::testing::Values(DamageRow{"ZlibStreamDamaged",
                                                     [](Fixture& f) {
                                                       const auto& e = f.entry("C:\\a.txt");
                                                       int64_t chunk = f.firstChunk("C:\\a.txt");
                                                       f.patch(e.at.volume, chunk + 4 + 2, std::string(6, '\xFF'));
                                                       return setupkit::Location{e.at.volume, chunk};
                                                     },
                                                     "the zlib stream is damaged"},
                                           DamageRow{"StoredByteChanged",
                                                     [](Fixture& f) {
                                                       const auto& e = f.entry("C:\\b\\noise.bin");
                                                       f.patch(e.at.volume, f.firstChunk("C:\\b\\noise.bin") + 4 + 100,
                                                               "\x01\x02");
                                                       return e.at;
                                                     },
                                                     "its SHA-256 differs from the manifest"},
                                           DamageRow{"ContinuationSignature",
                                                     [](Fixture& f) {
                                                       int last = int(f.volumes.size());
                                                       f.patch(last, 0, "EC3");
                                                       return setupkit::Location{last, 0};
                                                     },
                                                     "the data block signature is not \"EC2\""},
                                           DamageRow{"TotalSizeOffByOne",
                                                     [](Fixture& f) {
                                                       f.patch(1, 4, int32Bytes(f.sound.totalSize + 1));
                                                       return setupkit::Location{1, 4};
                                                     },
                                                     "TotalSize is "},
                                           DamageRow{"MissingVolume",
                                                     [](Fixture& f) {
                                                       int last = int(f.volumes.size());
                                                       fs::remove(f.volumes.back());
                                                       const EntryInfo* change = nullptr;
                                                       for (const auto& e : f.sound.entries)
                                                         if (e.kind == setupkit::EntryKind::VolumeChange &&
                                                             e.at.volume == last - 1)
                                                           change = &e;
                                                       return change->at;
                                                     },
                                                     "the next volume SETUP."},
                                           DamageRow{"VolumeCutShort",
                                                     [](Fixture& f) {
                                                       std::string v = readFile(f.volumes[1]);
                                                       writeFile(f.volumes[1], v.substr(0, v.size() - 10));
                                                       // The volume-change entry at the end is what is cut.
                                                       return setupkit::Location{2, int64_t(v.size()) - 16};
                                                     },
                                                     "the entry name runs past the end of the volume"}),
                         [](const auto& info) { return std::string(info.param.name); });

// An archive another writer made: fillers, a file list that is no manifest
// in the middle, no manifest at all. Sound, and listed entry by entry.
TEST(OtherWriters, FillersAndForeignFileListAreSound) {
  TempDir tmp;
  const uint32_t date = 0x2ACF63C0;  // 2001-06-15 12:30:00
  ArchiveBuilder b;
  b.header(12, 7, "Hi\x01")
      .filler()
      .storedFile("C:\\A.TXT", date, "hello")
      .fileList(date, DataBlock().stored("any text"))
      .filler(-5)
      .file("C:\\DIR\\B.TXT", date, DataBlock().compressed(std::string(7, 'b')))
      .end();
  writeFile(tmp.file("x.bin"), b.bytes());
  auto info = setupkit::readArchive(tmp.file("x.bin"));
  auto report = setupkit::verifyArchive(info);
  EXPECT_TRUE(report.sound());
  ASSERT_EQ(report.notes.size(), 1u);
  EXPECT_EQ(report.notes[0], "The file list at volume 1 (x.bin) offset 52 is not a manifest; not checked");

  const std::string stored = std::to_string(zlibCompress(std::string(7, 'b')).size());
  char row[100];
  std::snprintf(row, sizeof row, "file    2001-06-15 12:30:00            7 %12s       1  C:\\DIR\\B.TXT\n",
                stored.c_str());
  std::ostringstream out;
  EXPECT_TRUE(setupkit::printListing(info, out));
  const std::string expected = "Archive:      " + tmp.file("x.bin") +
                               " (1 volume)\n"
                               "Header text:  \"Hi?\"\n"
                               "Total size:   12\n"
                               "Header extra: 7\n"
                               "\n"
                               "Kind    Date                        Size       Stored  Chunks  Name\n"
                               "filler  -                              -            -       -  \n"
                               "file    2001-06-15 12:30:00            5            5       1  C:\\A.TXT\n"
                               "list    2001-06-15 12:30:00            8            8       1  FILE:LIST\n"
                               "filler  -                              -            -       -  \n" +
                               std::string(row) +
                               "\n"
                               "2 files, 12 bytes, " +
                               std::to_string(13 + std::stoi(stored)) + " bytes stored\n";
  EXPECT_EQ(out.str(), expected);
}

struct ForeignDamageRow {
  const char* name;
  std::function<void(ArchiveBuilder&)> build;
  int64_t offset;
  std::string message;
};

class ForeignDamage : public ::testing::TestWithParam<ForeignDamageRow> {};

// Rows print as their names (after the test name, and in ctest -N).
void PrintTo(const ForeignDamageRow& row, std::ostream* os) { *os << row.name; }

TEST_P(ForeignDamage, IsReported) {
  TempDir tmp;
  ArchiveBuilder b;
  b.header(5);
  GetParam().build(b);
  writeFile(tmp.file("x.bin"), b.bytes());
  auto report = setupkit::verifyArchive(setupkit::readArchive(tmp.file("x.bin")));
  ASSERT_FALSE(report.problems.empty());
  EXPECT_EQ(report.problems[0].at.offset, GetParam().offset);
  EXPECT_EQ(report.problems[0].message, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ForeignDamage,
    ::testing::Values(
        ForeignDamageRow{
            "ChunkLongerThanAPiece",
            [](ArchiveBuilder& b) { b.file("C:\\A", 0, DataBlock().stored(std::string(16385, 'x'))).end(); },
            12 + 4 + 4 + 4 + 4, "a chunk of 16385 bytes exceeds 16384"},
        ForeignDamageRow{
            "StreamInflatingBeyondAPiece",
            [](ArchiveBuilder& b) { b.file("C:\\A", 0, DataBlock().compressed(std::string(16385, 'x'))).end(); }, 28,
            "the zlib stream inflates to more than 16384 bytes"},
        ForeignDamageRow{"IncompleteStream",
                         [](ArchiveBuilder& b) {
                           std::string z = zlibCompress("hello");
                           b.file("C:\\A", 0, DataBlock().compressedRaw(z.substr(0, z.size() - 2))).end();
                         },
                         28, "the zlib stream is incomplete"},
        ForeignDamageRow{
            "PresetDictionary",
            [](ArchiveBuilder& b) {
              b.file("C:\\A", 0, DataBlock().compressedRaw(zlibCompressWithDictionary("hello", "he"))).end();
            },
            28, "the zlib stream needs a preset dictionary"},
        ForeignDamageRow{"UncPathName", [](ArchiveBuilder& b) { b.storedFile("\\\\srv\\share\\a", 0, "hello").end(); },
                         12, "the stored name is not a drive-letter path"},
        ForeignDamageRow{"VolumeChangeBeforeAnyFile", [](ArchiveBuilder& b) { b.volumeChange("002"); }, 12,
                         "a volume change precedes the first file entry"},
        ForeignDamageRow{"NoEndMarker", [](ArchiveBuilder& b) { b.storedFile("C:\\A", 0, "hello"); },
                         12 + 4 + 4 + 4 + 4 + 9 + 4, "the volume ends inside the entries (no end marker)"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// verify names every entry that a restore below a destination refuses, with
// a status that is not 0: damage for a NUL, refused for the rest.
TEST(VerifyNames, ReportsWhatARestoreRefuses) {
  constexpr uint32_t kDate = 0x2ACF63C0;
  struct Row {
    const char* name;
    std::string stored;
    int status;
    const char* says;
  };
  const Row rows[] = {
      {"climbs", "C:\\a\\..\\..\\evil.txt", 5, "the name leaves the destination directory"},
      {"rooted", "C:\\\\etc\\passwd", 5, "the name leaves the destination directory"},
      {"long component", "C:\\" + std::string(256, 'n'), 5, "File name too long"},
      {"nul", std::string("C:\\nul\0hidden.txt", 17), 2, "the name holds a NUL byte"},
      {"plain", "C:\\dir\\fine.txt", 0, "Sound"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TempDir tmp;
    ArchiveBuilder archive;
    archive.header(1).storedFile(row.stored, kDate, "x").end();
    writeFile(tmp.file("a.bin"), archive.bytes());
    RunResult verify = runSetupkit("verify a.bin", tmp.path(), tmp.path());
    EXPECT_EQ(verify.status, row.status) << verify.out << verify.err;
    EXPECT_NE(verify.out.find(row.says), std::string::npos) << verify.out;
  }
}

}  // namespace
