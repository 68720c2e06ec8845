// The restore into memory (the fast fuzzer's) against the restore into real
// directories, on the inputs that once went wrong and on the clashes of
// names: both must end alike (exception, status, code, reason, files
// counted) and leave the same files of the same sizes.
#include <filesystem>
#include <map>
#include <memory>

#include "engine/memory_target.h"
#include "framework/core/exceptions.h"
#include "tests/engine/engine_test_support.h"

namespace fs = std::filesystem;

namespace {

struct Outcome {
  std::string raised;
  int status = 0;
  int errorCode = 0;
  std::string reason;
  int restored = 0;
  std::map<std::string, int64_t> files;  // relative path, '/' between names: size (-1: a directory)

  bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
  out << "raised \"" << o.raised << "\", status " << o.status << ", code " << o.errorCode << ", reason \"" << o.reason
      << "\", restored " << o.restored << ", files:";
  for (const auto& [name, size] : o.files) out << " " << name << "=" << size;
  return out;
}

void collect(const TMemoryFiles::Node& node, const std::string& path, std::map<std::string, int64_t>& out) {
  for (const auto& [key, child] : node.children) {
    out[path + child->name] = child->directory ? -1 : child->size;
    if (child->directory) collect(*child, path + child->name + "/", out);
  }
}

// The first byte chooses the settings, as in the fuzzers: bit 0 full paths,
// bits 1-3 the mode, bit 4 going on at a volume change.
struct Row {
  const char* name;
  uint8_t settings;
  std::string archive;
};

// A stored name 100,000 directories deep.
std::string deepName() {
  std::string name = "C:\\";
  for (int i = 0; i < 100000; ++i) name += "d\\";
  return name + "f.txt";
}

std::vector<Row> rows() {
  const auto one = [](const std::string& name) {
    return ArchiveBuilder().header(4).storedFile(name, kDate2001, "data").end().bytes();
  };
  // A fixed-code block using length symbol 286, with the Adler-32 of the 259
  // bytes the fast decoder reads from it: found by fuzzing.
  const std::string symbol286("\x78\x01\x4b\x1c\x03\x00\xd9\xa8\x62\x24", 10);
  return {
      {"a NUL in a stored name", 1, one(std::string("C:\\A\0B.TXT", 10))},
      {"a name that climbs out", 1, one("C:\\a\\..\\..\\evil.txt")},
      {"a name from a root of its own", 1, one("C:\\\\evil.txt")},
      {"a . directory", 1, one("C:\\S\\.\\LAST.TXT")},
      {"a name 100,000 levels deep", 1, one(deepName())},
      {"a component longer than the host allows", 1, one("C:\\" + std::string(300, 'n') + "\\f")},
      {"a chunk length made 33 MB", 1,
       ArchiveBuilder()
           .header(4)
           .file("C:\\A.TXT", kDate2001, DataBlock().chunkLength(33'554'432).raw("x"))
           .end()
           .bytes()},
      {"a chunk beyond the decoder's area", 1,
       ArchiveBuilder().header(4).file("C:\\A.TXT", kDate2001, DataBlock().chunkLength(-70000).raw("x")).end().bytes()},
      {"length symbol 286 that the checksum proves", 1,
       ArchiveBuilder().header(259).file("C:\\A.TXT", kDate2001, DataBlock().compressedRaw(symbol286)).end().bytes()},
      {"a volume that names itself", 17,
       ArchiveBuilder().header(4).storedFile("C:\\A.TXT", kDate2001, "data").volumeChange("001").bytes()},
      {"names that differ in letter case", 1,
       ArchiveBuilder()
           .header(8)
           .storedFile("C:\\Dir\\A.TXT", kDate2001, "one")
           .storedFile("C:\\DIR\\a.txt", kDate2001, "second")
           .end()
           .bytes()},
      {"a file in the way of a directory", 1,
       ArchiveBuilder()
           .header(8)
           .storedFile("C:\\X", kDate2001, "file")
           .storedFile("C:\\X\\Y", kDate2001, "y")
           .end()
           .bytes()},
      {"a directory in the way of a file", 1,
       ArchiveBuilder()
           .header(8)
           .storedFile("C:\\X\\Y", kDate2001, "y")
           .storedFile("C:\\X", kDate2001, "file")
           .end()
           .bytes()},
      {"only what does not exist, twice the same name", 1 | (1 << 1),
       ArchiveBuilder()
           .header(8)
           .storedFile("C:\\A", kDate2001, "first")
           .storedFile("C:\\a", kDate2001, "2")
           .end()
           .bytes()},
      {"only what exists, nothing exists", 1 | (3 << 1), one("C:\\A")},
  };
}

class RestoreMemoryTest : public EngineTest {
 protected:
  Outcome restore(const Row& row, bool inMemory) {
    fs::remove_all(tmp.file("dest"));
    files.clear();
    TMemoryStream stream(std::vector<uint8_t>(row.archive.begin(), row.archive.end()));
    TBackupFile b(nullptr);
    b.FSourceStream = &stream;
    b.RestoreFullPath = row.settings & 1;
    b.RestoreMode = TRestoreMode(((row.settings >> 1) & 7) % 5);
    const bool goOn = row.settings & 16;
    b.OnNeedDisk = TNeedDiskEvent([goOn](TObject*, uint16_t, bool& c) { c = goOn; });
    b.OnError = TBackupErrorEvent([](TObject*, int32_t, const std::string&) {});
    if (inMemory)
      b.MakeTarget = [this](const std::string& dir) { return std::make_unique<TMemoryRestoreTarget>(dir, files); };
    Outcome o;
    try {
      b.Restore(":STREAM", "C:\\dest");
    } catch (const Exception& e) {
      o.raised = e.message();
    }
    o.status = int(b.Result().status);
    o.errorCode = b.Result().errorCode;
    o.reason = b.Result().reason;
    o.restored = b.FRestoredCount;
    if (inMemory) {
      for (const auto& [anchor, root] : files.roots) {
        EXPECT_EQ(anchor, "C:\\dest\\");
        collect(root, "", o.files);
      }
    } else if (fs::exists(tmp.file("dest"))) {
      for (const auto& e : fs::recursive_directory_iterator(tmp.file("dest")))
        o.files[fs::relative(e.path(), tmp.file("dest")).string()] = e.is_directory() ? -1 : int64_t(e.file_size());
    }
    return o;
  }

  TMemoryFiles files;
};

TEST_F(RestoreMemoryTest, EndsAsTheRestoreIntoDirectories) {
  for (const Row& row : rows()) {
    SCOPED_TRACE(row.name);
    const Outcome onDisk = restore(row, false);
    EXPECT_EQ(restore(row, true), onDisk);
  }
}

}  // namespace
