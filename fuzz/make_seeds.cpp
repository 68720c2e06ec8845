// Writes the fuzzer's seed corpus: well-formed and slightly damaged archives,
// each preceded by the settings byte the fuzzer reads first.
//   make_seeds DIR
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
  std::string archive;
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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: make_seeds DIR\n");
    return 2;
  }
  for (const auto& seed : seeds()) {
    std::ofstream f(std::string(argv[1]) + "/" + seed.name, std::ios::binary);
    f.put(char(seed.settings));
    f << seed.archive;
    if (!f) {
      fprintf(stderr, "make_seeds: cannot write %s\n", seed.name);
      return 1;
    }
  }
  return 0;
}
