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
    if (f.markerText) std::ofstream(tmp.file(std::string(f.name) + "/" + platform::kPrivateFolderMarker)) << f.markerText;
    std::ofstream(tmp.file(std::string(f.name) + "/.lock"));
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
