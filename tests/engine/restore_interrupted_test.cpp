// Interrupted restores: whatever stops a file half-way, no cut-short file is
// left under its name, an existing version keeps its bytes and date, and the
// files finished before stay.
#include <fcntl.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>

#include "framework/core/exceptions.h"
#include "framework/core/path_utils.h"
#include "platform/files.h"
#include "tests/engine/engine_test_support.h"
#include "tests/support/expect_message.h"

namespace fs = std::filesystem;

namespace {

constexpr int64_t kOldMtime = 946728000;  // 2000-01-01 12:00:00 UTC
const std::string kOld = "the installed version";

class InterruptTest : public EngineTest {
 protected:
  void SetUp() override { log.attach(backup); }

  // The names in dest, temporary files included.
  std::set<std::string> destNames() const {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(tmp.file("dest"))) names.insert(e.path().filename());
    return names;
  }
  std::vector<std::string> restoredNames() const {
    std::vector<std::string> names;
    for (const auto& r : log.restored) names.push_back(r.file);
    return names;
  }
  void writeOldB() {
    tmp.write("dest/B.TXT", kOld);
    struct timespec t[2] = {{kOldMtime, 0}, {kOldMtime, 0}};
    utimensat(AT_FDCWD, tmp.file("dest/B.TXT").c_str(), t, 0);
  }
};

// A.TXT is complete; B.TXT is the file that is interrupted; C.TXT follows.
// `bBlock` is B's block in volume 1; `continuation` (when set) makes B span
// into SETUP.002.
struct InterruptRow {
  const char* name;
  DataBlock bBlock;
  const char* continuation;                                              // B's rest in volume 2, or null
  std::function<void(TBackupFile&, FakeApplication&, EventLog&)> setUp;  // handlers
  int errorCode;  // or kRaises: "Invalid archive type" leaves the restore
};
constexpr int kRaises = -1;
const std::string kLongContinuation(3000, 'b');

TEST_F(InterruptTest, AnInterruptedFileIsNeverLeftCutShort) {
  const std::string damagedZlib = [] {
    std::string z = zlibCompress("compressible compressible compressible");
    z.back() = char(z.back() ^ 1);
    return z;
  }();
  auto stopAtChunk = [](int n) {
    return [n](TBackupFile& backup, FakeApplication&, EventLog& log) {
      auto count = std::make_shared<int>(0);
      backup.OnProgress = TProgressEvent([&log, n, count](TObject*, const std::string& f, TPercentage p, bool& c) {
        if (f.ends_with("B.TXT") && ++*count == n) c = false;
        log.progress.push_back({f, p});
      });
    };
  };
  const InterruptRow rows[] = {
      {"disk full", DataBlock().stored(std::string(3000, 'b')), nullptr, nullptr, 1},
      {"wrong signature", DataBlock().signature("EC3").stored("bb"), nullptr, nullptr, 1},
      {"chunk beyond the input area", DataBlock().stored("part").stored(std::string(20000, 'x')), nullptr, nullptr, 1},
      {"archive cut inside the block", DataBlock().stored("part").chunkLength(-50).unterminated(), nullptr, nullptr, 1},
      {"zlib failure", DataBlock().stored("part").compressedRaw(damagedZlib).stored("never"), nullptr, nullptr, 6},
      {"OnProgress clears Continue before the last chunk", DataBlock().stored("b1").stored("b2"), nullptr,
       stopAtChunk(1), 0},
      {"OnProgress clears Continue at the end of the first volume's part", DataBlock().stored("b1"), "b2",
       stopAtChunk(2), 0},
      {"Cancel in the disk prompt", DataBlock().stored("b1"), "b2",
       [](TBackupFile&, FakeApplication& app, EventLog&) { app.answers = {mrCancel}; }, 0},
      {"OnNeedDisk clears Continue", DataBlock().stored("b1"), "b2",
       [](TBackupFile& backup, FakeApplication&, EventLog&) {
         backup.OnNeedDisk = TNeedDiskEvent([](TObject*, uint16_t, bool& c) { c = false; });
       },
       0},
      {"the continuation is damaged", DataBlock().stored("b1"), "", nullptr, kRaises},
      {"disk full in the continuation", DataBlock().stored("b1"), kLongContinuation.c_str(), nullptr, 1},
  };
  for (bool existing : {false, true}) {
    for (const auto& row : rows) {
      SCOPED_TRACE(std::string(row.name) + (existing ? ", existing file" : ", new file"));
      fs::remove_all(tmp.file("dest"));
      fs::create_directories(tmp.file("dest"));
      if (existing) writeOldB();
      backup.OnNeedDisk = {};
      log = EventLog();
      log.attach(backup);
      app.answers.clear();
      app.boxes.clear();
      ArchiveBuilder first;
      first.header(100).storedFile("C:\\A.TXT", kDate2001, "aaa").file("C:\\B.TXT", kDate2001, row.bBlock);
      if (row.continuation) {
        first.volumeChange("002");
        ArchiveBuilder second;
        if (*row.continuation)
          second.block(DataBlock().stored(row.continuation));
        else
          second.block(DataBlock().signature("BAD!"));
        writeVolume("SETUP.002", second.storedFile("C:\\C.TXT", kDate2001, "c").end());
      } else {
        first.storedFile("C:\\C.TXT", kDate2001, "c").end();
      }
      writeVolume("SETUP.BIN", first);
      if (row.setUp) row.setUp(backup, app, log);

      bool result = false;
      {
        // Disk full: A's 3 bytes fit, B's 3000 do not.
        std::optional<FileSizeLimit> limit;
        if (std::string(row.name).starts_with("disk full")) limit.emplace(1000);
        if (row.errorCode == kRaises)
          EXPECT_THROW_MESSAGE(backup.Restore("C:\\SETUP.BIN", "C:\\dest"), Exception, "Invalid archive type");
        else
          result = backup.Restore("C:\\SETUP.BIN", "C:\\dest");
      }
      EXPECT_FALSE(result);
      if (row.errorCode != kRaises) {
        EXPECT_EQ(backup.FErrorCode, row.errorCode);
        EXPECT_EQ(log.finalReports(), 1);
        EXPECT_EQ(log.errors.size(), row.errorCode ? 1u : 0u);
      }
      EXPECT_EQ(tmp.read("dest/A.TXT"), "aaa");
      EXPECT_EQ(uint32_t(platform::fileAge("C:\\dest\\A.TXT")), kDate2001);
      EXPECT_EQ(backup.FRestoredCount, 1);
      EXPECT_EQ(restoredNames(), std::vector<std::string>{"C:\\dest\\A.TXT"});
      if (existing) {
        EXPECT_EQ(tmp.read("dest/B.TXT"), kOld);
        EXPECT_EQ(hostMtime(tmp.file("dest/B.TXT")), kOldMtime);
        EXPECT_EQ(destNames(), (std::set<std::string>{"A.TXT", "B.TXT"}));
      } else {
        EXPECT_EQ(destNames(), std::set<std::string>{"A.TXT"});
      }
      EXPECT_EQ(backup.Result().file, row.errorCode ? "C:\\dest\\B.TXT" : "");
    }
  }
}

TEST_F(InterruptTest, AnExistingFileIsReplacedWholeWithItsPermissions) {
  writeOldB();
  chmod(tmp.file("dest/B.TXT").c_str(), 0640);
  struct stat st {};
  ASSERT_EQ(stat(tmp.file("dest/B.TXT").c_str(), &st), 0);
  const ino_t oldInode = st.st_ino;
  writeVolume("SETUP.BIN", ArchiveBuilder().header(3).storedFile("C:\\B.TXT", kDate2001, "new").end());
  std::string seenDuringEvent;
  backup.OnFileRestored = TFileRestoredEvent([&](TObject*, std::string&, TFileStream*&) {
    seenDuringEvent = tmp.read("dest/B.TXT");  // still the old version under the real name
  });
  EXPECT_TRUE(backup.Restore("C:\\SETUP.BIN", "C:\\dest"));
  EXPECT_EQ(seenDuringEvent, kOld);
  EXPECT_EQ(tmp.read("dest/B.TXT"), "new");
  EXPECT_EQ(uint32_t(platform::fileAge("C:\\dest\\B.TXT")), kDate2001);
  ASSERT_EQ(stat(tmp.file("dest/B.TXT").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_NE(st.st_ino, oldInode);
  EXPECT_EQ(destNames(), std::set<std::string>{"B.TXT"});
  EXPECT_EQ(backup.FRestoredCount, 1);
}

// A replacement is readable and writable by its writer only until it is
// complete; then it takes the old file's permissions without the set-user-ID
// and set-group-ID bits.
TEST_F(InterruptTest, AReplacementGetsItsPermissionsOnlyWhenComplete) {
  writeOldB();
  chmod(tmp.file("dest/B.TXT").c_str(), 06755);
  writeVolume("SETUP.BIN", ArchiveBuilder().header(3).storedFile("C:\\B.TXT", kDate2001, "new").end());
  std::vector<mode_t> whileWritten;
  backup.OnFileRestored = TFileRestoredEvent([&](TObject*, std::string&, TFileStream*&) {
    for (const auto& e : fs::directory_iterator(tmp.file("dest")))
      if (e.path().filename().string().starts_with(".~")) {
        struct stat st {};
        lstat(e.path().c_str(), &st);
        whileWritten.push_back(st.st_mode & 07777);
      }
  });
  EXPECT_TRUE(backup.Restore("C:\\SETUP.BIN", "C:\\dest"));
  EXPECT_EQ(whileWritten, std::vector<mode_t>{0600});
  struct stat st {};
  ASSERT_EQ(stat(tmp.file("dest/B.TXT").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0755u);
  EXPECT_EQ(tmp.read("dest/B.TXT"), "new");
}

// The order at the end of a file and of a restore: the stamp follows
// OnFileRestored, the final 100 comes while the restore is still busy, and the
// error report last, when it no longer is.
TEST_F(InterruptTest, TheEventsAtTheEndComeInOrder) {
  writeVolume("SETUP.BIN", ArchiveBuilder()
                               .header(4)
                               .storedFile("C:\\A.TXT", kDate2001, "aaa")
                               .file("C:\\B.TXT", kDate2001, DataBlock().signature("BAD!"))
                               .end());
  std::vector<std::string> trace;
  backup.OnFileRestored = TFileRestoredEvent([&](TObject*, std::string& f, TFileStream*& s) {
    const bool stamped = platform::getFileDosTime(s->handle()) == kDate2001;
    trace.push_back(fw::fileNamePart(f) + (stamped ? " restored, stamped" : " restored, not yet stamped"));
  });
  backup.OnProgress = TProgressEvent([&](TObject*, const std::string& f, TPercentage p, bool&) {
    if (f.empty()) trace.push_back("final " + std::to_string(p) + (backup.FBusy ? " while busy" : " when idle"));
  });
  backup.OnError = TBackupErrorEvent([&](TObject*, int32_t code, const std::string&) {
    trace.push_back("error " + std::to_string(code) + (backup.FBusy ? " while busy" : " when idle"));
  });
  EXPECT_FALSE(backup.Restore("C:\\SETUP.BIN", "C:\\dest"));
  EXPECT_EQ(trace,
            (std::vector<std::string>{"A.TXT restored, not yet stamped", "final 100 while busy", "error 1 when idle"}));
  EXPECT_EQ(uint32_t(platform::fileAge("C:\\dest\\A.TXT")), kDate2001);
}

// A volume cut inside the record after a file's block: that record may have
// said that the file continues in a next volume, so the file is not complete.
TEST_F(InterruptTest, AFileWhoseNextRecordIsCutIsNotKept) {
  for (bool existing : {false, true}) {
    SCOPED_TRACE(existing ? "existing file" : "new file");
    fs::remove_all(tmp.file("dest"));
    fs::create_directories(tmp.file("dest"));
    if (existing) writeOldB();
    ArchiveBuilder volume;
    volume.header(6).storedFile("C:\\A.TXT", kDate2001, "aaa").storedFile("C:\\B.TXT", kDate2001, "bbb");
    const std::string cut = volume.bytes() + int32Bytes(12) + "NEXT:DI";
    writeHostFile(tmp.file("SETUP.BIN"), cut);
    EXPECT_THROW_MESSAGE(backup.Restore("C:\\SETUP.BIN", "C:\\dest"), Exception, "Stream read error");
    EXPECT_EQ(tmp.read("dest/A.TXT"), "aaa");
    if (existing) {
      EXPECT_EQ(tmp.read("dest/B.TXT"), kOld);
      EXPECT_EQ(hostMtime(tmp.file("dest/B.TXT")), kOldMtime);
    }
    EXPECT_EQ(destNames(), existing ? (std::set<std::string>{"A.TXT", "B.TXT"}) : std::set<std::string>{"A.TXT"});
  }
}

// A directory the restore made and another program removed while it ran is
// made again for the next file in it.
TEST_F(InterruptTest, ADirectoryRemovedMeanwhileIsMadeAgain) {
  backup.RestoreFullPath = true;
  writeVolume("SETUP.BIN", ArchiveBuilder()
                               .header(2)
                               .storedFile("C:\\sub\\A.TXT", kDate2001, "a")
                               .storedFile("C:\\sub\\B.TXT", kDate2001, "b")
                               .end());
  backup.OnRestoreFile = TRestoreFileEvent([&](TObject*, std::string& f, int32_t, bool&) {
    if (f.ends_with("B.TXT")) fs::remove_all(tmp.file("dest/sub"));
  });
  EXPECT_TRUE(backup.Restore("C:\\SETUP.BIN", "C:\\dest"));
  EXPECT_EQ(tmp.read("dest/sub/B.TXT"), "b");
  EXPECT_EQ(backup.FRestoredCount, 2);
}

// A continuation volume whose volume-change entry names itself or an earlier
// volume would be read again and again.
TEST_F(InterruptTest, AVolumeCycleIsRejected) {
  for (const char* number : {"002", "001"}) {
    SCOPED_TRACE(number);
    fs::remove_all(tmp.file("dest"));
    writeVolume("SETUP.BIN", ArchiveBuilder()
                                 .header(6)
                                 .storedFile("C:\\A.TXT", kDate2001, "a")
                                 .file("C:\\B.TXT", kDate2001, DataBlock().stored("B1"))
                                 .volumeChange("002"));
    writeVolume("SETUP.002", ArchiveBuilder().block(DataBlock().stored("B2")).volumeChange(number));
    EXPECT_THROW_MESSAGE(backup.Restore("C:\\SETUP.BIN", "C:\\dest"), Exception, "Invalid archive type");
    EXPECT_EQ(tmp.read("dest/A.TXT"), "a");
    EXPECT_FALSE(tmp.exists("dest/B.TXT"));
  }
}

}  // namespace
