// The unattended install's JSON lines end with an `end` line for every
// outcome, also a medium refused before the installation starts: a script
// reading them learns the status and why, not only from the exit status.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "tests/support/temp_dir.h"
#include "tests/tools/tool_test_util.h"

using namespace tooltest;
namespace fs = std::filesystem;

namespace {

#if defined(SETUP_LAUNCHER)


TEST(LauncherJsonEnd, EveryRefusalBeforeTheStartEndsWithAnEndLine) {
  struct Row {
    const char* name;
    const char* spoil;  // a shell command run in the scratch folder on one.run
    const char* dest;
    int status;
    const char* result;
  };
  const Row rows[] = {
      {"cut short: damaged", "truncate -s -1000 one.run", "dest", 2, "\"result\":\"damaged\""},
      {"a byte changed after signing: damaged", "printf X | dd of=one.run bs=1 seek=3000 conv=notrunc status=none",
       "dest", 2, "\"result\":\"damaged\""},
      {"a destination with no place here: failed, named", "true", "'\\\\\\\\server\\\\share'", 1,
       "\"result\":\"failed\""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TempDir tmp;
    writeFile(tmp.file("payload/readme.txt"), "read me");
    ASSERT_EQ(runSetupkit("key new --no-password --public k.pub --secret k.key", tmp.path(), tmp.path()).status, 0);
    const RunResult made = runSetupkit(
        "medium --single-file one.run --sign k.key --title T --app T --dest /opt/t payload", tmp.path(), tmp.path());
    ASSERT_EQ(made.status, 0) << made.err;
    ASSERT_EQ(shell("cd '" + tmp.path() + "' && " + row.spoil), 0);
    const std::string out = tmp.file("out.json");
    const int status =
        shell("cd '" + tmp.path() + "' && env -u DISPLAY -u WAYLAND_DISPLAY ./one.run --unattended --dest " + row.dest +
              " --json > out.json 2>/dev/null");
    EXPECT_EQ(status, row.status);
    const std::string json = readFile(out);
    const size_t last = json.rfind("{\"event\":\"end\"");
    ASSERT_NE(last, std::string::npos) << json;
    EXPECT_NE(json.find(row.result, last), std::string::npos) << json;
    EXPECT_NE(json.find("\"status\":" + std::to_string(row.status), last), std::string::npos) << json;
    EXPECT_EQ(json.find("\"reason\":null", last), std::string::npos) << json;
    EXPECT_FALSE(fs::exists(tmp.file("dest")));
  }
}

#endif

}  // namespace
