// Gathering the setup program's runtime: the loader's search order, the C
// library left out, and the runtime of the built program complete under its
// own closure (every library that a gathered object needs is gathered too).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include <filesystem>
#include <set>

#include "common/tool_error.h"
#include "tests/support/expect_message.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/tool_test_util.h"
#include "tools/elf_file.h"
#include "tools/runtime_gather.h"

namespace fs = std::filesystem;
using namespace tooltest;
using Dirs = std::vector<std::string>;

namespace {

TEST(RuntimeGather, SearchOrderFollowsTheLoader) {
  const Dirs system = {"/lib/x", "/usr/lib/x"};
  const struct {
    const char* name;
    Dirs rpath, runpath, programRpath, expected;
  } rows[] = {
      {"nothing", {}, {}, {}, {"/lib/x", "/usr/lib/x"}},
      {"program rpath reaches every object", {}, {}, {"/m/runtime/lib"}, {"/m/runtime/lib", "/lib/x", "/usr/lib/x"}},
      {"own rpath first", {"/o"}, {}, {"/m"}, {"/o", "/m", "/lib/x", "/usr/lib/x"}},
      {"runpath hides both rpaths", {"/o"}, {"/r"}, {"/m"}, {"/r", "/lib/x", "/usr/lib/x"}},
  };
  for (const auto& r : rows)
    EXPECT_EQ(setupkit::librarySearchOrder(r.rpath, r.runpath, r.programRpath, system), r.expected) << r.name;
}

TEST(RuntimeGather, CLibraryObjectsStayOut) {
  for (const char* name : {"libc.so.6", "libm.so.6", "libpthread.so.0", "libdl.so.2", "librt.so.1", "libresolv.so.2",
                           "ld-linux-x86-64.so.2", "libnss_files.so.2", "/lib64/ld-linux-x86-64.so.2"})
    EXPECT_TRUE(setupkit::isCLibraryObject(name)) << name;
  for (const char* name :
       {"libstdc++.so.6", "libgcc_s.so.1", "libQt6Core.so.6", "libz.so.1", "libcrypt.so.1", "libcap.so.2"})
    EXPECT_FALSE(setupkit::isCLibraryObject(name)) << name;
}

TEST(RuntimeGather, NewerGlibcComparesNumbers) {
  EXPECT_EQ(setupkit::newerGlibcVersion("GLIBC_2.4", "GLIBC_2.34"), "GLIBC_2.34");
  EXPECT_EQ(setupkit::newerGlibcVersion("GLIBC_2.34", "GLIBC_2.4"), "GLIBC_2.34");
  EXPECT_EQ(setupkit::newerGlibcVersion("GLIBC_2.2.5", "GLIBC_2.3"), "GLIBC_2.3");
  EXPECT_EQ(setupkit::newerGlibcVersion("", "GLIBC_2.14"), "GLIBC_2.14");
}

TEST(RuntimeGather, LdConfIncludesAndComments) {
  TempDir tmp;
  writeFile(tmp.file("ld.so.conf"), "# comment\ninclude " + tmp.file("conf.d") + "/*.conf\n  /opt/b/lib  # tail\n");
  writeFile(tmp.file("conf.d/1.conf"), "/opt/a/lib\n");
  writeFile(tmp.file("conf.d/2.conf"), "include nested.list\n/usr/lib/x86_64-linux-gnu\n");
  writeFile(tmp.file("conf.d/nested.list"), "/opt/nested\n");
  Dirs dirs = setupkit::systemLibraryDirectories(tmp.file("ld.so.conf"));
  ASSERT_GE(dirs.size(), 4u);
  EXPECT_EQ(Dirs(dirs.begin(), dirs.begin() + 4),
            (Dirs{"/opt/a/lib", "/opt/nested", "/usr/lib/x86_64-linux-gnu", "/opt/b/lib"}));
  EXPECT_EQ(std::count(dirs.begin(), dirs.end(), "/usr/lib/x86_64-linux-gnu"), 1);  // the default is not repeated
}

#ifdef SETUP_BINARY
std::set<std::string> targets(const setupkit::RuntimePlan& plan) {
  std::set<std::string> t;
  for (const auto& f : plan.files) t.insert(f.target);
  return t;
}

TEST(RuntimeGather, BuiltProgramRuntimeIsClosed) {
  setupkit::RuntimePlan plan = setupkit::gatherRuntime(SETUP_BINARY);
  std::set<std::string> t = targets(plan);
  for (const char* expected :
       {"lib/libQt6Widgets.so.6", "lib/libQt6Core.so.6", "lib/libstdc++.so.6", "lib/libQt6XcbQpa.so.6",
        "lib/libxcb.so.1", "plugins/platforms/libqxcb.so", "plugins/imageformats/libqgif.so",
        "fonts/LiberationSans-Regular.ttf",
        // Wayland: the platform, its shell and frames, their client library
        "plugins/platforms/libqwayland-generic.so", "plugins/wayland-shell-integration/libxdg-shell.so",
        "plugins/wayland-decoration-client/libbradient.so", "lib/libwayland-client.so.0",
        // what Qt speaks to screen readers with
        "lib/libQt6DBus.so.6", "lib/libdbus-1.so.3"})
    EXPECT_TRUE(t.count(expected)) << expected;
  EXPECT_FALSE(t.count("lib/libc.so.6"));
  EXPECT_FALSE(t.count("plugins/platforms/libqoffscreen.so"));  // never loaded on a desktop
  for (const auto& f : plan.files) {
    if (!f.elf) continue;
    for (const auto& needed : setupkit::readElfDynamicInfo(f.source).needed)
      EXPECT_TRUE(setupkit::isCLibraryObject(needed) || t.count("lib/" + needed)) << f.source << " needs " << needed;
  }
  EXPECT_EQ(setupkit::newerGlibcVersion(plan.oldestGlibc, "GLIBC_2.34"), plan.oldestGlibc);
}

// A stand-in replaces the system's library only where every caller takes
// from it no more than the stand-in defines; the libraries only the real
// one needed then drop out.
TEST(RuntimeGather, StandInReplacesALibraryOnlyWhereItServesEveryCaller) {
  TempDir tmp;
  fs::create_directories(tmp.file("empty"));
  tmp.write("empty/none.c", "int setupkit_nothing;\n");
  const std::string compile = "cc -shared -fPIC -Wl,-soname,libsystemd.so.0 -o '" + tmp.file("empty/libsystemd.so.0") +
                              "' '" + tmp.file("empty/none.c") + "'";
  ASSERT_EQ(std::system(compile.c_str()), 0);
  std::remove(tmp.file("empty/none.c").c_str());
  const std::string built = (fs::path(SETUP_BINARY).parent_path() / setupkit::kStandInFolder).string();
  struct Row {
    const char* name;
    std::string folder;
    bool standInTaken;
  };
  for (const Row& row :
       {Row{"the built stand-in: taken", built, true},
        Row{"one that defines none of sd_listen_fds, sd_is_socket: passed over", tmp.file("empty"), false}}) {
    const setupkit::RuntimePlan plan =
        setupkit::gatherRuntime(SETUP_BINARY, setupkit::systemLibraryDirectories(), row.folder);
    std::string source;
    for (const auto& f : plan.files)
      if (f.target == "lib/libsystemd.so.0") source = f.source;
    ASSERT_FALSE(source.empty()) << row.name;
    EXPECT_EQ(fs::path(source).parent_path() == fs::path(row.folder), row.standInTaken) << row.name << ": " << source;
    EXPECT_EQ(targets(plan).count("lib/libgcrypt.so.20"), row.standInTaken ? 0u : 1u) << row.name;
  }
}

// The program's RPATH comes before the system: a library already in its
// runtime folder is the one gathered.
TEST(RuntimeGather, ProgramRpathComesFirst) {
  TempDir tmp;
  fs::create_directories(tmp.file("m"));
  fs::copy_file(SETUP_BINARY, tmp.file("m/setup"));
  setupkit::RuntimePlan system = setupkit::gatherRuntime(tmp.file("m/setup"));
  std::string zlib;
  for (const auto& f : system.files)
    if (f.target == "lib/libz.so.1") zlib = f.source;
  ASSERT_FALSE(zlib.empty());
  fs::create_directories(tmp.file("m/runtime/lib"));
  fs::copy_file(zlib, tmp.file("m/runtime/lib/libz.so.1"));
  setupkit::RuntimePlan own = setupkit::gatherRuntime(tmp.file("m/setup"));
  for (const auto& f : own.files) {
    if (f.target == "lib/libz.so.1") {
      EXPECT_EQ(f.source, tmp.file("m/runtime/lib/libz.so.1"));
    }
  }
}
#endif

TEST(RuntimeGather, RefusesWhatCannotCarryARuntime) {
  TempDir tmp;
  writeFile(tmp.file("script"), "#!/bin/sh\n");
  EXPECT_THROW_MESSAGE(setupkit::gatherRuntime(tmp.file("script")), setupkit::ToolError,
                       tmp.file("script") + " is not an ELF program: give --runtime system");
  // A program linked without the RPATH would load the system's libraries.
  EXPECT_THROW(setupkit::gatherRuntime(SETUPKIT_BINARY), setupkit::ToolError);
}

}  // namespace
