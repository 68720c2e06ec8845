// Running off the medium: the removal of private folders whose program has
// ended, of folders this program made only, never of another program's
// folder of a similar name.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "app/private_copy.h"
#include "platform/private_folder.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

// A folder made the way the program makes one, its lock released (the
// program ended) unless kept.
fs::path madeByTheProgram(const TempDir& tmp, bool keepLock, int* lock = nullptr) {
  auto folder = platform::makePrivateFolder(tmp.path());
  EXPECT_TRUE(folder.has_value());
  std::ofstream(fs::path(folder->path) / "setup") << "x";
  if (keepLock)
    *lock = folder->lock;
  else
    close(folder->lock);
  return folder->path;
}

TEST(PrivateCopy, RemovesOnlyItsOwnFoldersNobodyRuns) {
  TempDir tmp;
  int held = -1;
  const fs::path ended = madeByTheProgram(tmp, false);
  const fs::path running = madeByTheProgram(tmp, true, &held);

  // Look-alikes: named like ours, but not made by this program.
  struct Foreign {
    const char* name;
    const char* markerText;  // null: no marker
    mode_t mode;
  };
  const Foreign foreign[] = {
      {"setup-run-nomarker", nullptr, 0700},
      {"setup-run-othermarker", "something else\n", 0700},
      {"setup-run-shared", platform::kPrivateFolderMarkerText, 0755},
      {"other-folder", platform::kPrivateFolderMarkerText, 0700},
  };
  for (const Foreign& f : foreign) {
    fs::create_directories(tmp.file(f.name));
    std::ofstream(tmp.file(std::string(f.name) + "/setup")) << "x";
    if (f.markerText)
      std::ofstream(tmp.file(std::string(f.name) + "/" + platform::kPrivateFolderMarker)) << f.markerText;
    std::ofstream lock(tmp.file(std::string(f.name) + "/.lock"));
    chmod(tmp.file(f.name).c_str(), f.mode);
    fs::last_write_time(tmp.file(f.name), fs::file_time_type::clock::now() - std::chrono::minutes(5));
  }
  // A link named like ours, to a folder of ours that has ended.
  const fs::path target = madeByTheProgram(tmp, false);
  fs::create_directory_symlink(target, tmp.file("setup-run-link"));
  fs::rename(target, tmp.file("elsewhere"));
  fs::create_directory_symlink(tmp.file("elsewhere"), tmp.file("setup-run-link2"));

  EXPECT_EQ(startup::removeStaleCopies(tmp.path()), 1);
  EXPECT_FALSE(fs::exists(ended));
  EXPECT_TRUE(fs::exists(running / "setup"));
  for (const Foreign& f : foreign) EXPECT_TRUE(fs::exists(tmp.file(std::string(f.name) + "/setup"))) << f.name;
  EXPECT_TRUE(fs::exists(tmp.file("elsewhere/setup")));

  // Without its lock for longer than a start takes, a folder of ours was
  // left by a start that failed.
  fs::remove(running / ".lock");
  fs::last_write_time(running, fs::file_time_type::clock::now() - std::chrono::minutes(5));
  close(held);
  EXPECT_EQ(startup::removeStaleCopies(tmp.path()), 1);
  EXPECT_FALSE(fs::exists(running));
}

// The title comes from the program file's name: under the launcher that is
// the file the user started (a one-file installer renamed myapp.run), not the
// unpacked program's.
TEST(PrivateCopy, TheProgramReportsTheFileTheUserStarted) {
  TempDir tmp;
  fs::create_directories(tmp.file("private"));
  EXPECT_EQ(startup::programFileOnMedium(tmp.file("private"), "/media/cd", "setup"), "/media/cd/setup");
  std::ofstream(tmp.file("private/.started")) << "/home/me/Downloads/myapp.run";
  EXPECT_EQ(startup::programFileOnMedium(tmp.file("private"), "/media/cd", "setup"), "/media/cd/myapp.run");
}

}  // namespace

namespace {

// Which folders may hold private folders: the user's own that nobody else
// can write, or root's sticky folder; never a link, nor a folder another
// user owns or others can write, nor one below such a folder.
TEST(PrivateFolderBase, OnlyWhereNobodyElseReaches) {
  TempDir tmp;
  chmod(tmp.path().c_str(), 0755);
  struct Row {
    const char* name;
    mode_t mode;
    bool otherOwner;   // owned by another user (needs root)
    const char* says;  // empty: may be used
  };
  const Row rows[] = {
      {"own", 0700, false, ""},
      {"own-readable", 0755, false, ""},
      {"group-writable", 0770, false, "can be changed by other users"},
      {"everyone", 0777, false, "can be changed by other users"},
      {"other-user", 0700, true, "belongs to another user"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    if (row.otherOwner && geteuid() != 0) continue;
    const std::string dir = tmp.file(row.name);
    fs::create_directories(dir);
    chmod(dir.c_str(), row.mode);
    if (row.otherOwner) {
      ASSERT_EQ(chown(dir.c_str(), 65534, 65534), 0);
    }
    std::string why;
    EXPECT_EQ(platform::isTrustedBase(dir, &why), *row.says == '\0') << why;
    EXPECT_NE(why.find(row.says), std::string::npos) << why;
  }
  // A link, even to a folder of the user's own, and a folder below one that
  // others can write.
  fs::create_directory_symlink(tmp.file("own"), tmp.file("link"));
  std::string why;
  EXPECT_FALSE(platform::isTrustedBase(tmp.file("link"), &why));
  EXPECT_NE(why.find("is a symbolic link"), std::string::npos) << why;
  fs::create_directories(tmp.file("everyone/below"));
  chmod(tmp.file("everyone/below").c_str(), 0700);
  EXPECT_FALSE(platform::isTrustedBase(tmp.file("everyone/below"), &why));
  EXPECT_NE(why.find("can be changed by other users"), std::string::npos) << why;
  // Root's sticky folder, where everyone makes folders of their own.
  EXPECT_TRUE(platform::isTrustedBase("/tmp", &why)) << why;
  // Nothing is made or removed in a folder others can change.
  EXPECT_FALSE(platform::makePrivateFolder(tmp.file("everyone")).has_value());
  EXPECT_EQ(platform::removeStalePrivateFolders(tmp.file("everyone")), 0);
}

}  // namespace
