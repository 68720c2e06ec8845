// Streams: exact reads across short reads, checked writes, little-endian
// integers, memory streams with capped reads, and file streams by path.
#include "framework/core/stream.h"

#include <gtest/gtest.h>

#include "framework/core/exceptions.h"
#include "tests/support/expect_message.h"
#include "tests/support/temp_dir.h"

namespace {

std::vector<uint8_t> bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

TEST(MemoryStream, CappedReadsDeliverAtMostTheCap) {
  for (int cap = 0; cap <= 7; ++cap) {
    SCOPED_TRACE(cap);
    TMemoryStream s(bytes("0123456789"));
    s.setMaxReadSize(cap);
    char buf[16];
    int64_t n = s.read(buf, 10);
    EXPECT_EQ(n, cap == 0 ? 10 : cap);
    // Exact reads go on across the short ones.
    s.setPosition(0);
    s.readBuffer(buf, 10);
    EXPECT_EQ(std::string(buf, 10), "0123456789");
    EXPECT_EQ(s.read(buf, 1), 0);
  }
}

TEST(MemoryStream, AnExactReadPastTheEndRaisesAndConsumesWhatItRead) {
  TMemoryStream s(bytes("abc"));
  s.setMaxReadSize(1);
  char buf[8];
  EXPECT_THROW_MESSAGE(s.readBuffer(buf, 5), EReadError, "Stream read error");
  EXPECT_EQ(s.position(), 3);
  s.readBuffer(buf, 0);  // nothing asked, nothing raised
}

TEST(MemoryStream, SeekAndWrite) {
  TMemoryStream s;
  EXPECT_EQ(s.write("hello", 5), 5);
  EXPECT_EQ(s.size(), 5);
  EXPECT_EQ(s.seek(-2, platform::kSeekEnd), 3);
  EXPECT_EQ(s.seek(-10, platform::kSeekCurrent), 0);  // not before the start
  EXPECT_EQ(s.seek(10, platform::kSeekBegin), 10);    // past the end is allowed
  char c;
  EXPECT_EQ(s.read(&c, 1), 0);
  s.write("!", 1);  // a write past the end fills the gap with zeros
  EXPECT_EQ(s.data().size(), 11u);
  EXPECT_EQ(s.data()[7], 0);
  EXPECT_EQ(s.data()[10], '!');
}

struct Int32Row {
  int32_t value;
  std::string bytes;
};

TEST(Stream, Int32IsLittleEndian) {
  const Int32Row rows[] = {
      {0, std::string(4, '\0')},        {5, std::string("\x05\0\0\0", 4)},         {-5, "\xFB\xFF\xFF\xFF"},
      {0x2ACF63C0, "\xC0\x63\xCF\x2A"}, {INT32_MIN, std::string("\0\0\0\x80", 4)}, {INT32_MAX, "\xFF\xFF\xFF\x7F"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.value);
    TMemoryStream out;
    out.writeInt32(row.value);
    EXPECT_EQ(out.data(), bytes(row.bytes));
    TMemoryStream in(bytes(row.bytes));
    in.setMaxReadSize(1);
    EXPECT_EQ(in.readInt32(), row.value);
  }
  TMemoryStream shortStream(bytes("abc"));
  EXPECT_THROW_MESSAGE(shortStream.readInt32(), EReadError, "Stream read error");
}

// A stream that stores only part of each write.
class HalfWriteStream : public TMemoryStream {
 public:
  int64_t write(const void* buffer, int64_t count) override { return TMemoryStream::write(buffer, count / 2); }
};

TEST(Stream, AShortWriteRaises) {
  HalfWriteStream s;
  EXPECT_THROW_MESSAGE(s.writeBuffer("abcd", 4), EWriteError, "Stream write error");
  s.writeBuffer("", 0);
}

class FileStreamTest : public ::testing::Test {
 protected:
  TempDir tmp;
  ScopedDriveC drive{tmp.path()};
};

TEST_F(FileStreamTest, CreateWriteAndReadBack) {
  {
    TFileStream f("C:\\Out.bin", fmCreate);
    f.writeInt32(42);
    f.writeBuffer("tail", 4);
    EXPECT_EQ(f.size(), 8);
    EXPECT_EQ(f.fileName(), "C:\\Out.bin");
  }
  TFileStream r("C:\\OUT.BIN", fmOpenRead | fmShareDenyNone);
  EXPECT_EQ(r.readInt32(), 42);
  char buf[4];
  r.readBuffer(buf, 4);
  EXPECT_EQ(std::string(buf, 4), "tail");
  EXPECT_THROW_MESSAGE(r.readBuffer(buf, 1), EReadError, "Stream read error");
  EXPECT_THROW_MESSAGE(r.writeBuffer("x", 1), EWriteError, "Stream write error");
}

TEST_F(FileStreamTest, OpenModes) {
  tmp.write("data.bin", "0123456789");
  {
    TFileStream w("C:\\data.bin", fmOpenWrite | fmShareExclusive);
    w.seek(0, platform::kSeekEnd);
    w.writeBuffer("AB", 2);
  }
  EXPECT_EQ(tmp.read("data.bin"), "0123456789AB");
  {
    TFileStream rw("C:\\data.bin", fmOpenReadWrite);
    char c;
    rw.readBuffer(&c, 1);
    rw.writeBuffer("x", 1);
  }
  EXPECT_EQ(tmp.read("data.bin"), "0x23456789AB");
}

TEST_F(FileStreamTest, FailuresNameTheFile) {
  EXPECT_THROW_MESSAGE(TFileStream("C:\\missing.bin", fmOpenRead), EFOpenError, "Cannot open file \"C:\\missing.bin\"");
  EXPECT_THROW_MESSAGE(TFileStream("C:\\no\\dir\\x.bin", fmCreate), EFCreateError,
                       "Cannot create file \"C:\\no\\dir\\x.bin\"");
  EXPECT_THROW_MESSAGE(TFileStream("C:\\", fmOpenRead), EFOpenError, "Cannot open file \"C:\\\"");
}

}  // namespace
