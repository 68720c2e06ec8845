// Archives that span volumes: the disk prompt, continuation blocks, volume
// names and numbers, and volume changes in a stream source.
#include <algorithm>
#include <filesystem>

#include "framework/core/exceptions.h"
#include "platform/files.h"
#include "tests/engine/engine_test_support.h"
#include "tests/support/expect_message.h"

namespace fs = std::filesystem;

namespace {

int openDescriptors() {
  int n = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator("/proc/self/fd")) ++n;
  return n;
}

class VolumeTest : public EngineTest {
 protected:
  void SetUp() override {
    log.attach(backup);
    backup.OnNeedDisk = TNeedDiskEvent([this](TObject*, uint16_t id, bool&) { disks.push_back(id); });
  }

  // A in volume 1; B in volumes 1, 2 and 3; C in volume 3.
  void writeThreeVolumes(const std::string& base = "SETUP") {
    writeVolume(base + ".BIN", ArchiveBuilder()
                                   .header(10)
                                   .storedFile("C:\\A.TXT", kDate2001, "aaa")
                                   .file("C:\\B.TXT", kDate2001, DataBlock().stored("B1"))
                                   .volumeChange("002"));
    writeVolume(base + ".002", ArchiveBuilder().block(DataBlock().stored("B2")).volumeChange("003"));
    writeVolume(base + ".003",
                ArchiveBuilder().block(DataBlock().stored("B3")).storedFile("C:\\C.TXT", kDate2001, "c").end());
  }
  std::vector<std::string> restoredNames() const {
    std::vector<std::string> names;
    for (const auto& r : log.restored) names.push_back(r.file);
    return names;
  }

  std::vector<int> disks;
};

TEST_F(VolumeTest, AFileSpanningThreeVolumesIsRestoredWhole) {
  writeThreeVolumes();
  const int before = openDescriptors();
  int openWhileAsking = 0;  // the volume is closed before the question, so its disk can be taken out
  backup.OnNeedDisk = TNeedDiskEvent([&](TObject*, uint16_t id, bool&) {
    disks.push_back(id);
    openWhileAsking = std::max(openWhileAsking, openDescriptors() - before);
  });
  EXPECT_TRUE(backup.Restore("C:\\SETUP.BIN", "C:\\dest"));
  EXPECT_EQ(openWhileAsking, 2);               // only the file being continued and the destination it is placed in
  EXPECT_EQ(disks, (std::vector<int>{2, 3}));  // asked although every volume is there
  EXPECT_EQ(tmp.read("dest/A.TXT"), "aaa");
  EXPECT_EQ(tmp.read("dest/B.TXT"), "B1B2B3");
  EXPECT_EQ(tmp.read("dest/C.TXT"), "c");
  EXPECT_EQ(uint32_t(platform::fileAge("C:\\dest\\B.TXT")), kDate2001);
  // B is reported once, when its last part is written.
  EXPECT_EQ(restoredNames(), (std::vector<std::string>{"C:\\dest\\A.TXT", "C:\\dest\\B.TXT", "C:\\dest\\C.TXT"}));
  EXPECT_EQ(log.restored[1].size, 6);
  EXPECT_EQ(backup.FRestoredCount, 3);
  EXPECT_EQ(backup.FBytesDone, 10);
  EXPECT_EQ(log.finalReports(), 1);
}

TEST_F(VolumeTest, WithoutAHandlerTheUserIsAskedInABox) {
  writeThreeVolumes();
  backup.OnNeedDisk = {};
  EXPECT_TRUE(backup.Restore("C:\\SETUP.BIN", "C:\\dest"));
  ASSERT_EQ(app.boxes.size(), 2u);
  EXPECT_EQ(app.boxes[0].text, "Please insert disk 2 and click OK to continue.");
  EXPECT_EQ(app.boxes[1].text, "Please insert disk 3 and click OK to continue.");
  EXPECT_EQ(app.boxes[0].type, TMsgDlgType::mtInformation);
  EXPECT_EQ(app.boxes[0].buttons, buttonSet({mbOK, mbCancel}));
  EXPECT_EQ(tmp.read("dest/B.TXT"), "B1B2B3");
}

struct VolumeNameRow {
  const char* name;
  const char* archive;     // relative to the scratch root
  const char* number;      // in the volume-change entry
  const char* nextVolume;  // relative to the scratch root
  int disk;
};

TEST_F(VolumeTest, VolumeNamesAndDiskNumbers) {
  const VolumeNameRow rows[] = {
      {"extension replaced", "SETUP.BIN", "002", "SETUP.002", 2},
      {"two-digit disk", "SETUP.BIN", "010", "SETUP.010", 10},
      {"three-digit disk", "SETUP.BIN", "123", "SETUP.123", 123},
      {"no extension", "ARCHIVE", "002", "ARCHIVE.002", 2},
      {"dotted directory, no extension", "my.dir/SETUP", "002", "my.dir/SETUP.002", 2},
      {"bytes after the number are ignored", "SETUP.BIN", "002tail", "SETUP.002", 2},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    fs::remove_all(tmp.file("dest"));
    disks.clear();
    tmp.write(row.archive, ArchiveBuilder()
                               .header(4)
                               .file("C:\\B.TXT", kDate2001, DataBlock().stored("B1"))
                               .volumeChange(row.number)
                               .bytes());
    tmp.write(row.nextVolume, ArchiveBuilder().block(DataBlock().stored("B2")).end().bytes());
    std::string archive = std::string("C:\\") + row.archive;
    std::replace(archive.begin(), archive.end(), '/', '\\');
    EXPECT_TRUE(backup.Restore(archive, "C:\\dest"));
    EXPECT_EQ(disks, (std::vector<int>{row.disk}));
    EXPECT_EQ(tmp.read("dest/B.TXT"), "B1B2");
    fs::remove(tmp.file(row.nextVolume));
  }
}

TEST_F(VolumeTest, AVolumeNumberThatIsNotThreeDecimalDigitsIsRejected) {
  for (const char* number : {"", "1", "12", "000", "0a2", " 12", "+12", "1.2", "-01"}) {
    SCOPED_TRACE(std::string("NEXT:DISK") + number);
    disks.clear();
    writeVolume("SETUP.BIN", ArchiveBuilder().header(1).storedFile("C:\\A.TXT", kDate2001, "a").volumeChange(number));
    EXPECT_THROW_MESSAGE(backup.Restore("C:\\SETUP.BIN", "C:\\dest"), Exception, "Invalid archive type");
    EXPECT_TRUE(disks.empty());
  }
}

TEST_F(VolumeTest, AHandlerIsAskedAgainUntilTheVolumeIsThere) {
  writeThreeVolumes();
  const std::string second = tmp.read("SETUP.002");
  fs::remove(tmp.file("SETUP.002"));
  int calls = 0;
  backup.OnNeedDisk = TNeedDiskEvent([&](TObject*, uint16_t id, bool& c) {
    EXPECT_TRUE(c);
    if (id == 2 && ++calls == 3) tmp.write("SETUP.002", second);
  });
  EXPECT_TRUE(backup.Restore("C:\\SETUP.BIN", "C:\\dest"));
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(tmp.read("dest/B.TXT"), "B1B2B3");
}

TEST_F(VolumeTest, CancelAtTheDiskPromptEndsWithoutAnErrorReport) {
  writeThreeVolumes();
  struct Row {
    const char* name;
    bool box;
  };
  for (const Row& row : {Row{"box answered with Cancel", true}, Row{"handler clears Continue", false}}) {
    SCOPED_TRACE(row.name);
    fs::remove_all(tmp.file("dest"));
    log = EventLog();
    log.attach(backup);
    app.boxes.clear();
    app.answers = {mrCancel};
    if (row.box)
      backup.OnNeedDisk = {};
    else
      backup.OnNeedDisk = TNeedDiskEvent([](TObject*, uint16_t, bool& c) { c = false; });
    EXPECT_FALSE(backup.Restore("C:\\SETUP.BIN", "C:\\dest"));
    EXPECT_EQ(backup.FErrorCode, 0);
    EXPECT_EQ(app.boxes.size(), row.box ? 1u : 0u);  // the prompt, and no error box
    EXPECT_EQ(log.finalReports(), 1);
    EXPECT_EQ(log.progress.back().file, "");
    EXPECT_TRUE(log.errors.empty());
    // The file cut short by the missing disk is removed; A stays.
    EXPECT_EQ(tmp.read("dest/A.TXT"), "aaa");
    EXPECT_FALSE(tmp.exists("dest/B.TXT"));
    EXPECT_FALSE(tmp.exists("dest/C.TXT"));
  }
}

TEST_F(VolumeTest, TheContinuationOfASkippedEntryIsSteppedOver) {
  writeThreeVolumes();
  backup.OnRestoreFile = TRestoreFileEvent([](TObject*, std::string& f, int32_t, bool& d) {
    if (f.ends_with("B.TXT")) d = false;
  });
  EXPECT_TRUE(backup.Restore("C:\\SETUP.BIN", "C:\\dest"));
  EXPECT_FALSE(tmp.exists("dest/B.TXT"));
  EXPECT_EQ(tmp.read("dest/C.TXT"), "c");
  EXPECT_EQ(restoredNames(), (std::vector<std::string>{"C:\\dest\\A.TXT", "C:\\dest\\C.TXT"}));
  for (const auto& p : log.progress) EXPECT_NE(p.file, "C:\\dest\\B.TXT");
  EXPECT_EQ(log.progress.size(), 5u);  // two for A, two for C, the final report
  EXPECT_EQ(backup.FBytesDone, 4);
}

TEST_F(VolumeTest, AVolumeChangeBeforeAnyFileSkipsItsContinuation) {
  writeVolume("SETUP.BIN", ArchiveBuilder().header(1).volumeChange("002"));
  writeVolume("SETUP.002", ArchiveBuilder()
                               .block(DataBlock().stored("orphan data").compressedRaw("not even zlib"))
                               .storedFile("C:\\A.TXT", kDate2001, "a")
                               .end());
  EXPECT_TRUE(backup.Restore("C:\\SETUP.BIN", "C:\\dest"));
  EXPECT_EQ(disks, (std::vector<int>{2}));
  EXPECT_EQ(restoredNames(), (std::vector<std::string>{"C:\\dest\\A.TXT"}));
  EXPECT_EQ(fs::directory_iterator(tmp.file("dest"))->path().filename(), "A.TXT");
}

TEST_F(VolumeTest, AFailingContinuationLeavesRestoreWithoutTheFile) {
  writeThreeVolumes();
  tmp.write("SETUP.002", ArchiveBuilder().block(DataBlock().signature("BAD!")).bytes());
  const int before = openDescriptors();
  EXPECT_THROW_MESSAGE(backup.Restore("C:\\SETUP.BIN", "C:\\dest"), Exception, "Invalid archive type");
  EXPECT_EQ(openDescriptors(), before);  // volume and output file closed
  EXPECT_FALSE(tmp.exists("dest/B.TXT"));
  EXPECT_EQ(log.finalReports(), 0);
  EXPECT_TRUE(backup.FBusy);  // an exception from the entry loop leaves the restore marked busy
}

TEST_F(VolumeTest, ExceptionsReleaseTheOpenVolume) {
  const std::pair<const char*, ArchiveBuilder> rows[] = {
      {"damaged skipped entry", ArchiveBuilder().header(1).fileList(0, DataBlock().signature("EC1"))},
      {"archive without an end marker", ArchiveBuilder().header(1).storedFile("C:\\A.TXT", kDate2001, "a")},
      {"bad volume number", ArchiveBuilder().header(1).volumeChange("0x1")},
  };
  for (const auto& [name, archive] : rows) {
    SCOPED_TRACE(name);
    writeVolume("SETUP.BIN", archive);
    const int before = openDescriptors();
    EXPECT_THROW(backup.Restore("C:\\SETUP.BIN", "C:\\dest"), Exception);
    EXPECT_EQ(openDescriptors(), before);
  }
}

// ---- volume changes in a stream ----

class StreamVolumeTest : public VolumeTest {
 protected:
  static std::vector<uint8_t> bytesOf(const ArchiveBuilder& a) { return a.data(); }
  ArchiveBuilder firstPart() const {
    ArchiveBuilder a;
    a.header(6)
        .storedFile("C:\\A.TXT", kDate2001, "aaa")
        .file("C:\\B.TXT", kDate2001, DataBlock().stored("B1"))
        .volumeChange("002");
    return a;
  }
  ArchiveBuilder secondPart() const {
    ArchiveBuilder a;
    a.block(DataBlock().stored("B2")).storedFile("C:\\C.TXT", kDate2001, "c").end();
    return a;
  }
};

TEST_F(StreamVolumeTest, TheRestoreAsksOnceAndReadsOn) {
  TMemoryStream stream(bytesOf(ArchiveBuilder(firstPart()).raw(secondPart().bytes())));
  backup.FSourceStream = &stream;
  EXPECT_TRUE(backup.Restore(":STREAM", "C:\\dest"));
  EXPECT_EQ(disks, (std::vector<int>{2}));
  EXPECT_EQ(tmp.read("dest/B.TXT"), "B1B2");
  EXPECT_EQ(tmp.read("dest/C.TXT"), "c");
}

TEST_F(StreamVolumeTest, AHandlerMayPointTheSourceAtTheNextVolume) {
  TMemoryStream first(bytesOf(firstPart()));
  TMemoryStream second(bytesOf(secondPart()));
  backup.FSourceStream = &first;
  backup.OnNeedDisk = TNeedDiskEvent([&](TObject*, uint16_t id, bool&) {
    disks.push_back(id);
    backup.FSourceStream = &second;
  });
  EXPECT_TRUE(backup.Restore(":STREAM", "C:\\dest"));
  EXPECT_EQ(disks, (std::vector<int>{2}));
  EXPECT_EQ(tmp.read("dest/B.TXT"), "B1B2");
  EXPECT_EQ(second.position(), second.size());
}

TEST_F(StreamVolumeTest, TheBoxDecidesWithoutAHandler) {
  backup.OnNeedDisk = {};
  for (int answer : {int(mrOk), int(mrCancel)}) {
    SCOPED_TRACE(answer);
    fs::remove_all(tmp.file("dest"));
    app.boxes.clear();
    app.answers = {answer};
    TMemoryStream stream(bytesOf(ArchiveBuilder(firstPart()).raw(secondPart().bytes())));
    backup.FSourceStream = &stream;
    EXPECT_EQ(backup.Restore(":STREAM", "C:\\dest"), answer == mrOk);
    ASSERT_EQ(app.boxes.size(), 1u);  // asked once; a cancel reports no error
    EXPECT_EQ(app.boxes[0].text, "Please insert disk 2 and click OK to continue.");
    EXPECT_EQ(tmp.exists("dest/B.TXT"), answer == mrOk);
  }
}

}  // namespace
