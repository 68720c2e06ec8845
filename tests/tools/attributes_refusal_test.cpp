// Attributes a publisher's tool never writes, through the real setupkit:
// refused as damage (status 2) before any file is written; what pack writes,
// with and without --group-write, installs with the modes it keeps.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/tools/tool_test_util.h"

namespace fs = std::filesystem;
using namespace tooltest;

namespace {

unsigned modeOf(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST(AttributesThroughSetupkit, GroupWriteIsKeptOnlyWhenThePublisherAskedForIt) {
  TempDir tmp;
  writeFile(tmp.file("src/shared.txt"), "shared");
  fs::permissions(tmp.file("src/shared.txt"), fs::perms(0664));
  for (const bool groupWrite : {false, true}) {
    const std::string name = groupWrite ? "with" : "without";
    ASSERT_EQ(runSetupkit("pack " + std::string(groupWrite ? "--group-write " : "") + "--attributes " + name +
                              "/SETUP.ATR -o " + name + "/SETUP.BIN src",
                          tmp.path(), tmp.path())
                  .status,
              0);
    const RunResult r = runSetupkit("restore " + name + "/SETUP.BIN dest-" + name, tmp.path(), tmp.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(modeOf(tmp.file("dest-" + name + "/shared.txt")), groupWrite ? 0664u : 0644u) << name;
  }
}

TEST(AttributesThroughSetupkit, WhatNoPublisherWritesIsRefusedBeforeWriting) {
  TempDir tmp;
  writeFile(tmp.file("src/a.txt"), "alpha");
  ASSERT_EQ(runSetupkit("pack --attributes m/SETUP.ATR -o m/SETUP.BIN src", tmp.path(), tmp.path()).status, 0);
  const std::string written = readFile(tmp.file("m/SETUP.ATR"));
  struct Row {
    const char* name;
    std::string attributes;
    const char* says;
  };
  const Row rows[] = {
      {"set-user-ID", replaceAll(written, "F\t0644", "F\t4755"), "set-user-ID mode refused"},
      {"group write unasked", replaceAll(written, "F\t0644", "F\t0666"), "group or other write"},
      {"owner cannot write", replaceAll(written, "F\t0644", "F\t0444"), "the owner cannot read and write"},
      {"folder climbing out", written + "D\tC:\\..\n", "leaves the destination"},
      {"folder of no drive", written + "D\tabc\\x\n", "does not start with C:\\"},
      {"link at the file's name", written + "L\tC:\\a.txt\tb\n", "a link at the name of a file"},
  };
  for (const Row& row : rows) {
    writeFile(tmp.file("m/SETUP.ATR"), row.attributes);
    const RunResult r = runSetupkit("restore m/SETUP.BIN dest", tmp.path(), tmp.path());
    EXPECT_EQ(r.status, 2) << row.name << "\n" << r.err;
    EXPECT_NE(r.err.find(row.says), std::string::npos) << row.name << "\n" << r.err;
    EXPECT_FALSE(fs::exists(tmp.file("dest"))) << row.name;
    fs::remove_all(tmp.file("dest"));
  }
}

}  // namespace
