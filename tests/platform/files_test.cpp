// Files and directories by Windows-form path: existence, attributes, times,
// directory creation and open files.
#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/dos_time.h"
#include "platform/errors.h"
#include "tests/platform/drive_fixture.h"
#include "tests/support/scoped_time_zone.h"

namespace fs = std::filesystem;
using namespace platform;

namespace {

class FilesTest : public DriveFixture {
 protected:
  void SetUp() override {
    DriveFixture::SetUp();
    tmp.write("c/work/File.txt", "content");
    tmp.write("c/work/.hidden", "");
    tmp.write("c/work/readonly", "");
    chmod(host("c/work/readonly").c_str(), 0444);
    mkfifo(host("c/work/pipe").c_str(), 0600);
  }
};

struct ExistenceRow {
  const char* path;
  bool file;
  bool directory;
  uint32_t attributes;
};

TEST_F(FilesTest, ExistenceAndAttributes) {
  const ExistenceRow rows[] = {
      {"C:\\work\\File.txt", true, false, kAttrArchive},
      {"C:\\WORK\\FILE.TXT", true, false, kAttrArchive},
      {"C:\\work\\.hidden", true, false, kAttrArchive | kAttrHidden},
      {"C:\\work\\readonly", true, false, kAttrArchive | kAttrReadOnly},
      {"C:\\work\\pipe", true, false, kAttrSystem},
      {"C:\\work", false, true, kAttrDirectory},
      {"C:\\work\\", false, true, kAttrDirectory},
      {"C:\\", false, true, kAttrDirectory},
      {"C:\\work\\missing", false, false, kInvalidAttributes},
      {"Q:\\x", false, false, kInvalidAttributes},
      {"E:\\x", false, false, kInvalidAttributes},
      {"\\\\server\\share\\x", false, false, kInvalidAttributes},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.path);
    EXPECT_EQ(fileExists(row.path), row.file);
    EXPECT_EQ(directoryExists(row.path), row.directory);
    EXPECT_EQ(getFileAttributes(row.path), row.attributes);
  }
}

TEST_F(FilesTest, FileAgeIsTheLocalDosTimeOfAFile) {
  for (const char* zone : {"UTC0", "Europe/Berlin"}) {
    SCOPED_TRACE(zone);
    ScopedTimeZone z(zone);
    const uint32_t dos = makeDosDateTime(2001, 6, 15, 12, 30, 0);
    struct timespec t[2] = {{time_t(*dosDateTimeToUnix(dos)) + 1, 0}, {time_t(*dosDateTimeToUnix(dos)) + 1, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, host("c/work/File.txt").c_str(), t, 0), 0);
    EXPECT_EQ(uint32_t(fileAge("C:\\work\\file.txt")), dos);
  }
  EXPECT_EQ(fileAge("C:\\work"), -1);
  EXPECT_EQ(fileAge("C:\\work\\missing"), -1);
}

TEST_F(FilesTest, CreateDirectoryNeedsItsParent) {
  EXPECT_TRUE(createDirectory("C:\\work\\new"));
  EXPECT_TRUE(fs::is_directory(host("c/work/new")));
  EXPECT_FALSE(createDirectory("C:\\work\\NEW"));  // the same name, whatever its case
  EXPECT_EQ(lastError(), kErrorAlreadyExists);
  EXPECT_FALSE(createDirectory("C:\\work\\a\\b"));
  EXPECT_FALSE(createDirectory("E:\\x"));
  EXPECT_EQ(lastError(), kErrorNotReady);
}

TEST_F(FilesTest, OpenAndCreate) {
  FileHandle missing = openFile("C:\\work\\missing", FileAccess::Read);
  EXPECT_FALSE(missing.valid());
  EXPECT_EQ(lastError(), kErrorFileNotFound);
  FileHandle dir = openFile("C:\\work", FileAccess::Read);
  EXPECT_FALSE(dir.valid());
  EXPECT_EQ(lastError(), kErrorAccessDenied);
  EXPECT_FALSE(createFile("C:\\nowhere\\x").valid());

  // Creating replaces an existing file; the name keeps its real case.
  FileHandle f = createFile("C:\\WORK\\file.TXT");
  ASSERT_TRUE(f.valid());
  EXPECT_EQ(writeFile(f, "abcdef", 6), 6);
  EXPECT_EQ(seekFile(f, 0, kSeekCurrent), 6);
  EXPECT_EQ(seekFile(f, 2, kSeekBegin), 2);
  char buf[8] = {};
  EXPECT_EQ(readFile(f, buf, 8), 4);
  EXPECT_EQ(std::string(buf, 4), "cdef");
  EXPECT_EQ(readFile(f, buf, 8), 0);
  EXPECT_EQ(seekFile(f, -1, kSeekEnd), 5);
  closeFile(f);
  EXPECT_EQ(tmp.read("c/work/File.txt"), "abcdef");
  EXPECT_FALSE(fs::exists(host("c/work/file.TXT")));

  FileHandle r = openFile("C:\\work\\file.txt", FileAccess::Read);
  ASSERT_TRUE(r.valid());
  EXPECT_EQ(writeFile(r, "x", 1), -1);  // opened for reading only
  closeFile(r);
}

TEST_F(FilesTest, PositionsBeyondFourGigabytes) {
  FileHandle f = createFile("C:\\work\\sparse");
  ASSERT_TRUE(f.valid());
  const int64_t far = 5'000'000'000;
  EXPECT_EQ(seekFile(f, far, kSeekBegin), far);
  EXPECT_EQ(writeFile(f, "z", 1), 1);
  EXPECT_EQ(seekFile(f, 0, kSeekEnd), far + 1);
  EXPECT_EQ(seekFile(f, -1, kSeekCurrent), far);
  char c = 0;
  EXPECT_EQ(readFile(f, &c, 1), 1);
  EXPECT_EQ(c, 'z');
  closeFile(f);
}

TEST_F(FilesTest, TheDosTimeIsSetThroughAnOpenFile) {
  for (const char* zone : {"UTC0", "Europe/Berlin"}) {
    SCOPED_TRACE(zone);
    ScopedTimeZone z(zone);
    FileHandle f = openFile("C:\\work\\File.txt", FileAccess::Write);
    ASSERT_TRUE(f.valid());
    const uint32_t dos = makeDosDateTime(2001, 1, 15, 12, 30, 0);
    EXPECT_TRUE(setFileDosTime(f, dos));
    EXPECT_EQ(getFileDosTime(f), dos);
    EXPECT_FALSE(setFileDosTime(f, makeDosDateTime(2001, 13, 1, 0, 0, 0)));
    EXPECT_EQ(lastError(), kErrorInvalidParameter);
    EXPECT_EQ(getFileDosTime(f), dos);
    closeFile(f);
    struct stat st {};
    ASSERT_EQ(stat(host("c/work/File.txt").c_str(), &st), 0);
    EXPECT_EQ(int64_t(st.st_mtim.tv_sec), *dosDateTimeToUnix(dos));
  }
}

}  // namespace
