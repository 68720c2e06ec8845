// The one-file installer and the program's library search path: a file
// made by `setupkit medium --single-file` is unpacked by list, verify and
// restore in place; one cut short or damaged is refused, by them and by the
// launcher, before anything is written; a program that would load libraries
// from the current directory is refused as a template, and the built ones
// never do.
#include <gtest/gtest.h>

#include "medium/installer_file.h"

#include <filesystem>
#include <fstream>

#include "common/tool_error.h"
#include "tests/tools/tool_test_util.h"
#include "tools/medium.h"

namespace fs = std::filesystem;
using namespace tooltest;

namespace {

#if defined(SETUP_BINARY) && defined(SETUP_LAUNCHER)

// A one-file installer with the system's runtime (the packed runtime holds
// the program alone): made once for the suite.
class SingleFile : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    tmp_ = new TempDir;
    writeTree(tmp_->file("src"), {{"a.txt", {"alpha\n", 1262304000}},
                                  {"docs/b.bin", {makeContent(200000, false, 7), 946684798}},
                                  {"empty.dat", {"", 1719835200}}});
    setupkit::MediumOptions options;
    options.singleFile = tmp_->file("out/setup.run");
    options.title = "T";
    options.app = "A";
    options.destDir = "C:\\D";
    options.program = SETUP_BINARY;
    options.launcher = SETUP_LAUNCHER;
    options.pack.sources = {tmp_->file("src")};
    fs::create_directories(tmp_->file("out"));
    result_ = setupkit::makeMedium(options, "");
  }
  static void TearDownTestSuite() {
    delete tmp_;
    tmp_ = nullptr;
  }
  inline static TempDir* tmp_ = nullptr;
  inline static setupkit::MediumResult result_;
};

TEST_F(SingleFile, ListVerifyAndRestoreReadItInPlace) {
  const std::string file = tmp_->file("out/setup.run");
  EXPECT_EQ(result_.singleFileBytes, int64_t(fs::file_size(file)));
  EXPECT_EQ(std::distance(fs::directory_iterator(tmp_->file("out")), fs::directory_iterator()),
            1);  // nothing beside it
  EXPECT_NE(fs::status(file).permissions() & fs::perms::owner_exec, fs::perms::none);
  RunResult list = runSetupkit("list '" + file + "'", tmp_->path(), tmp_->path());
  EXPECT_EQ(list.status, 0) << list.err;
  EXPECT_NE(list.out.find("docs\\b.bin"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("Title:        \"T\"\nApplication:  \"A\"\nDestDir:      \"C:\\D\""), std::string::npos)
      << list.out;
  RunResult json = runSetupkit("list --json '" + file + "'", tmp_->path(), tmp_->path());
  EXPECT_NE(json.out.find("\"kind\":\"medium\",\"setup\":\"" + file + "\",\"title\":\"T\",\"app\":\"A\""),
            std::string::npos)
      << json.out;
  RunResult verify = runSetupkit("verify '" + file + "'", tmp_->path(), tmp_->path());
  EXPECT_EQ(verify.status, 0) << verify.out << verify.err;
  RunResult restore = runSetupkit("restore '" + file + "' restored", tmp_->path(), tmp_->path());
  EXPECT_EQ(restore.status, 0) << restore.err;
  EXPECT_TRUE(differences(readTree(tmp_->file("src")), readTree(tmp_->file("restored"))).empty());
}

// An installer made before the attributes part existed (trailer version 1,
// 56 bytes) still installs; it has no attributes.
TEST_F(SingleFile, AVersionOneTrailerIsStillRead) {
  const std::string bytes = readFile(tmp_->file("out/setup.run"));
  const installer::Layout layout = installer::readLayout(tmp_->file("out/setup.run"));
  ASSERT_EQ(layout.state, installer::State::Sound);
  EXPECT_GT(layout.parts.attributes, 0);
  const installer::Parts& p = layout.parts;
  std::string old = bytes.substr(0, size_t(p.attributesOffset()));
  auto le = [&old](uint64_t v, int n) {
    for (int i = 0; i < n; ++i) old += char((v >> (8 * i)) & 0xff);
  };
  const uint32_t crc = installer::crc32Update(0, old.data(), old.size());
  for (int64_t part : {p.launcher, p.configuration, p.runtime, p.archive}) le(uint64_t(part), 8);
  le(crc, 4);
  le(1, 4);
  old += std::string("SETUP-ONE-FILE\r\n", 16);
  const std::string file = tmp_->file("old/setup.run");
  writeFile(file, old);
  EXPECT_EQ(installer::readLayout(file).state, installer::State::Sound);
  EXPECT_EQ(installer::readLayout(file).parts.attributes, 0);
  RunResult restore = runSetupkit("restore '" + file + "' restored-old", tmp_->path(), tmp_->path());
  EXPECT_EQ(restore.status, 0) << restore.err;
  EXPECT_TRUE(differences(readTree(tmp_->file("src")), readTree(tmp_->file("restored-old"))).empty());
}

// Every way a download goes wrong past the launcher's own bytes (a file cut
// inside the launcher cannot run at all): refused by setupkit and by the
// launcher itself, before a file or a private folder is made.
TEST_F(SingleFile, DamagedOrCutShortIsRefusedBeforeWriting) {
  const std::string bytes = readFile(tmp_->file("out/setup.run"));
  struct Row {
    const char* name;
    std::string content;
    const char* says;
  };
  std::string flipped = bytes;
  flipped[bytes.size() - 1000] ^= 0x20;  // inside the archive
  const Row rows[] = {
      {"cut", bytes.substr(0, bytes.size() - 100000), "cut short"},
      {"cut-in-trailer", bytes.substr(0, bytes.size() - 20), "cut short"},
      {"flipped", flipped, "damaged"},
      // A signature or a second download appended: not cut short.
      {"appended", bytes + "more bytes", "10 bytes appended after its installer trailer"},
      {"appended-much", bytes + std::string(3 << 20, 'x'), "3145728 bytes appended after its installer trailer"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string file = tmp_->file(std::string("bad/") + row.name);
    writeFile(file, row.content);
    fs::permissions(file, fs::perms::owner_all);
    const std::string dest = tmp_->file(std::string("dest-") + row.name);
    RunResult restore = runSetupkit("restore '" + file + "' '" + dest + "'", tmp_->path(), tmp_->path());
    EXPECT_EQ(restore.status, 2);  // damaged
    EXPECT_NE(restore.err.find(row.says), std::string::npos) << restore.err;
    EXPECT_FALSE(fs::exists(dest));

    const std::string privateBase = tmp_->file(std::string("tmp-") + row.name);
    fs::create_directories(privateBase);
    // No display: the refusal is read on standard error, not in a window.
    const std::string run =
        "cd '" + tmp_->path() + "' && env -u XDG_RUNTIME_DIR -u DISPLAY -u WAYLAND_DISPLAY TMPDIR='" + privateBase +
        "' XDG_CACHE_HOME='" + privateBase + "' '" + file + "' 2>'" + tmp_->file("launcher.err") + "'";
    int raw = std::system(run.c_str());
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 2);  // damaged
    EXPECT_NE(readFile(tmp_->file("launcher.err")).find(row.says), std::string::npos)
        << readFile(tmp_->file("launcher.err"));
    EXPECT_EQ(fs::directory_iterator(privateBase), fs::directory_iterator());
  }
}

// The built program and launcher look for libraries in absolute or $ORIGIN
// folders only; started in a folder that holds a planted libm.so.6 the
// loader does not read it. The launcher loads no Qt.
// Whether an ELF file names a program interpreter (the dynamic loader): a
// statically linked program has none and loads no library at all.
bool hasInterpreter(const std::string& elf) {
  auto read = [&](size_t at, size_t n) {
    uint64_t v = 0;
    for (size_t i = 0; i < n && at + i < elf.size(); ++i) v |= uint64_t((unsigned char)elf[at + i]) << (8 * i);
    return v;
  };
  const uint64_t phoff = read(0x20, 8), phentsize = read(0x36, 2), phnum = read(0x38, 2);
  for (uint64_t i = 0; i < phnum; ++i)
    if (read(size_t(phoff + i * phentsize), 4) == 3) return true;  // PT_INTERP
  return false;
}

TEST(SearchPath, BuiltProgramsNeverLookInTheCurrentDirectory) {
  TempDir tmp;
  writeFile(tmp.file("libm.so.6"), "not a library");
  for (const char* program : {SETUP_BINARY, SETUP_LAUNCHER}) {
    SCOPED_TRACE(program);
    EXPECT_EQ(setupkit::unsafeSearchPathEntry(program), std::nullopt);
    // The launcher is linked statically: nothing is loaded, nothing to trace.
    if (std::string(program) == SETUP_LAUNCHER && !hasInterpreter(readFile(program))) continue;
    const std::string trace =
        "cd '" + tmp.path() + "' && LD_TRACE_LOADED_OBJECTS=1 '" + program + "' > '" + tmp.file("trace.txt") + "' 2>&1";
    EXPECT_EQ(std::system(trace.c_str()), 0);
    const std::string loaded = readFile(tmp.file("trace.txt"));
    EXPECT_EQ(loaded.find("too short"), std::string::npos) << loaded;
    EXPECT_EQ(loaded.find(tmp.path()), std::string::npos) << loaded;
    if (std::string(program) == SETUP_LAUNCHER) {
      EXPECT_EQ(loaded.find("libQt"), std::string::npos) << loaded;
    }
  }
}

// A template whose search path has an empty or relative entry is refused,
// naming the program and the entry; the entries are made by rewriting the
// built program's own "$ORIGIN/runtime/lib" in place.
TEST(SearchPath, MediumRefusesATemplateThatLooksInTheCurrentDirectory) {
  TempDir tmp;
  writeFile(tmp.file("src/a.txt"), "a");
  const std::string original = readFile(SETUP_BINARY);
  const std::string kept = "$ORIGIN/runtime/lib";
  struct Row {
    const char* entry;  // same length as kept, NUL-padded
    const char* says;   // empty: accepted
  };
  const Row rows[] = {
      {":/runtime/lib", "an empty entry of its search path"},
      {"runtime/lib", "\"runtime/lib\", a path relative"},
      {"/opt/x:./lib", "\"./lib\", a path relative"},
      {"/opt/runtime/lib", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.entry);
    std::string patched = original;
    size_t at = patched.find(kept + '\0');
    ASSERT_NE(at, std::string::npos);
    std::string entry = row.entry;
    entry.resize(kept.size(), '\0');
    patched.replace(at, kept.size(), entry);
    const std::string program = tmp.file("template/setup");
    writeFile(program, patched);
    setupkit::MediumOptions options;
    options.directory = tmp.file("medium");
    options.title = options.app = "T";
    options.destDir = "C:\\T";
    options.program = program;
    options.pack.sources = {tmp.file("src")};
    if (*row.says == '\0') {
      EXPECT_NO_THROW(setupkit::makeMedium(options, ""));
      continue;
    }
    try {
      setupkit::makeMedium(options, "");
      ADD_FAILURE() << "accepted";
    } catch (const setupkit::ToolError& e) {
      EXPECT_NE(std::string(e.what()).find(program + " looks for libraries in"), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(row.says), std::string::npos) << e.what();
    }
  }
}

#endif

}  // namespace
