// Writes the fuzzers' seed corpora, each input preceded by the settings byte
// the fuzzer reads first: well-formed and slightly damaged archives for the
// restore fuzzer in DIR, chunks and file data for the inflate fuzzer in
// CHUNK_DIR.
//   make_seeds DIR [CHUNK_DIR]
#include <zlib.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/archive_builder.h"

namespace {

constexpr uint32_t kDate = (21u << 25) | (6u << 21) | (15u << 16) | (12u << 11) | (30u << 5);

struct Seed {
  const char* name;
  unsigned char settings;
  std::string bytes;
};

std::vector<Seed> seeds() {
  const std::string text = [] {
    std::string t;
    for (int i = 0; t.size() < 20000; ++i) t += "line " + std::to_string(i) + "\n";
    return t;
  }();
  std::vector<Seed> out;
  out.push_back(
      {"one-stored-file", 0x00, ArchiveBuilder().header(5).storedFile("C:\\A.TXT", kDate, "12345").end().bytes()});
  out.push_back({"compressed-chunks", 0x01,
                 ArchiveBuilder()
                     .header(int32_t(text.size()))
                     .file("C:\\dir\\sub\\TEXT.TXT", kDate, DataBlock::ofContent(text, true))
                     .end()
                     .bytes()});
  out.push_back({"file-list-and-fillers", 0x22,
                 ArchiveBuilder()
                     .header(6, 7, "header text")
                     .filler()
                     .fileList(kDate, DataBlock().stored("C:\\A.TXT\r\nC:\\B.TXT"))
                     .storedFile("C:\\A.TXT", kDate, "abc")
                     .filler(-99)
                     .file("C:\\x\\B.TXT", kDate, DataBlock().compressed("def"))
                     .end()
                     .bytes()});
  out.push_back({"volume-change-in-stream", 0x13,
                 ArchiveBuilder()
                     .header(4)
                     .file("C:\\d\\SPAN.BIN", kDate, DataBlock().stored("ab"))
                     .volumeChange("002")
                     .block(DataBlock().stored("cd"))
                     .storedFile("C:\\d\\AFTER", kDate, "")
                     .end()
                     .bytes()});
  out.push_back({"empty-file-and-small-reads", 0x61,
                 ArchiveBuilder().header(1).file("C:\\E\\EMPTY", kDate, DataBlock()).end().bytes()});
  out.push_back({"paths-that-leave", 0x01,
                 ArchiveBuilder()
                     .header(3)
                     .storedFile("C:\\..\\up.txt", kDate, "1")
                     .storedFile("C:\\a/../../up.txt", kDate, "2")
                     .storedFile("C:\\a\\D:\\x", kDate, "3")
                     .end()
                     .bytes()});
  out.push_back({"damaged-zlib", 0x00,
                 ArchiveBuilder()
                     .header(10)
                     .file("C:\\Z", kDate, DataBlock().compressedRaw("\x78\x9c\x01\x02\x03").compressed("tail"))
                     .end()
                     .bytes()});
  out.push_back({"preset-dictionary", 0x00,
                 ArchiveBuilder()
                     .header(10)
                     .file("C:\\P", kDate, DataBlock().compressedRaw(zlibCompressWithDictionary("abcabc", "abc")))
                     .end()
                     .bytes()});
  return out;
}

std::vector<Seed> chunkSeeds() {
  std::string text;
  for (int i = 0; text.size() < 16384; ++i) text += "setup line " + std::to_string(i % 300) + "\n";
  text.resize(16384);
  const std::string small = text.substr(0, 1500);
  return {
      {"chunk-level-9", 0x00, zlibCompress(text)},
      {"chunk-stored-blocks", 0x00, zlibCompress(small, 0)},
      {"chunk-fixed-codes", 0x00, zlibCompressWith(small, 9, Z_FIXED)},
      {"chunk-full-flushes", 0x00, zlibCompressWith(small, 6, Z_DEFAULT_STRATEGY, 200)},
      {"chunk-overlong", 0x00, zlibCompress(text + "more")},
      {"chunk-dictionary", 0x00, zlibCompressWithDictionary(small, "setup line")},
      {"chunk-truncated", 0x00, zlibCompress(small).substr(0, 300)},
      {"data-zlib-9", 0x13, small},
      {"data-libdeflate-12", 0x19, small},
      {"data-flipped", 0x35, small},
  };
}

bool writeSeeds(const std::string& dir, const std::vector<Seed>& list) {
  for (const auto& seed : list) {
    std::ofstream f(dir + "/" + seed.name, std::ios::binary);
    f.put(char(seed.settings));
    f << seed.bytes;
    if (!f) {
      fprintf(stderr, "make_seeds: cannot write %s\n", seed.name);
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    fprintf(stderr, "usage: make_seeds DIR [CHUNK_DIR]\n");
    return 2;
  }
  if (!writeSeeds(argv[1], seeds())) return 1;
  if (argc == 3 && !writeSeeds(argv[2], chunkSeeds())) return 1;
  return 0;
}
