// Writes a deterministic installer-like corpus for the restore benchmark.
//
//   make_corpus mix DIR SCALE     many small text files, medium binaries and a
//                                 few incompressible files, about SCALE MiB
//   make_corpus small DIR COUNT   COUNT small files in a tree of directories
//
// Every byte comes from a fixed-seed generator, so two runs give the same tree.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// xoshiro256** with a splitmix64 seed: fast and the same everywhere.
class Random {
 public:
  explicit Random(uint64_t seed) {
    for (auto& s : s_) {
      seed += 0x9e3779b97f4a7c15ULL;
      uint64_t z = seed;
      z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
      z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
      s = z ^ (z >> 31);
    }
  }
  uint64_t next() {
    uint64_t result = rotl(s_[1] * 5, 7) * 9;
    uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = rotl(s_[3], 45);
    return result;
  }
  uint64_t below(uint64_t n) { return next() % n; }
  double unit() { return double(next() >> 11) / double(1ULL << 53); }
  // Log-uniform between lo and hi.
  uint64_t logUniform(double lo, double hi) {
    return uint64_t(std::exp(std::log(lo) + unit() * (std::log(hi) - std::log(lo))));
  }

 private:
  static uint64_t rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
  uint64_t s_[4];
};

const char* const kWords[] = {"the",
                              "of",
                              "and",
                              "to",
                              "in",
                              "is",
                              "for",
                              "that",
                              "with",
                              "on",
                              "as",
                              "be",
                              "this",
                              "by",
                              "are",
                              "or",
                              "it",
                              "from",
                              "at",
                              "an",
                              "which",
                              "can",
                              "not",
                              "file",
                              "files",
                              "setup",
                              "install",
                              "program",
                              "directory",
                              "user",
                              "system",
                              "data",
                              "value",
                              "return",
                              "if",
                              "else",
                              "while",
                              "const",
                              "int",
                              "string",
                              "void",
                              "begin",
                              "end",
                              "procedure",
                              "function",
                              "var",
                              "result",
                              "error",
                              "message",
                              "window",
                              "dialog",
                              "button",
                              "click",
                              "license",
                              "agreement",
                              "software",
                              "copyright",
                              "version",
                              "release",
                              "notes",
                              "configuration",
                              "option",
                              "default",
                              "application",
                              "component",
                              "property",
                              "event",
                              "handler",
                              "stream",
                              "buffer",
                              "length",
                              "count",
                              "index",
                              "Windows",
                              "Microsoft",
                              "registry",
                              "key",
                              "path",
                              "drive",
                              "volume",
                              "disk",
                              "copy",
                              "archive",
                              "restore",
                              "compressed",
                              "warranty",
                              "liability",
                              "damages",
                              "provided",
                              "including",
                              "without",
                              "limitation"};
constexpr size_t kWordCount = sizeof kWords / sizeof kWords[0];

std::string textFile(Random& r, size_t size) {
  std::string s;
  s.reserve(size + 128);
  int indent = 0;
  while (s.size() < size) {
    if (r.below(8) == 0) indent = int(r.below(4));
    s.append(size_t(indent) * 2, ' ');
    size_t words = 3 + r.below(12);
    for (size_t w = 0; w < words; ++w) {
      s += kWords[r.below(kWordCount)];
      if (r.below(10) == 0) s += std::to_string(r.below(1000));
      s += w + 1 < words ? (r.below(12) == 0 ? ", " : " ") : (r.below(3) ? ";" : ".");
    }
    s += "\r\n";
  }
  s.resize(size);
  return s;
}

// Machine-code-like bytes: instructions from a small repertoire with operands
// from skewed distributions, string tables and aligned zero padding.
std::string binaryFile(Random& r, size_t size) {
  static std::vector<std::string> repertoire;
  if (repertoire.empty()) {
    Random seed(42);
    for (int i = 0; i < 300; ++i) {
      std::string op(1 + seed.below(3), '\0');
      for (auto& c : op) c = char(seed.below(256));
      repertoire.push_back(op);
    }
  }
  std::string s;
  s.reserve(size + 64);
  while (s.size() < size) {
    uint64_t kind = r.below(100);
    if (kind < 80) {
      size_t n = 8 + r.below(64);
      for (size_t i = 0; i < n; ++i) {
        // Zipf-like choice of the instruction.
        size_t pick = size_t(std::pow(r.unit(), 3.0) * double(repertoire.size()));
        s += repertoire[pick];
        uint64_t operand = r.below(4);
        if (operand == 1) s += char(r.below(16) * 4);
        if (operand == 2) {
          uint32_t v = uint32_t(0x401000 + r.below(4096) * 16);
          s.append(reinterpret_cast<const char*>(&v), 4);
        }
      }
    } else if (kind < 90) {
      size_t n = 4 + r.below(40);
      for (size_t i = 0; i < n; ++i) {
        uint32_t v = uint32_t(r.below(r.below(2) ? 256 : 65536));
        s.append(reinterpret_cast<const char*>(&v), 4);
      }
    } else if (kind < 97) {
      size_t n = 1 + r.below(6);
      for (size_t i = 0; i < n; ++i) {
        s += kWords[r.below(kWordCount)];
        s += '\0';
      }
    } else {
      s.append(16 + r.below(200), '\0');
    }
  }
  s.resize(size);
  return s;
}

std::string randomFile(Random& r, size_t size) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; i += 8) {
    uint64_t v = r.next();
    for (size_t k = 0; k < 8 && i + k < size; ++k) s[i + k] = char(v >> (8 * k));
  }
  return s;
}

void write(const fs::path& path, const std::string& content) {
  fs::create_directories(path.parent_path());
  std::FILE* f = std::fopen(path.string().c_str(), "wb");
  if (!f || std::fwrite(content.data(), 1, content.size(), f) != content.size() || std::fclose(f) != 0) {
    std::perror(path.string().c_str());
    std::exit(1);
  }
}

std::string directoryFor(Random& r, int depth) {
  static const char* const kDirs[] = {"bin",  "lib",       "doc",    "help",  "samples", "include", "plugins", "locale",
                                      "data", "templates", "system", "fonts", "images",  "tools",   "drivers"};
  std::string dir;
  int levels = int(r.below(uint64_t(depth) + 1));
  for (int i = 0; i < levels; ++i) dir += std::string(kDirs[r.below(15)]) + "/";
  return dir;
}

void makeMix(const fs::path& root, double scaleMiB) {
  Random r(2001);
  const double total = scaleMiB * 1024 * 1024;
  // About 20 % of the bytes in small and medium text files, 62 % in
  // binaries, 18 % in incompressible files.
  double text = 0, binary = 0, noise = 0;
  int n = 0;
  while (text < total * 0.20) {
    size_t size = r.logUniform(200, 32 * 1024);
    write(root / (directoryFor(r, 3) + "text" + std::to_string(n++) + (r.below(2) ? ".txt" : ".ini")),
          textFile(r, size));
    text += double(size);
  }
  while (binary < total * 0.62) {
    size_t size = r.logUniform(64 * 1024, 6 * 1024 * 1024);
    write(root / (directoryFor(r, 2) + "module" + std::to_string(n++) + (r.below(2) ? ".dll" : ".exe")),
          binaryFile(r, size));
    binary += double(size);
  }
  while (noise < total * 0.18) {
    size_t size = r.logUniform(2 * 1024 * 1024, 12 * 1024 * 1024);
    write(root / ("media/clip" + std::to_string(n++) + ".cab"), randomFile(r, size));
    noise += double(size);
  }
}

void makeSmall(const fs::path& root, int count) {
  Random r(1995);
  for (int i = 0; i < count; ++i) {
    size_t size = r.logUniform(64, 12 * 1024);
    std::string name = directoryFor(r, 4) + "f" + std::to_string(i);
    if (r.below(4) == 0)
      write(root / (name + ".bin"), binaryFile(r, size));
    else
      write(root / (name + ".txt"), textFile(r, size));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: make_corpus mix DIR SCALE_MIB | make_corpus small DIR COUNT\n");
    return 64;
  }
  std::string kind = argv[1];
  fs::path dir = argv[2];
  if (kind == "mix")
    makeMix(dir, std::atof(argv[3]));
  else if (kind == "small")
    makeSmall(dir, std::atoi(argv[3]));
  else
    return 64;
  return 0;
}
