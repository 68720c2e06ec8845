// Decoding ahead hands a chunk over only when it is exactly the chunk the
// restore read and decoded completely; everything else is left to the
// restore's own decoder.
#include <cstring>
#include <thread>

#include "engine/decode_ahead.h"
#include "engine/zlib_inflater.h"
#include "tests/engine/engine_test_support.h"

namespace {

class DecodeAheadTest : public EngineTest {};

std::string textOf(int n, size_t size) {
  std::string s;
  while (s.size() < size) s += "line " + std::to_string(n) + " of a file that compresses well\n";
  return s.substr(0, size);
}

TEST_F(DecodeAheadTest, HandsOverOnlyTheChunkTheRestoreRead) {
  if (std::thread::hardware_concurrency() < 2) GTEST_SKIP() << "decoding ahead needs a second processor";
  const std::string one = textOf(1, 16384), two = textOf(2, 900), three = textOf(3, 5000);
  std::string damaged = zlibCompress(three);
  damaged[damaged.size() / 2] = char(damaged[damaged.size() / 2] ^ 0x40);
  ArchiveBuilder volume;
  volume.header(int32_t(one.size() + two.size() + three.size()))
      .mark("records")
      .int32(4)
      .raw("C:\\A")
      .int32(int32_t(kDate2001))
      .raw(std::string("EC2\0", 4))
      .int32(int32_t(zlibCompress(one).size()))
      .mark("one")
      .raw(zlibCompress(one))
      .int32(-3)
      .raw("raw")
      .int32(int32_t(zlibCompress(two).size()))
      .mark("two")
      .raw(zlibCompress(two))
      .int32(0)
      .filler()
      .file("C:\\B", kDate2001, DataBlock().compressedRaw(damaged))
      .file("C:\\C", kDate2001, DataBlock().compressed(three))
      .end();
  writeVolume("V.BIN", volume);
  const size_t threeAt = volume.size() - 4 - zlibCompress(three).size() - 4;
  const size_t damagedAt = volume.bytes().find(damaged);

  TDecodeAhead ahead("C:\\V.BIN", int64_t(volume.offset("records")), TDecodeAhead::Start::AtRecord);
  ahead.waitUntilIdleForTesting();  // the whole volume is read

  struct Row {
    const char* name;
    size_t offset;
    std::string in;          // the bytes the restore read there
    const std::string* out;  // what must be handed over; null: nothing
  };
  std::string changed = zlibCompress(two);
  changed[3] = char(changed[3] ^ 1);
  const Row rows[] = {
      {"a full 16 KiB chunk", volume.offset("one"), zlibCompress(one), &one},
      {"a stored chunk is not decoded", volume.offset("one") + zlibCompress(one).size() + 4, "raw", nullptr},
      {"other bytes at a chunk's place", volume.offset("two"), changed, nullptr},
      {"a chunk the fast decoder refuses", damagedAt, damaged, nullptr},
      {"the chunk after a filler and a refused one", threeAt, zlibCompress(three), &three},
      {"a place where no chunk starts", threeAt + 1, zlibCompress(three).substr(1), nullptr},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    if (row.out) {
      ASSERT_EQ(volume.bytes().compare(row.offset, row.in.size(), row.in), 0);
    }
    uint32_t produced = 0;
    const uint8_t* got = ahead.take(int64_t(row.offset), reinterpret_cast<const uint8_t*>(row.in.data()),
                                    uint32_t(row.in.size()), &produced);
    if (!row.out) {
      EXPECT_EQ(got, nullptr);
      continue;
    }
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(got), produced), *row.out);
  }
}

// Nobody takes the chunks: the thread waits for free buffers, and ending the
// object must still end the thread at once.
TEST_F(DecodeAheadTest, EndsWhileWaitingForTheRestore) {
  DataBlock block;
  for (int i = 0; i < 40; ++i) block.compressed(textOf(i, 4000));
  ArchiveBuilder volume;
  volume.header(0).mark("records").file("C:\\MANY", kDate2001, block).end();
  writeVolume("MANY.BIN", volume);
  auto ahead =
      std::make_unique<TDecodeAhead>("C:\\MANY.BIN", int64_t(volume.offset("records")), TDecodeAhead::Start::AtRecord);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ahead.reset();
  SUCCEED();
}

}  // namespace
