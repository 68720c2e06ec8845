// The packed runtime: what is packed is unpacked byte for byte with its
// execute bits, and a pack that was cut, damaged or lengthened is refused
// with a reason instead of being unpacked in part as if whole.
#include "medium/runtime_pack.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zstd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

struct Fd {
  int fd;
  explicit Fd(const std::string& path, int flags = O_RDONLY) : fd(open(path.c_str(), flags | O_CLOEXEC)) {}
  ~Fd() {
    if (fd >= 0) close(fd);
  }
};

std::string unpackInto(const std::string& pack, const std::string& target, int64_t offset = 0, int64_t length = -1) {
  fs::create_directories(target);
  Fd in(pack), dir(target, O_RDONLY | O_DIRECTORY);
  if (length < 0) length = int64_t(fs::file_size(pack)) - offset;
  return runtime_pack::unpack(in.fd, offset, length, dir.fd);
}

std::string frameOf(const std::string& records) {
  std::string frame(ZSTD_compressBound(records.size()), '\0');
  ZSTD_CCtx* c = ZSTD_createCCtx();
  ZSTD_CCtx_setParameter(c, ZSTD_c_checksumFlag, 1);
  frame.resize(ZSTD_compress2(c, frame.data(), frame.size(), records.data(), records.size()));
  ZSTD_freeCCtx(c);
  return frame;
}

std::string littleEndian(uint64_t v, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out += char((v >> (8 * i)) & 0xFF);
  return out;
}

// A pack of the given records, as a writer other than ours could make it:
// version 1, one frame.
std::string packOf(const std::string& records) { return std::string(runtime_pack::kMagicVersion1) + frameOf(records); }

// A pack of today's version with one frame of each of the given records.
std::string framedPackOf(const std::vector<std::string>& records) {
  std::string sizes, frames;
  for (const std::string& r : records) {
    const std::string frame = frameOf(r);
    sizes += littleEndian(frame.size(), 8);
    frames += frame;
  }
  return std::string(runtime_pack::kMagic) + littleEndian(records.size(), 4) + sizes + frames;
}

std::string fileRecord(const std::string& name, const std::string& bytes) {
  return "F" + littleEndian(name.size(), 2) + name + littleEndian(bytes.size(), 8) + bytes;
}

std::string folderRecord(const std::string& name) { return "D" + littleEndian(name.size(), 2) + name; }

class RuntimePack : public ::testing::Test {
 protected:
  void SetUp() override {
    tmp_.write("stage/setup", "#!/bin/sh\nexit 0\n");
    fs::permissions(tmp_.file("stage/setup"), fs::perms::owner_exec, fs::perm_options::add);
    tmp_.write("stage/runtime/lib/libx.so", std::string(300000, 'x') + "end");
    // Zeros across several pieces of the decoder, with data after them.
    tmp_.write("stage/runtime/lib/zeros.dat", std::string(700000, '\0') + "tail" + std::string(5000, '\0'));
    tmp_.write("stage/runtime/fonts/empty", "");
    pack_ = tmp_.file("runtime.pak");
    runtime_pack::pack(tmp_.file("stage"), pack_, 3);
  }

  std::string packed() const { return tmp_.read("runtime.pak"); }

  TempDir tmp_;
  std::string pack_;
};

TEST_F(RuntimePack, UnpacksEveryFileWithItsBytesAndExecuteBit) {
  ASSERT_EQ(unpackInto(pack_, tmp_.file("out")), "");
  for (const char* f : {"setup", "runtime/lib/libx.so", "runtime/lib/zeros.dat", "runtime/fonts/empty"})
    EXPECT_EQ(tmp_.read(std::string("out/") + f), tmp_.read(std::string("stage/") + f)) << f;
  EXPECT_EQ(fs::status(tmp_.file("out/setup")).permissions() & fs::perms::all, fs::perms::owner_all);
  EXPECT_EQ(fs::status(tmp_.file("out/runtime/lib/libx.so")).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  // Unpacking over what is there replaces nothing.
  EXPECT_NE(unpackInto(pack_, tmp_.file("out")).find("cannot make runtime"), std::string::npos);
}

// Lying inside a larger file (a one-file installer), it is read in place.
TEST_F(RuntimePack, UnpacksFromItsStretchOfALargerFile) {
  const std::string body = packed();
  tmp_.write("installer", "launcher bytes" + body + "archive bytes");
  EXPECT_EQ(unpackInto(tmp_.file("installer"), tmp_.file("out"), 14, int64_t(body.size())), "");
  EXPECT_EQ(tmp_.read("out/runtime/lib/libx.so"), tmp_.read("stage/runtime/lib/libx.so"));
}

// A file packed alone is taken out from its own frame: a damaged frame of
// the rest does not stop it (nothing after its frame is decoded), while
// unpacking the whole pack finds the damage.
TEST_F(RuntimePack, AFilePackedAloneIsExtractedWithoutTheRest) {
  tmp_.write("stage/uninstall", "the uninstaller's bytes");
  runtime_pack::pack(tmp_.file("stage"), tmp_.file("alone.pak"), 3, {"uninstall"});
  std::string body = tmp_.read("alone.pak");
  body[body.size() - 6] ^= 0x55;  // inside the last frame
  tmp_.write("damaged.pak", body);
  const int fd = open(tmp_.file("damaged.pak").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  const int out = open(tmp_.file("uninstall.out").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  EXPECT_EQ(runtime_pack::extract(fd, 0, int64_t(body.size()), "uninstall", out), "");
  close(out);
  close(fd);
  EXPECT_EQ(tmp_.read("uninstall.out"), "the uninstaller's bytes");
  EXPECT_NE(unpackInto(tmp_.file("damaged.pak"), tmp_.file("out")), "");
  ASSERT_EQ(unpackInto(tmp_.file("alone.pak"), tmp_.file("whole")), "");
  EXPECT_EQ(tmp_.read("whole/uninstall"), "the uninstaller's bytes");
  EXPECT_EQ(tmp_.read("whole/runtime/lib/libx.so"), tmp_.read("stage/runtime/lib/libx.so"));
}

// x86 code is packed with its branch targets absolute and unpacked (whole,
// or one file taken out) byte for byte: a real program (this test), and
// made-up code whose opcode bytes crowd each other, lie across the
// unpacker's pieces of 128 KiB and end the file.
TEST_F(RuntimePack, X86CodeComesBackByteForByte) {
  std::string code = std::string(
                         "\x7f"
                         "ELF\x02\x01\x01",
                         7) +
                     std::string(11, '\0') + "\x3e" + std::string(45, '\0');
  for (uint32_t i = 0; code.size() < 3 * 131072 + 7; ++i) {
    code += char(i % 3 == 0 ? 0xE8 : 0xE9);
    if (i % 5 == 0) code += std::string(4, char(0xE8));                          // an opcode inside a displacement
    if (i % 7 == 0) code += littleEndian(uint32_t(i * 2654435761u), 4);          // far: left as it is
    code += littleEndian(uint32_t((uint32_t(int32_t(i % 11) - 5)) * 4099u), 4);  // near, either way
    code += std::string(i % 4, char(0x90));
  }
  code += "\xe8\x01\x02";  // an opcode too near the end
  tmp_.write("stage/runtime/lib/libcode.so", code);
  fs::copy_file("/proc/self/exe", tmp_.file("stage/uninstall"));
  runtime_pack::pack(tmp_.file("stage"), tmp_.file("code.pak"), 3, {"uninstall"});
  ASSERT_EQ(unpackInto(tmp_.file("code.pak"), tmp_.file("out")), "");
  EXPECT_TRUE(tmp_.read("out/runtime/lib/libcode.so") == code);
  EXPECT_TRUE(tmp_.read("out/uninstall") == tmp_.read("stage/uninstall"));
  Fd in(tmp_.file("code.pak"));
  const int out = open(tmp_.file("uninstall.out").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  EXPECT_EQ(runtime_pack::extract(in.fd, 0, int64_t(fs::file_size(tmp_.file("code.pak"))), "uninstall", out), "");
  close(out);
  EXPECT_TRUE(tmp_.read("uninstall.out") == tmp_.read("stage/uninstall"));
}

TEST_F(RuntimePack, RefusesWhatIsNotWhole) {
  const std::string body = packed();
  std::string flipped = body;
  flipped[body.size() / 2] ^= 0x20;
  // The first frame's descriptor, after the count and the sizes.
  std::string noChecksum = body;
  noChecksum[runtime_pack::kMagicSize + 4 + 8 * size_t(body[runtime_pack::kMagicSize]) + 4] &= ~0x04;
  std::string emptyPart = framedPackOf({"", fileRecord("a", "a") + "E"});
  emptyPart.replace(runtime_pack::kMagicSize + 4, 8, littleEndian(0, 8));
  const std::string record = fileRecord("a", "abc");
  struct Row {
    const char* name;
    std::string bytes;
  } rows[] = {
      {"cut in the middle", body.substr(0, body.size() / 2)},
      {"cut before the checksum", body.substr(0, body.size() - 2)},
      {"magic only", body.substr(0, runtime_pack::kMagicSize)},
      {"a byte changed", flipped},
      {"bytes after the end", body + "x"},
      {"a second frame", body + body.substr(runtime_pack::kMagicSize)},
      {"no checksum flag", noChecksum},
      {"another file", "not a packed runtime at all"},
      {"a name that climbs out", packOf(fileRecord("../escaped", "a") + "E")},
      {"an absolute name", packOf(fileRecord("/tmp/escaped", "a") + "E")},
      {"an empty component", packOf(fileRecord("a//b", "a") + "E")},
      {"no end record", packOf(fileRecord("a", "a"))},
      {"no parts", std::string(runtime_pack::kMagic) + littleEndian(0, 4)},
      {"an empty part", emptyPart},
      {"a folder after the first part", framedPackOf({"", folderRecord("d") + fileRecord("d/a", "a") + "E"})},
      {"an end before the last part", framedPackOf({"E", fileRecord("a", "a") + "E"})},
      {"no end in the last part", framedPackOf({folderRecord("d"), fileRecord("d/a", "a")})},
      {"a record across two parts", framedPackOf({"", record.substr(0, 8), record.substr(8) + "E"})},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    tmp_.write("bad.pak", row.bytes);
    fs::remove_all(tmp_.file("bad"));
    EXPECT_NE(unpackInto(tmp_.file("bad.pak"), tmp_.file("bad")), "");
    Fd in(tmp_.file("bad.pak"));
    EXPECT_NE(runtime_pack::list(in.fd, 0, int64_t(row.bytes.size()), [](const runtime_pack::Entry&) {}), "");
  }
  EXPECT_FALSE(fs::exists(tmp_.file("escaped")));
  // The same records with a sound name are unpacked, in either version.
  tmp_.write("ok.pak", packOf(fileRecord("good", "a") + "E"));
  EXPECT_EQ(unpackInto(tmp_.file("ok.pak"), tmp_.file("ok")), "");
  EXPECT_EQ(tmp_.read("ok/good"), "a");
  tmp_.write("ok2.pak", framedPackOf({folderRecord("d"), fileRecord("d/a", "a"), fileRecord("b", "b") + "E"}));
  EXPECT_EQ(unpackInto(tmp_.file("ok2.pak"), tmp_.file("ok2")), "");
  EXPECT_EQ(tmp_.read("ok2/d/a") + tmp_.read("ok2/b"), "ab");
}

}  // namespace
