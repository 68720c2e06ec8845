// The data block decoder: signatures, stored and compressed chunks, skip mode,
// progress figures, zlib failures and damaged input.
#include <climits>
#include <cstdlib>

#include "engine/zlib_inflater.h"
#include "framework/core/exceptions.h"
#include "tests/engine/engine_test_support.h"
#include "tests/support/expect_message.h"

namespace {

std::vector<uint8_t> toVector(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }
std::string toString(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

// n bytes of text that compresses well.
std::string textBytes(size_t n) {
  std::string s;
  for (int i = 0; s.size() < n; ++i) s += "line " + std::to_string(i % 97) + " of the text\n";
  return s.substr(0, n);
}

// A memory stream that counts the bytes its reads deliver.
class CountingStream : public TMemoryStream {
 public:
  using TMemoryStream::TMemoryStream;
  int64_t read(void* buffer, int64_t count) override {
    int64_t n = TMemoryStream::read(buffer, count);
    bytesRead += n;
    return n;
  }
  int64_t bytesRead = 0;
};

// A stream that stores at most `room` bytes, like a disk that fills up.
class FullDiskStream : public TMemoryStream {
 public:
  explicit FullDiskStream(int64_t room) : room_(room) {}
  int64_t write(const void* buffer, int64_t count) override {
    int64_t n = std::min(count, room_ - int64_t(data().size()));
    return n > 0 ? TMemoryStream::write(buffer, n) : 0;
  }

 private:
  int64_t room_;
};

class DataBlockTest : public EngineTest {
 protected:
  void SetUp() override { backup.FContinue = true; }

  // Decodes `block` in write mode into memory; returns what was written.
  std::string decode(const std::string& block, int64_t cap = 0) {
    TMemoryStream source(toVector(block));
    source.setMaxReadSize(cap);
    TMemoryStream dest;
    backup.ReadDataBlock(source, &dest, true);
    EXPECT_EQ(source.position(), int64_t(block.size()));
    return toString(dest.data());
  }
};

// ---- signatures ----

struct SignatureRow {
  const char* name;
  std::string bytes;
  bool valid;
};

TEST_F(DataBlockTest, SignatureIsEc2FollowedByAZeroByte) {
  const SignatureRow rows[] = {
      {"ec2 and zero", std::string("EC2\0", 4), true},
      {"ec2 and a letter", "EC2X", false},
      {"ec2 and a digit", "EC21", false},
      {"two letters and two zeros", std::string("EC\0\0", 4), false},
      {"two letters, zero, digit",
       std::string("EC\0"
                   "2",
                   4),
       false},
      {"lower case", std::string("ec2\0", 4), false},
      {"all zeros", std::string(4, '\0'), false},
      {"leading zero", std::string("\0EC2", 4), false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    for (bool write : {true, false}) {
      std::string block = DataBlock().signature(row.bytes).stored("abc").bytes();
      TMemoryStream source(toVector(block));
      TMemoryStream dest;
      backup.FErrorCode = 0;
      backup.FContinue = true;
      if (row.valid) {
        backup.ReadDataBlock(source, write ? &dest : nullptr, write);
        EXPECT_EQ(source.position(), int64_t(block.size()));
        EXPECT_EQ(toString(dest.data()), write ? "abc" : "");
      } else {
        EXPECT_THROW_MESSAGE(backup.ReadDataBlock(source, write ? &dest : nullptr, write), Exception,
                             "Invalid archive type");
        EXPECT_EQ(source.position(), 4);  // nothing read after the signature
        EXPECT_TRUE(dest.data().empty());
        EXPECT_EQ(backup.FErrorCode, 0);
        EXPECT_TRUE(backup.FContinue);
      }
    }
  }
}

// ---- write mode ----

struct ContentRow {
  const char* name;
  DataBlock block;
  std::string expected;
  int chunks;  // including the terminating one
};

std::vector<ContentRow> contentRows() {
  const std::string big = patternBytes(16384, 7);
  const std::string text(16384, 'x');
  const std::string mixed = patternBytes(10000, 3) + textBytes(16384) + patternBytes(13616, 4);
  return {
      {"empty file", DataBlock(), "", 1},
      {"one stored chunk", DataBlock().stored("hello"), "hello", 2},
      {"stored chunk of 16384 bytes", DataBlock().stored(big), big, 2},
      {"one compressed chunk", DataBlock().compressed("hello, hello, hello"), "hello, hello, hello", 2},
      {"compressed chunk inflating to 16384", DataBlock().compressed(text), text, 2},
      {"compressed at level 0", DataBlock().compressed(big.substr(0, 1000), 0), big.substr(0, 1000), 2},
      {"stored and compressed mixed",
       DataBlock().stored(mixed.substr(0, 10000)).compressed(mixed.substr(10000, 16384)).stored(mixed.substr(26384)),
       mixed, 4},
      {"content split by the builder", DataBlock::ofContent(mixed, true), mixed, 4},
      {"compressible content split by the builder", DataBlock::ofContent(textBytes(40000), true), textBytes(40000), 4},
  };
}

// Whole reads (cap 0) and reads that deliver a few bytes at a time.
TEST_F(DataBlockTest, WriteModeReproducesTheContent) {
  for (const auto& row : contentRows()) {
    for (int cap = 0; cap <= 7; ++cap) {
      SCOPED_TRACE(std::string(row.name) + ", reads of at most " + std::to_string(cap));
      app.processed = 0;
      EXPECT_EQ(decode(row.block.bytes(), cap), row.expected);
      EXPECT_EQ(app.processed, row.chunks);  // once per chunk, the terminating one included
      EXPECT_EQ(backup.FErrorCode, 0);
      EXPECT_TRUE(backup.FContinue);
    }
  }
}

TEST_F(DataBlockTest, DestIsWrittenAtItsCurrentPosition) {
  TMemoryStream source(toVector(DataBlock().stored("tail").bytes()));
  TMemoryStream dest(toVector("head"));
  dest.seek(0, platform::kSeekEnd);
  backup.ReadDataBlock(source, &dest, true);
  EXPECT_EQ(toString(dest.data()), "headtail");
}

// ---- skip mode ----

TEST_F(DataBlockTest, SkipModeReadsOnlyTheLengthFieldsOfAnyChunk) {
  const std::string large = patternBytes(100000);
  const std::string block = DataBlock()
                                .stored(patternBytes(1000))
                                .chunkLength(-100000)
                                .raw(large)
                                .compressed(std::string(5000, 'a'))
                                .chunkLength(70000)  // beyond any chunk a writer makes
                                .raw(large.substr(0, 70000))
                                .bytes();
  CountingStream source(toVector(block + "NEXT"));
  backup.FTotalSize = 100;
  backup.ReadDataBlock(source, nullptr, false);
  EXPECT_EQ(source.position(), int64_t(block.size()));
  EXPECT_EQ(source.bytesRead, 4 + 5 * 4);  // signature and five ChunkLength fields
  EXPECT_EQ(app.processed, 5);
  EXPECT_TRUE(log.progress.empty());
  EXPECT_EQ(backup.FBytesDone, 0);
}

TEST_F(DataBlockTest, SkipModeNoticesALengthPastTheEndAtTheNextRead) {
  const char* names[] = {"past the end", "most negative length"};
  const int32_t lengths[] = {-50, INT32_MIN};
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(names[i]);
    TMemoryStream source(toVector(DataBlock().chunkLength(lengths[i]).raw("short").unterminated().bytes()));
    EXPECT_THROW_MESSAGE(backup.ReadDataBlock(source, nullptr, false), EReadError, "Stream read error");
  }
}

// ---- FContinue ----

TEST_F(DataBlockTest, NothingButTheSignatureIsReadWhenStoppedOnEntry) {
  const std::string block = DataBlock().stored("data").bytes();
  for (bool write : {true, false}) {
    SCOPED_TRACE(write ? "write mode" : "skip mode");
    TMemoryStream source(toVector(block));
    TMemoryStream dest;
    app.processed = 0;
    backup.FContinue = false;
    backup.ReadDataBlock(source, write ? &dest : nullptr, write);
    EXPECT_EQ(source.position(), 4);
    EXPECT_TRUE(dest.data().empty());
    EXPECT_EQ(app.processed, 0);
  }
  // The signature is still checked.
  TMemoryStream bad(toVector(DataBlock().signature("XXXX").bytes()));
  EXPECT_THROW_MESSAGE(backup.ReadDataBlock(bad, nullptr, false), Exception, "Invalid archive type");
}

// ---- progress ----

class DataBlockProgressTest : public DataBlockTest {
 protected:
  void SetUp() override {
    DataBlockTest::SetUp();
    log.attach(backup);
    backup.FCurrentFile = "C:\\dest\\file.bin";
    out = std::make_unique<TFileStream>("C:\\out.bin", fmCreate);
  }
  void decodeToFile(const std::string& block) {
    TMemoryStream source(toVector(block));
    backup.ReadDataBlock(source, out.get(), true);
  }
  std::vector<int> percents() const {
    std::vector<int> p;
    for (const auto& e : log.progress) p.push_back(e.percent);
    return p;
  }
  std::unique_ptr<TFileStream> out;
};

TEST_F(DataBlockProgressTest, ThreeChunksOfAFortyThousandByteArchive) {
  const std::string content = textBytes(40000);
  const DataBlock block = DataBlock::ofContent(content, true);
  ASSERT_EQ(block.bytes().find(int32Bytes(-16384)), std::string::npos);  // compressed chunks only
  backup.FTotalSize = 40000;
  backup.FBytesDone = 0;
  decodeToFile(block.bytes());
  EXPECT_EQ(percents(), (std::vector<int>{40, 81, 100, 100}));
  for (const auto& e : log.progress) EXPECT_EQ(e.file, "C:\\dest\\file.bin");
  EXPECT_EQ(backup.FBytesDone, 40000);
  EXPECT_EQ(tmp.read("out.bin"), content);
}

struct PercentRow {
  const char* name;
  int32_t totalSize;
  int32_t doneBefore;
  std::string content;
  int expected;
};

TEST_F(DataBlockProgressTest, PercentOfTheArchiveTotal) {
  const PercentRow rows[] = {
      {"half of 30000000", 30000000, 15000000 - 5, "12345", 50},
      {"all of 30000000", 30000000, 30000000 - 5, "12345", 100},
      {"product beyond 32 bits", 2000000000, 1000000000 - 5, "12345", 50},
      {"truncating division", 7, 0, "12345", 71},
      {"just under the total", 6, 0, "12345", 83},
      {"more bytes than the total", 100, 200, "12345", 100},
      {"total of zero", 0, 0, "12345", 0},
      {"negative total", -10, 0, "12345", 0},
      {"empty file: one report, the percent unchanged", 200, 50, "", 25},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    log.progress.clear();
    backup.FTotalSize = row.totalSize;
    backup.FBytesDone = row.doneBefore;
    decodeToFile((row.content.empty() ? DataBlock() : DataBlock().stored(row.content)).bytes());
    ASSERT_EQ(log.progress.size(), row.content.empty() ? 1u : 2u);
    EXPECT_EQ(log.progress[0].percent, row.expected);
    EXPECT_EQ(backup.FBytesDone, row.doneBefore + int32_t(row.content.size()));
  }
}

TEST_F(DataBlockProgressTest, ProgressFollowsMessageProcessing) {
  std::vector<std::string> order;
  app.onProcess = [&] { order.push_back("messages"); };
  backup.OnProgress =
      TProgressEvent([&](TObject*, const std::string&, TPercentage, bool&) { order.push_back("progress"); });
  backup.FTotalSize = 10;
  decodeToFile(DataBlock().stored("abc").bytes());
  EXPECT_EQ(order, (std::vector<std::string>{"messages", "progress", "messages", "progress"}));
}

TEST_F(DataBlockProgressTest, OnlyFileStreamsCountAndReport) {
  backup.FTotalSize = 10;
  TMemoryStream source(toVector(DataBlock().stored("abc").bytes()));
  TMemoryStream dest;
  backup.ReadDataBlock(source, &dest, true);
  EXPECT_TRUE(log.progress.empty());
  EXPECT_EQ(backup.FBytesDone, 0);
}

TEST_F(DataBlockProgressTest, AHandlerThatClearsContinueStopsAfterItsChunk) {
  backup.FTotalSize = 100;
  backup.OnProgress = TProgressEvent([&](TObject*, const std::string&, TPercentage p, bool& c) {
    log.progress.push_back({"", p});
    c = false;
  });
  const std::string first = DataBlock().stored("first").bytes();
  const std::string block = DataBlock().stored("first").stored("second").bytes();
  TMemoryStream source(toVector(block));
  backup.ReadDataBlock(source, out.get(), true);
  EXPECT_EQ(log.progress.size(), 1u);
  EXPECT_EQ(source.position(), int64_t(first.size()) - 4);  // just past the first chunk
  EXPECT_EQ(tmp.read("out.bin"), "first");
  EXPECT_FALSE(backup.FContinue);
}

// ---- zlib ----

std::string withLastByteFlipped(std::string s) {
  s.back() = char(s.back() ^ 0x55);
  return s;
}

struct ZlibFailureRow {
  const char* name;
  std::string chunk;
  std::string written;
};

TEST_F(DataBlockProgressTest, AZlibFailureSetsCodeSixAndKeepsWhatWasProduced) {
  const std::string text = "compressible text, compressible text, compressible text";
  const ZlibFailureRow rows[] = {
      {"checksum mismatch", withLastByteFlipped(zlibCompress(text)), text},
      {"wrong header check", "\x78\x9d" + zlibCompress(text).substr(2), ""},
      {"not deflate", "\x79\x9c" + zlibCompress(text).substr(2), ""},
      {"invalid block type", std::string("\x78\x9c\xff\xff\xff\xff", 6), ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    log.progress.clear();
    out = std::make_unique<TFileStream>("C:\\out.bin", fmCreate);
    backup.FTotalSize = 1000;
    backup.FBytesDone = 0;
    backup.FErrorCode = 0;
    backup.FContinue = true;
    decodeToFile(DataBlock().compressedRaw(row.chunk).stored("never").bytes());
    EXPECT_EQ(backup.FErrorCode, 6);
    EXPECT_FALSE(backup.FContinue);
    EXPECT_EQ(tmp.read("out.bin"), row.written);
    ASSERT_EQ(log.progress.size(), 1u);  // reported as usual, then the loop ends
    EXPECT_EQ(backup.FBytesDone, int32_t(row.written.size()));
  }
}

TEST_F(DataBlockProgressTest, AHandlerMayGoOnAfterAZlibFailure) {
  backup.FTotalSize = 1000;
  backup.OnProgress = TProgressEvent([](TObject*, const std::string&, TPercentage, bool& c) { c = true; });
  decodeToFile(DataBlock().compressedRaw("\x78\x9d\x01\x02").stored("next").bytes());
  EXPECT_EQ(backup.FErrorCode, 6);
  EXPECT_TRUE(backup.FContinue);
  EXPECT_EQ(tmp.read("out.bin"), "next");
}

TEST_F(DataBlockTest, ZlibResultsThatAreNotFailures) {
  const std::string text = patternBytes(600, 9) + std::string(1000, 'z');
  const std::string big(20000, 'q');
  const std::string full = zlibCompress(text);
  // An incomplete stream gives a prefix of the text, without an error.
  std::string written = decode(DataBlock().compressedRaw(full.substr(0, full.size() / 2)).stored("|").bytes());
  ASSERT_FALSE(written.empty());
  EXPECT_EQ(written.back(), '|');
  written.pop_back();
  EXPECT_LT(written.size(), text.size());
  EXPECT_EQ(written, text.substr(0, written.size()));
  // A stream longer than the output area gives its first 16384 bytes.
  EXPECT_EQ(decode(DataBlock().compressed(big).stored("|").bytes()), big.substr(0, 16384) + "|");
  // A stream that asks for a preset dictionary gives nothing.
  EXPECT_EQ(decode(DataBlock().compressedRaw(zlibCompressWithDictionary("abcabc", "abc")).stored("|").bytes()), "|");
  EXPECT_EQ(backup.FErrorCode, 0);
  EXPECT_TRUE(backup.FContinue);
}

// zlib's memory comes from malloc unless a test hook fails it.
int gAllocationsLeft = 0;
void* failingAllocation(size_t bytes) { return gAllocationsLeft-- > 0 ? std::malloc(bytes) : nullptr; }

struct HookReset {
  ~HookReset() { setZlibAllocationHookForTesting(nullptr); }
};

TEST_F(DataBlockTest, MemoryExhaustionInsideZlibRaisesOutOfMemory) {
  HookReset reset;
  const std::string text = patternBytes(3000);
  const std::string stream = zlibCompress(text);
  std::string badChecksum = stream;
  badChecksum.back() = char(badChecksum.back() ^ 1);
  // Only chunks the fast decoder turns down reach zlib. The inflate state is
  // allocated first; the window only when a stream stops before its end.
  const std::tuple<const char*, int, std::string> rows[] = {
      {"no memory for the state", 0, badChecksum},
      {"no memory for the window", 1, stream.substr(0, stream.size() / 2)},
  };
  for (const auto& [name, allowed, chunk] : rows) {
    SCOPED_TRACE(name);
    gAllocationsLeft = allowed;
    setZlibAllocationHookForTesting(failingAllocation);
    TMemoryStream source(toVector(DataBlock().compressedRaw(chunk).bytes()));
    TMemoryStream dest;
    EXPECT_THROW_MESSAGE(backup.ReadDataBlock(source, &dest, true), EOutOfMemory, "Out of memory");
  }
  // A sound chunk is decoded without asking for memory.
  gAllocationsLeft = 0;
  setZlibAllocationHookForTesting(failingAllocation);
  EXPECT_EQ(decode(DataBlock().compressedRaw(stream).bytes()), text);
  setZlibAllocationHookForTesting(nullptr);
  EXPECT_EQ(decode(DataBlock().compressedRaw(stream).bytes()), text);
}

// ---- damaged blocks ----

TEST_F(DataBlockTest, AChunkLargerThanTheInputAreaIsRejectedInWriteMode) {
  const std::pair<const char*, DataBlock> rows[] = {
      {"stored 16385", DataBlock().stored(std::string(16385, 's'))},
      {"compressed 16385", DataBlock().compressedRaw(std::string(16385, 'c'))},
      {"most negative length", DataBlock().stored("ok").chunkLength(INT32_MIN).raw(std::string(100, 'x'))},
  };
  for (const auto& [name, block] : rows) {
    SCOPED_TRACE(name);
    TMemoryStream source(toVector(block.bytes()));
    TMemoryStream dest;
    EXPECT_THROW_MESSAGE(backup.ReadDataBlock(source, &dest, true), Exception, "Invalid archive type");
    EXPECT_LE(dest.data().size(), 2u);
  }
}

TEST_F(DataBlockTest, AShortWriteRaisesAWriteError) {
  TMemoryStream source(toVector(DataBlock().stored("0123456789").bytes()));
  FullDiskStream dest(4);
  EXPECT_THROW_MESSAGE(backup.ReadDataBlock(source, &dest, true), EWriteError, "Stream write error");
}

TEST_F(DataBlockTest, ASourceThatEndsInsideTheBlockRaisesAReadError) {
  const std::string first = "first chunk";
  const std::string second = "second chunk";
  const std::string block = DataBlock().stored(first).compressed(second).bytes();
  const size_t firstEnds = 4 + 4 + first.size();
  const size_t secondEnds = block.size() - 4;
  const std::pair<const char*, size_t> cuts[] = {
      {"inside the signature", 2},
      {"inside a ChunkLength", 6},
      {"inside ChunkData", 10},
      {"inside the second ChunkLength", firstEnds + 2},
      {"inside the second ChunkData", firstEnds + 6},
      {"before the terminator", block.size() - 4},
      {"inside the terminator", block.size() - 1},
  };
  for (const auto& [name, length] : cuts) {
    SCOPED_TRACE(name);
    TMemoryStream source(toVector(block.substr(0, length)));
    TMemoryStream dest;
    EXPECT_THROW_MESSAGE(backup.ReadDataBlock(source, &dest, true), EReadError, "Stream read error");
    // The bytes already written stay.
    EXPECT_EQ(toString(dest.data()), length >= secondEnds ? first + second : length >= firstEnds ? first : "");
  }
}

}  // namespace
