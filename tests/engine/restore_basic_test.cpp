// The restore driver on one volume: the archive layout, target paths, entry
// kinds, stamping, and the archive sources (file and stream).
#include <climits>
#include <filesystem>
#include <map>

#include "framework/core/exceptions.h"
#include "platform/files.h"
#include "tests/engine/engine_test_support.h"
#include "tests/support/expect_message.h"

namespace fs = std::filesystem;

namespace {

// Every file below the scratch root, as relative paths.
std::vector<std::string> filesUnder(const std::string& root) {
  std::vector<std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file()) out.push_back(fs::relative(e.path(), root).string());
  std::sort(out.begin(), out.end());
  return out;
}

class RestoreTest : public EngineTest {
 protected:
  void SetUp() override { log.attach(backup); }
};

// ---- the smallest useful archive, byte for byte ----

struct ZoneRow {
  const char* zone;
  uint32_t date;
  int64_t unixTime;
};

// The same entry dated in summer and in winter, in two time zones: the
// stamp is local time.
TEST_F(RestoreTest, TheFortyNineByteArchiveRestoresOneStampedFile) {
  ASSERT_EQ(ArchiveBuilder().header(5).storedFile("C:\\A.TXT", kDate2001, "hello").end().bytes(), kSmallestArchive);
  const uint32_t winter = platform::makeDosDateTime(2001, 1, 15, 12, 30, 0);
  const ZoneRow rows[] = {
      {"UTC0", kDate2001, 992608200},
      {"Europe/Berlin", kDate2001, 992601000},  // summer time, two hours ahead
      {"UTC0", winter, 979561800},
      {"Europe/Berlin", winter, 979558200},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.zone);
    ScopedTimeZone zone(row.zone);
    std::string archive = kSmallestArchive;
    archive.replace(24, 4, int32Bytes(int32_t(row.date)));
    tmp.write("SETUP.BIN", archive);
    log = EventLog();
    log.attach(backup);

    EXPECT_TRUE(backup.Restore("C:\\SETUP.BIN", "C:\\dest"));
    EXPECT_EQ(tmp.read("dest/A.TXT"), "hello");
    EXPECT_EQ(hostMtime(tmp.file("dest/A.TXT")), row.unixTime);
    EXPECT_EQ(uint32_t(platform::fileAge("C:\\dest\\A.TXT")), row.date);
    EXPECT_EQ(backup.FRestoredCount, 1);
    EXPECT_EQ(backup.FTotalSize, 5);
    EXPECT_EQ(backup.FBytesDone, 5);
    EXPECT_EQ(backup.FErrorCode, 0);
    EXPECT_FALSE(backup.FBusy);
    EXPECT_EQ(backup.FCurrentFile, "C:\\dest\\A.TXT");
    ASSERT_EQ(log.restored.size(), 1u);
    EXPECT_EQ(log.restored[0].file, "C:\\dest\\A.TXT");
    EXPECT_EQ(log.restored[0].size, 5);
    ASSERT_EQ(log.progress.size(), 3u);  // the chunk, the terminator, the final report
    EXPECT_EQ(log.progress[0].file, "C:\\dest\\A.TXT");
    EXPECT_EQ(log.progress[0].percent, 100);
    EXPECT_EQ(log.finalReports(), 1);
    EXPECT_TRUE(app.boxes.empty());
  }
}

// ---- archive layout ----

struct LayoutRow {
  const char* name;
  ArchiveBuilder archive;
  std::map<std::string, std::string> files;  // below dest
  int32_t totalSize, headerExtra;
};

TEST_F(RestoreTest, ArchiveLayouts) {
  const LayoutRow rows[] = {
      {"no entries: nothing created", ArchiveBuilder().header(1).end(), {}, 1, 0},
      {"header text and fillers are read past",
       ArchiveBuilder()
           .header(6, -77, "free text of the writer")
           .filler(-1)
           .filler(INT32_MIN)
           .storedFile("C:\\A.TXT", kDate2001, "abc")
           .filler(-12)
           .storedFile("C:\\B.TXT", kDate2001, "def")
           .end(),
       {{"A.TXT", "abc"}, {"B.TXT", "def"}},
       6,
       -77},
      {"names that differ only in case from the special ones are files; flat keeps the text after the colon",
       ArchiveBuilder()
           .header(3)
           .storedFile("next:disk002", kDate2001, "1")
           .storedFile("File:List", kDate2001, "2")
           .storedFile("NEXT:DIS", kDate2001, "3")
           .end(),
       {{"disk002", "1"}, {"List", "2"}, {"DIS", "3"}},
       3,
       0},
      {"an empty data block: an empty, stamped file",
       ArchiveBuilder().header(1).file("C:\\EMPTY", kDate2001, DataBlock()).end(),
       {{"EMPTY", ""}},
       1,
       0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    fs::remove_all(tmp.file("dest"));
    log = EventLog();
    log.attach(backup);
    writeVolume("SETUP.BIN", row.archive);
    EXPECT_TRUE(backup.Restore("C:\\SETUP.BIN", "C:\\dest"));
    for (const auto& [name, content] : row.files) {
      EXPECT_EQ(tmp.read("dest/" + name), content);
      EXPECT_EQ(uint32_t(platform::fileAge("C:\\dest\\" + name)), kDate2001);
    }
    EXPECT_EQ(filesUnder(tmp.path()).size(), row.files.size() + 1);  // and SETUP.BIN
    EXPECT_EQ(tmp.exists("dest"), !row.files.empty());
    EXPECT_EQ(backup.FRestoredCount, int(row.files.size()));
    EXPECT_EQ(backup.FTotalSize, row.totalSize);
    EXPECT_EQ(backup.FHeaderExtra, row.headerExtra);
    EXPECT_EQ(log.finalReports(), 1);
  }
}

TEST_F(RestoreTest, TheFileListIsNeverRestoredNorAnnounced) {
  int announced = 0;
  backup.OnRestoreFile = TRestoreFileEvent([&](TObject*, std::string&, int32_t, bool&) { ++announced; });
  writeVolume("SETUP.BIN", ArchiveBuilder()
                               .header(2)
                               .fileList(kDate2001, DataBlock().stored("list").compressed("of files"))
                               .storedFile("C:\\A.TXT", kDate2001, "ok")
                               .end());
  EXPECT_TRUE(backup.Restore("C:\\SETUP.BIN", "C:\\dest"));
  EXPECT_EQ(filesUnder(tmp.file("dest")), (std::vector<std::string>{"A.TXT"}));
  EXPECT_EQ(announced, 1);
  EXPECT_EQ(backup.FRestoredCount, 1);
}

TEST_F(RestoreTest, LargeEntriesAreWrittenOrSteppedOverWhole) {
  const std::string big = patternBytes(200000, 11);
  const std::string other = patternBytes(70000, 12);
  backup.OnRestoreFile = TRestoreFileEvent([](TObject*, std::string& f, int32_t, bool& d) {
    if (f.ends_with("SKIPPED.BIN")) d = false;
  });
  writeVolume("SETUP.BIN",
              ArchiveBuilder()
                  .header(int32_t(2 * big.size() + other.size()))
                  .fileList(kDate2001, DataBlock().chunkLength(-70000).raw(other).stored("x"))
                  .file("C:\\SKIPPED.BIN", kDate2001, DataBlock::ofContent(big, false))
                  .file("C:\\STORED.BIN", kDate2001, DataBlock::ofContent(big, false))
                  .file("C:\\PACKED.BIN", kDate2001, DataBlock::ofContent(other + big.substr(0, 30000), true))
                  .storedFile("C:\\LAST.TXT", kDate2001, "last")
                  .end());
  EXPECT_TRUE(backup.Restore("C:\\SETUP.BIN", "C:\\dest"));
  EXPECT_FALSE(tmp.exists("dest/SKIPPED.BIN"));
  EXPECT_TRUE(tmp.read("dest/STORED.BIN") == big);
  EXPECT_TRUE(tmp.read("dest/PACKED.BIN") == other + big.substr(0, 30000));
  EXPECT_EQ(tmp.read("dest/LAST.TXT"), "last");
}

TEST_F(RestoreTest, AFileListWithAWrongSignatureStopsTheRestore) {
  writeVolume("SETUP.BIN", ArchiveBuilder()
                               .header(2)
                               .fileList(kDate2001, DataBlock().signature("EC2!"))
                               .storedFile("C:\\A.TXT", kDate2001, "ok")
                               .end());
  EXPECT_THROW_MESSAGE(backup.Restore("C:\\SETUP.BIN", "C:\\dest"), Exception, "Invalid archive type");
  EXPECT_FALSE(tmp.exists("dest/A.TXT"));
  EXPECT_TRUE(log.progress.empty());
  EXPECT_TRUE(app.boxes.empty());
}

// ---- target paths ----

struct TargetRow {
  const char* name;
  bool fullPath;
  const char* targetDir;
  const char* stored;
  const char* lands;  // relative to the scratch root
};

TEST_F(RestoreTest, TargetPaths) {
  const TargetRow rows[] = {
      {"flat, destination without backslash", false, "C:\\dest", "C:\\dir\\sub\\f.txt", "dest/f.txt"},
      {"flat, destination with backslash", false, "C:\\dest\\", "C:\\dir\\sub\\f.txt", "dest/f.txt"},
      {"flat, name after a colon", false, "C:\\dest", "D:f.txt", "dest/f.txt"},
      {"flat, a slash separates too", false, "C:\\dest", "C:\\x/../../f.txt", "dest/f.txt"},
      {"flat, lower-case destination", false, "c:\\Dest", "C:\\f.txt", "Dest/f.txt"},
      {"full path", true, "C:\\dest", "C:\\one\\two\\f.txt", "dest/one/two/f.txt"},
      {"full path, odd but harmless component", true, "C:\\dest", "C:\\a\\..b\\f.txt", "dest/a/..b/f.txt"},
      {"full path, doubled backslash", true, "C:\\dest", "C:\\D\\\\X.TXT", "dest/D/X.TXT"},
      {"full path, forward slash", true, "C:\\dest", "C:\\D/X.TXT", "dest/D/X.TXT"},
      {"full path, a . directory stays in place", true, "C:\\dest", "C:\\S\\.\\LAST.TXT", "dest/S/LAST.TXT"},
      {"full path, . directories first and doubled", true, "C:\\dest", "C:\\.\\./S/.\\X.TXT", "dest/S/X.TXT"},
      {"no destination, flat", false, "", "C:\\inst\\f.txt", "inst/f.txt"},
      {"no destination, full path", true, "", "C:\\inst\\deep\\f.txt", "inst/deep/f.txt"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    fs::remove_all(tmp.file("dest"));
    fs::remove_all(tmp.file("Dest"));
    fs::remove_all(tmp.file("inst"));
    writeVolume("SETUP.BIN", ArchiveBuilder().header(4).storedFile(row.stored, kDate2001, "data").end());
    backup.RestoreFullPath = row.fullPath;
    EXPECT_TRUE(backup.Restore("C:\\SETUP.BIN", row.targetDir));
    EXPECT_EQ(tmp.read(row.lands), "data");
  }
}

TEST_F(RestoreTest, AStoredPathThatLeavesTheDestinationIsNotWritten) {
  const char* names[] = {
      "C:\\..\\evil.txt",     "C:\\a\\..\\..\\evil.txt", "C:\\a\\..\\..\\..\\evil.txt", "C:\\\\evil.txt",
      "C:\\/evil.txt",        "C:\\a\\D:\\evil.txt",     "C:\\a\\C:evil.txt",           "C:\\..",
      "C:\\a/../../evil.txt",
  };
  backup.RestoreFullPath = true;
  for (const char* name : names) {
    SCOPED_TRACE(name);
    fs::remove_all(tmp.file("dest"));
    log.errors.clear();
    writeVolume(
        "SETUP.BIN",
        ArchiveBuilder().header(2).storedFile(name, kDate2001, "x").storedFile("C:\\after.txt", kDate2001, "y").end());
    EXPECT_FALSE(backup.Restore("C:\\SETUP.BIN", "C:\\dest\\inner"));
    EXPECT_EQ(backup.FErrorCode, 1);
    EXPECT_EQ(filesUnder(tmp.path()), (std::vector<std::string>{"SETUP.BIN"}));
    EXPECT_EQ(log.errors, (std::vector<std::pair<int, std::string>>{{1, "Cannot read file"}}));
  }
}

TEST_F(RestoreTest, AHandlerMayStillChooseAPathOutsideTheDestination) {
  backup.RestoreFullPath = true;
  backup.OnRestoreFile = TRestoreFileEvent([](TObject*, std::string& f, int32_t, bool&) {
    if (f.find("..") != std::string::npos) f = "C:\\elsewhere\\chosen.txt";
  });
  writeVolume("SETUP.BIN", ArchiveBuilder().header(1).storedFile("C:\\..\\evil.txt", kDate2001, "x").end());
  EXPECT_TRUE(backup.Restore("C:\\SETUP.BIN", "C:\\dest"));
  EXPECT_EQ(tmp.read("elsewhere/chosen.txt"), "x");
}

TEST_F(RestoreTest, ATargetWithoutADirectoryPartRaises) {
  backup.OnRestoreFile = TRestoreFileEvent([](TObject*, std::string& f, int32_t, bool&) { f = "bare.txt"; });
  writeVolume("SETUP.BIN", ArchiveBuilder().header(1).storedFile("C:\\A.TXT", kDate2001, "x").end());
  EXPECT_THROW_MESSAGE(backup.Restore("C:\\SETUP.BIN", "C:\\dest"), Exception, "Unable to create directory");
}

// ---- archive sources ----

TEST_F(RestoreTest, AMissingArchiveReturnsFalseWithoutAnyEvent) {
  int other = 0;
  backup.OnRestoreFile = TRestoreFileEvent([&](TObject*, std::string&, int32_t, bool&) { ++other; });
  backup.OnNeedDisk = TNeedDiskEvent([&](TObject*, uint16_t, bool&) { ++other; });
  fs::create_directories(tmp.file("SETUP.BIN"));  // a directory does not count
  for (const char* name : {"C:\\NOPE.BIN", "C:\\SETUP.BIN", "Q:\\SETUP.BIN", "\\\\server\\share\\SETUP.BIN"}) {
    SCOPED_TRACE(name);
    backup.FErrorCode = 6;
    EXPECT_FALSE(backup.Restore(name, "C:\\dest"));
    EXPECT_EQ(backup.FErrorCode, 0);
    EXPECT_FALSE(backup.FBusy);
  }
  EXPECT_TRUE(log.progress.empty());
  EXPECT_TRUE(log.errors.empty());
  EXPECT_EQ(other, 0);
  EXPECT_TRUE(app.boxes.empty());
  EXPECT_FALSE(tmp.exists("dest"));
}

TEST_F(RestoreTest, AnUnreadableHeaderRaisesCannotReadArchive) {
  const std::pair<const char*, std::string> rows[] = {
      {"two bytes", std::string(2, '\0')},
      {"no HeaderExtra", ArchiveBuilder().int32(0).int32(5).bytes()},
      {"header text longer than the file", ArchiveBuilder().int32(100).raw("short").bytes()},
      {"negative header text length", ArchiveBuilder().int32(-4).int32(5).int32(0).end().bytes()},
      {"empty file", ""},
  };
  for (const auto& [name, bytes] : rows) {
    SCOPED_TRACE(name);
    tmp.write("SETUP.BIN", bytes);
    EXPECT_THROW_MESSAGE(backup.Restore("C:\\SETUP.BIN", "C:\\dest"), Exception, "Cannot read archive");
    EXPECT_FALSE(backup.FBusy);
    EXPECT_EQ(backup.FErrorCode, 0);
  }
  EXPECT_TRUE(log.progress.empty());
  EXPECT_TRUE(app.boxes.empty());
}

TEST_F(RestoreTest, TheStreamSourceIsReadFromItsCurrentPosition) {
  const std::string archive = ArchiveBuilder().header(3).storedFile("C:\\S.TXT", kDate2001, "abc").end().bytes();
  for (int cap = 0; cap <= 7; ++cap) {
    SCOPED_TRACE(cap);
    const std::string prefix = "junk";
    TMemoryStream withJunk;
    withJunk.write(prefix.data(), int64_t(prefix.size()));
    withJunk.write(archive.data(), int64_t(archive.size()));
    withJunk.setPosition(int64_t(prefix.size()));
    withJunk.setMaxReadSize(cap);
    backup.FSourceStream = &withJunk;
    EXPECT_TRUE(backup.Restore(":STREAM", "C:\\dest"));
    EXPECT_EQ(tmp.read("dest/S.TXT"), "abc");
    // The stream is the owner's: still open and usable, left at the end.
    EXPECT_EQ(withJunk.position(), withJunk.size());
  }
}

TEST_F(RestoreTest, TheStreamSourceIsNamedExactly) {
  TMemoryStream stream;
  backup.FSourceStream = &stream;
  EXPECT_FALSE(backup.Restore(":stream", "C:\\dest"));  // a file name like any other, and missing
  backup.FSourceStream = nullptr;
  EXPECT_THROW_MESSAGE(backup.Restore(":STREAM", "C:\\dest"), Exception, "Cannot read archive");
}

}  // namespace
