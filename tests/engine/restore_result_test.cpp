// How a restore ends, as its result tells it: exceptions that leave the
// restore (the archive's, a handler's), the position of a record that cannot
// be read, and a stop at the very end of a file's data.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <functional>
#include <memory>

#include "framework/core/exceptions.h"
#include "tests/engine/engine_test_support.h"
#include "tests/support/expect_message.h"

namespace {

using Status = TRestoreResult::Status;

class RestoreResultTest : public EngineTest {
 protected:
  void SetUp() override { log.attach(backup); }

  // A Unix socket at tmp/<name>: it exists and is no directory, but no file
  // can be opened on it, whoever runs the test.
  void socketAt(const std::string& name) {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = tmp.file(name);
    ASSERT_LT(path.size(), sizeof(address.sun_path));
    path.copy(address.sun_path, path.size());
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    close(fd);
  }
};

struct RaiseRow {
  const char* name;
  bool twoVolumes;
  std::function<void(TBackupFile&)> setUp;
  const char* message;
  bool reading;  // the archive's fault
};

// Whatever raises, the exception leaves Restore with the restore still busy
// and no final 100; the result says how it ended and whether the archive was
// at fault.
TEST_F(RestoreResultTest, AnExceptionLeavesTheRestoreAndTheResultSaysWhose) {
  const RaiseRow rows[] = {
      {"OnRestoreFile raises", false,
       [](TBackupFile& b) {
         b.OnRestoreFile =
             TRestoreFileEvent([](TObject*, std::string&, int32_t, bool&) { throw Exception("handler"); });
       },
       "handler", false},
      {"OnNeedDisk raises", true,
       [](TBackupFile& b) {
         b.OnNeedDisk = TNeedDiskEvent([](TObject*, uint16_t, bool&) { throw Exception("handler"); });
       },
       "handler", false},
      {"OnFileRestored raises", false,
       [](TBackupFile& b) {
         b.OnFileRestored =
             TFileRestoredEvent([](TObject*, std::string&, TFileStream*&) { throw Exception("handler"); });
       },
       "handler", false},
      {"OnFileRestored raises after Continue was cleared at the last file's end", false,
       [](TBackupFile& b) {
         // B's block: the stored chunk, then the terminating one.
         auto reports = std::make_shared<int>(0);
         b.OnProgress = TProgressEvent([reports](TObject*, const std::string& f, TPercentage, bool& c) {
           if (f.ends_with("B.TXT") && ++*reports == 2) c = false;
         });
         b.OnFileRestored = TFileRestoredEvent([](TObject*, std::string& f, TFileStream*&) {
           if (f.ends_with("B.TXT")) throw Exception("handler");
         });
       },
       "handler", false},
      {"a target without a directory", false,
       [](TBackupFile& b) {
         b.OnRestoreFile = TRestoreFileEvent([](TObject*, std::string& f, int32_t, bool&) { f = "bare.txt"; });
       },
       "Unable to create directory", false},
      {"the next volume is damaged", true,
       [this](TBackupFile&) { writeVolume("SETUP.002", ArchiveBuilder().block(DataBlock().signature("BAD!"))); },
       "Invalid archive type", true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    // Two files; with `twoVolumes` B continues in SETUP.002.
    ArchiveBuilder first;
    first.header(8).storedFile("C:\\A.TXT", kDate2001, "aaa").file("C:\\B.TXT", kDate2001, DataBlock().stored("b1"));
    if (row.twoVolumes) {
      first.volumeChange("002");
      writeVolume("SETUP.002", ArchiveBuilder().block(DataBlock().stored("b2")).end());
    } else {
      first.end();
    }
    writeVolume("SETUP.BIN", first);
    TBackupFile b(nullptr);
    EventLog events;
    events.attach(b);
    row.setUp(b);
    EXPECT_THROW_MESSAGE(b.Restore("C:\\SETUP.BIN", "C:\\dest"), Exception, row.message);
    EXPECT_TRUE(b.FBusy);
    EXPECT_EQ(events.finalReports(), 0);
    EXPECT_EQ(int(b.Result().status), int(Status::Raised));
    EXPECT_EQ(b.Result().reading, row.reading);
    EXPECT_EQ(b.Result().damaged(), row.reading);
  }
}

// A handler's exception inside the decoder is consumed like any failure of
// the file's data, but it is no damage in the archive.
TEST_F(RestoreResultTest, AnOnProgressExceptionFailsTheFileWithoutBlamingTheArchive) {
  backup.OnProgress = TProgressEvent([](TObject*, const std::string& f, TPercentage, bool&) {
    if (!f.empty()) throw Exception("handler");  // not the final report
  });
  writeVolume("SETUP.BIN", ArchiveBuilder().header(3).storedFile("C:\\A.TXT", kDate2001, "aaa").end());
  EXPECT_FALSE(backup.Restore("C:\\SETUP.BIN", "C:\\dest"));
  EXPECT_EQ(backup.FErrorCode, 1);
  EXPECT_EQ(int(backup.Result().status), int(Status::Failed));
  EXPECT_EQ(backup.Result().reason, "handler");
  EXPECT_FALSE(backup.Result().damaged());
}

// A record that cannot be read is placed where it starts, not at the record
// before it.
TEST_F(RestoreResultTest, ARecordThatCannotBeReadIsPlacedWhereItStarts) {
  ArchiveBuilder archive;
  archive.header(3).storedFile("C:\\A.TXT", kDate2001, "aaa").mark("cut").int32(1000).raw("C:\\B");
  writeVolume("SETUP.BIN", archive);
  EXPECT_THROW_MESSAGE(backup.Restore("C:\\SETUP.BIN", "C:\\dest"), Exception, "Stream read error");
  EXPECT_EQ(backup.Result().offset, int64_t(archive.offset("cut")));
  EXPECT_TRUE(backup.Result().damaged());
}

// Continue cleared by OnProgress at the terminating chunk: the file's data is
// all there, and the next record (a file or the end marker) shows that it
// does not continue, so it is kept, reported and counted.
TEST_F(RestoreResultTest, AStopAtTheTerminatingChunkKeepsTheFile) {
  for (bool fileFollows : {true, false}) {
    SCOPED_TRACE(fileFollows ? "a file follows" : "the end marker follows");
    log = EventLog();
    log.attach(backup);
    int reports = 0;
    backup.OnProgress = TProgressEvent([&](TObject*, const std::string& f, TPercentage p, bool& c) {
      // A's block: the stored chunk, then the terminating one.
      if (f.ends_with("A.TXT") && ++reports == 2) c = false;
      log.progress.push_back({f, p});
    });
    ArchiveBuilder archive;
    archive.header(4).storedFile("C:\\A.TXT", kDate2001, "aaa");
    if (fileFollows) archive.storedFile("C:\\B.TXT", kDate2001, "b");
    writeVolume("SETUP.BIN", archive.end());
    EXPECT_FALSE(backup.Restore("C:\\SETUP.BIN", "C:\\dest"));
    EXPECT_EQ(backup.FErrorCode, 0);
    EXPECT_EQ(backup.FRestoredCount, 1);
    ASSERT_EQ(log.restored.size(), 1u);
    EXPECT_EQ(log.restored[0].file, "C:\\dest\\A.TXT");
    EXPECT_EQ(tmp.read("dest/A.TXT"), "aaa");
    EXPECT_EQ(uint32_t(platform::fileAge("C:\\dest\\A.TXT")), kDate2001);
    EXPECT_FALSE(tmp.exists("dest/B.TXT"));
    EXPECT_EQ(log.finalReports(), 1);
  }
}

// An archive, or a next volume, that is there but cannot be opened.
TEST_F(RestoreResultTest, AVolumeThatExistsButCannotBeOpened) {
  socketAt("SETUP.BIN");
  EXPECT_THROW_MESSAGE(backup.Restore("C:\\SETUP.BIN", "C:\\dest"), Exception, "Cannot read archive");
  EXPECT_FALSE(backup.FBusy);
  EXPECT_EQ(log.progress.size(), 0u);

  unlink(tmp.file("SETUP.BIN").c_str());
  writeVolume("SETUP.BIN", ArchiveBuilder()
                               .header(5)
                               .storedFile("C:\\A.TXT", kDate2001, "aaa")
                               .file("C:\\B.TXT", kDate2001, DataBlock().stored("b1"))
                               .volumeChange("002"));
  socketAt("SETUP.002");
  backup.OnNeedDisk = TNeedDiskEvent([](TObject*, uint16_t, bool&) {});
  EXPECT_THROW(backup.Restore("C:\\SETUP.BIN", "C:\\dest"), Exception);
  EXPECT_TRUE(backup.FBusy);
  EXPECT_EQ(log.finalReports(), 0);
  EXPECT_EQ(backup.Result().volume, "C:\\SETUP.002");
  EXPECT_EQ(tmp.read("dest/A.TXT"), "aaa");
  EXPECT_FALSE(tmp.exists("dest/B.TXT"));  // its rest could not be read
}

}  // namespace
