// Damaged archives: cut at every length, and with every byte changed in turn.
// Each must end the way its damage dictates, without crashing, and write
// nothing outside the destination.
#include <filesystem>
#include <set>

#include "framework/core/exceptions.h"
#include "tests/engine/engine_test_support.h"

namespace fs = std::filesystem;

namespace {

enum class End { Success, CodeOne, CannotReadArchive, StreamReadError };

const char* endName(End e) {
  switch (e) {
    case End::Success: return "success";
    case End::CodeOne: return "error code 1";
    case End::CannotReadArchive: return "Cannot read archive";
    case End::StreamReadError: return "Stream read error";
  }
  return "?";
}

// A written stored file, the file list (skipped), a written compressed file.
ArchiveBuilder sampleArchive() {
  ArchiveBuilder a;
  a.header(140)
      .mark("A")
      .name("C:\\dir\\A.TXT")
      .int32(int32_t(kDate2001))
      .mark("A.block")
      .block(DataBlock().stored(patternBytes(30, 1)).stored(patternBytes(40, 2)))
      .mark("list")
      .name("FILE:LIST")
      .int32(0)
      .mark("list.block")
      .block(DataBlock().stored("C:\\dir\\A.TXT").compressed("C:\\dir\\B.TXT"))
      .mark("B")
      .name("C:\\dir\\B.TXT")
      .int32(int32_t(kDate2001))
      .mark("B.block")
      .block(DataBlock().compressed(std::string(70, 'b')))
      .mark("end")
      .end();
  return a;
}

// How a restore of the sample archive cut to `length` bytes must end.
End expectedEnd(const ArchiveBuilder& a, size_t length) {
  if (length == a.size()) return End::Success;
  if (length < 12) return End::CannotReadArchive;
  const bool inA = length >= a.offset("A.block") && length < a.offset("list");
  const bool inB = length >= a.offset("B.block") && length < a.offset("end");
  return inA || inB ? End::CodeOne : End::StreamReadError;
}

class DamageTest : public EngineTest {
 protected:
  void SetUp() override {
    backup.OnError = TBackupErrorEvent([this](TObject*, int32_t code, const std::string&) { codes.push_back(code); });
  }

  // Runs one restore and classifies how it ended.
  End restore(const std::string& archiveName) {
    codes.clear();
    try {
      bool ok = backup.Restore(archiveName, "C:\\dest");
      if (ok) return End::Success;
      EXPECT_EQ(codes, (std::vector<int>{1}));
      return End::CodeOne;
    } catch (const Exception& e) {
      if (e.message() == "Cannot read archive") return End::CannotReadArchive;
      EXPECT_EQ(e.message(), "Stream read error");
      return End::StreamReadError;
    }
  }

  std::vector<int> codes;
};

// Cap 0: the archive file cut short; caps 1 to 7: a stream source cut short
// whose reads deliver at most that many bytes.
TEST_F(DamageTest, AnArchiveCutAtEveryLength) {
  const ArchiveBuilder archive = sampleArchive();
  for (int cap = 0; cap <= 7; ++cap) {
    for (size_t length = 0; length <= archive.size(); ++length) {
      SCOPED_TRACE("reads of " + std::to_string(cap) + ", cut to " + std::to_string(length));
      const std::string bytes = archive.bytes().substr(0, length);
      TMemoryStream stream(std::vector<uint8_t>(bytes.begin(), bytes.end()));
      stream.setMaxReadSize(cap);
      tmp.write("SETUP.BIN", bytes);
      backup.FSourceStream = cap ? &stream : nullptr;
      const End expected = expectedEnd(archive, length);
      EXPECT_STREQ(endName(restore(cap ? ":STREAM" : "C:\\SETUP.BIN")), endName(expected));
      if (expected == End::Success) {
        EXPECT_EQ(tmp.read("dest/A.TXT"), patternBytes(30, 1) + patternBytes(40, 2));
        EXPECT_EQ(tmp.read("dest/B.TXT"), std::string(70, 'b'));
      }
    }
  }
}

// Every file below the scratch root that is not the archive lies in dest.
void expectNothingOutsideDest(const std::string& root) {
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    std::string rel = fs::relative(e.path(), root).string();
    EXPECT_TRUE(rel == "dest" || rel.rfind("dest/", 0) == 0) << rel;
  }
}

TEST_F(DamageTest, EveryByteChangedInTurn) {
  const std::string good = sampleArchive().bytes();
  const std::set<std::string> known = {"Stream read error", "Invalid archive type", "Cannot read archive",
                                       "Unable to create directory"};
  for (bool fullPath : {false, true}) {
    backup.RestoreFullPath = fullPath;
    for (size_t at = 0; at < good.size(); ++at) {
      for (unsigned char change : {0x01, 0xFF}) {
        SCOPED_TRACE("byte " + std::to_string(at) + " xor " + std::to_string(change));
        std::string bytes = good;
        bytes[at] = char(bytes[at] ^ change);
        TMemoryStream stream(std::vector<uint8_t>(bytes.begin(), bytes.end()));
        backup.FSourceStream = &stream;
        try {
          backup.Restore(":STREAM", "C:\\dest");
          EXPECT_FALSE(backup.FBusy);
        } catch (const Exception& e) {
          EXPECT_TRUE(known.count(e.message())) << e.message();
        }
        expectNothingOutsideDest(tmp.path());
        fs::remove_all(tmp.file("dest"));
      }
    }
  }
}

}  // namespace
