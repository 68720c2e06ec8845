// A signed folder medium with something beside it that the signature does
// not cover: a file a reader might open under another letter case, or a
// symbolic link, is refused by the real launcher's --check (status 2, named
// as not among the files signed); a file no reader opens is left alone.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "medium/signature.h"
#include "tests/tools/tool_test_util.h"
#include "tools/medium.h"

namespace fs = std::filesystem;
using namespace tooltest;

namespace {

#if defined(SETUP_LAUNCHER)

struct ExtraRow {
  const char* name;
  std::function<void(const std::string& medium)> add;
  int status;
  const char* says;  // a text the launcher's output holds
};

const ExtraRow kRows[] = {
    {"Unchanged", [](const std::string&) {}, 0, "sound"},
    {"UninstallerInCapitals", [](const std::string& m) { writeFile(m + "/UNINSTALL", "#!/bin/sh\n"); }, 2,
     "UNINSTALL is not among the files signed"},
    {"LinkToPasswd", [](const std::string& m) { fs::create_symlink("/etc/passwd", m + "/Uninstall"); }, 2,
     "Uninstall is a link, and links are not among the files signed"},
    {"ArchiveInSmallLetters", [](const std::string& m) { fs::copy_file(m + "/SETUP.BIN", m + "/setup.bin"); }, 2,
     "setup.bin is not among the files signed"},
    {"LinkWithAHarmlessName", [](const std::string& m) { fs::create_symlink("SETUP.INS", m + "/notes"); }, 2,
     "notes is a link"},
    {"SignedFileReplacedByALink",
     [](const std::string& m) {
       fs::rename(m + "/SETUP.INS", m + "/ins");
       fs::create_symlink("ins", m + "/SETUP.INS");
     },
     2, "SETUP.INS is a link"},
    {"RuntimeFolderBesideTheProgram", [](const std::string& m) { fs::create_directories(m + "/runtime/lib"); }, 2,
     "runtime is not among the files signed"},
    {"ReadmeNoReaderOpens", [](const std::string& m) { writeFile(m + "/README.txt", "hello"); }, 0, "sound"},
};

void PrintTo(const ExtraRow& row, std::ostream* os) { *os << row.name; }

class SignedFolderExtras : public ::testing::TestWithParam<ExtraRow> {
 protected:
  static void SetUpTestSuite() {
    tmp_ = new TempDir();
    writeFile(tmp_->file("src/a.txt"), "alpha");
    // The static launcher as the medium's program: --check is its own.
    fs::create_directories(tmp_->file("program"));
    fs::copy_file(SETUP_LAUNCHER, tmp_->file("program/setup"));
    setupkit::MediumOptions options;
    options.directory = tmp_->file("signed");
    options.title = options.app = "T";
    options.destDir = "C:\\opt\\t";
    options.program = tmp_->file("program/setup");
    options.pack.sources = {tmp_->file("src")};
    signature::initialiseSodium();
    options.signing.key = std::make_shared<signature::SecretKey>(signature::generateKey());
    options.signing.comment = "the test";
    setupkit::makeMedium(options, "");
  }
  static void TearDownTestSuite() {
    delete tmp_;
    tmp_ = nullptr;
  }
  inline static TempDir* tmp_ = nullptr;
};

TEST_P(SignedFolderExtras, CheckRefusesWhatTheSignatureDoesNotCover) {
  const ExtraRow& row = GetParam();
  const std::string medium = tmp_->file(std::string("copy-") + row.name);
  fs::copy(tmp_->file("signed"), medium, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
  row.add(medium);
  const std::string output = tmp_->file(std::string("out-") + row.name);
  const std::string command = "cd / && env -u XDG_RUNTIME_DIR TMPDIR=" + tmp_->path() + " '" + medium +
                              "/setup' --check > '" + output + "' 2>&1 < /dev/null";
  const int raw = std::system(command.c_str());
  const std::string said = readFile(output);
  EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, row.status) << said;
  EXPECT_NE(said.find(row.says), std::string::npos) << said;
}

INSTANTIATE_TEST_SUITE_P(Rows, SignedFolderExtras, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

#endif

}  // namespace
