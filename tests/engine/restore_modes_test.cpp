// The restore driver's decisions (restore modes, OnRestoreFile), its events
// per file, and the failures it turns into error codes.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>

#include "framework/core/exceptions.h"
#include "platform/files.h"
#include "tests/engine/engine_test_support.h"
#include "tests/support/expect_message.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kOlder = platform::makeDosDateTime(2001, 6, 15, 12, 29, 58);
constexpr uint32_t kNewer = platform::makeDosDateTime(2001, 6, 15, 12, 30, 2);
constexpr uint32_t kDate2050 = platform::makeDosDateTime(2050, 3, 1, 8, 0, 0);  // top bit set

// Sets the host modification time of a file to a local DOS date-time.
void setHostTime(const std::string& hostPath, uint32_t dos) {
  struct timespec t[2] = {{time_t(*platform::dosDateTimeToUnix(dos)), 0},
                          {time_t(*platform::dosDateTimeToUnix(dos)), 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, hostPath.c_str(), t, 0), 0);
}

class RestoreDecisionTest : public EngineTest {
 protected:
  void SetUp() override {
    log.attach(backup);
    writeVolume("SETUP.BIN", ArchiveBuilder()
                                 .header(5)
                                 .storedFile("C:\\A.TXT", kDate2001, "new")
                                 .storedFile("C:\\B.TXT", kDate2001, "bb")
                                 .end());
  }
};

// ---- restore modes ----

enum class Target { Missing, Older, Equal, Newer, Directory };
enum class Outcome { Written, Kept, Failed };

struct ModeRow {
  const char* name;
  TRestoreMode mode;
  Target target;
  Outcome outcome;
};

TEST_F(RestoreDecisionTest, RestoreModes) {
  using enum Target;
  using enum Outcome;
  const ModeRow rows[] = {
      {"all, missing", rmAll, Missing, Written},
      {"all, older", rmAll, Older, Written},
      {"all, equal", rmAll, Equal, Written},
      {"all, newer", rmAll, Newer, Written},
      {"all, a directory in the way", rmAll, Directory, Failed},
      {"no overwrite, missing", rmNoOverwrite, Missing, Written},
      {"no overwrite, older", rmNoOverwrite, Older, Kept},
      {"no overwrite, newer", rmNoOverwrite, Newer, Kept},
      {"no overwrite, a directory counts as missing", rmNoOverwrite, Directory, Failed},
      {"newer, missing", rmNewer, Missing, Written},
      {"newer, two seconds older", rmNewer, Older, Written},
      {"newer, equal time", rmNewer, Equal, Kept},
      {"newer, later time", rmNewer, Newer, Kept},
      {"newer, a directory counts as missing", rmNewer, Directory, Failed},
      {"existing, missing", rmExisting, Missing, Kept},
      {"existing, older", rmExisting, Older, Written},
      {"existing, equal", rmExisting, Equal, Written},
      {"existing, newer", rmExisting, Newer, Written},
      {"existing, a directory counts as missing", rmExisting, Directory, Kept},
      {"existing newer, missing", rmExistingNewer, Missing, Kept},
      {"existing newer, older", rmExistingNewer, Older, Written},
      {"existing newer, equal", rmExistingNewer, Equal, Kept},
      {"existing newer, newer", rmExistingNewer, Newer, Kept},
      {"existing newer, a directory", rmExistingNewer, Directory, Kept},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    fs::remove_all(tmp.file("dest"));
    fs::create_directories(tmp.file("dest"));
    log = EventLog();
    log.attach(backup);
    app.boxes.clear();
    switch (row.target) {
      case Missing: break;
      case Directory: fs::create_directories(tmp.file("dest/A.TXT")); break;
      default:
        tmp.write("dest/A.TXT", "old");
        setHostTime(tmp.file("dest/A.TXT"), row.target == Older ? kOlder : row.target == Equal ? kDate2001 : kNewer);
    }
    backup.RestoreMode = row.mode;
    bool result = backup.Restore("C:\\SETUP.BIN", "C:\\dest");

    switch (row.outcome) {
      case Written:
        EXPECT_TRUE(result);
        EXPECT_EQ(tmp.read("dest/A.TXT"), "new");
        EXPECT_EQ(uint32_t(platform::fileAge("C:\\dest\\A.TXT")), kDate2001);
        break;
      case Kept:
        EXPECT_TRUE(result);
        if (row.target == Missing) {
          EXPECT_FALSE(tmp.exists("dest/A.TXT"));
        } else if (row.target != Directory) {
          EXPECT_EQ(tmp.read("dest/A.TXT"), "old");
        }
        for (const auto& r : log.restored) EXPECT_NE(r.file, "C:\\dest\\A.TXT");
        break;
      case Failed:
        EXPECT_FALSE(result);
        EXPECT_EQ(backup.FErrorCode, 1);
        EXPECT_TRUE(fs::is_directory(tmp.file("dest/A.TXT")));
        EXPECT_FALSE(tmp.exists("dest/B.TXT"));  // the restore stopped
        EXPECT_EQ(log.errors, (std::vector<std::pair<int, std::string>>{{1, "Cannot read file"}}));
        break;
    }
  }
}

struct DateRow {
  const char* name;
  TRestoreMode mode;
  uint32_t existing;
  uint32_t entry;
  bool written;
};

TEST_F(RestoreDecisionTest, DatesCompareAsUnsignedValues) {
  const DateRow rows[] = {
      {"newer: 2050 entry replaces a 2001 file", rmNewer, kDate2001, kDate2050, true},
      {"newer: 2001 entry keeps a 2050 file", rmNewer, kDate2050, kDate2001, false},
      {"existing newer: 2050 entry replaces a 2001 file", rmExistingNewer, kDate2001, kDate2050, true},
      {"existing newer: 2001 entry keeps a 2050 file", rmExistingNewer, kDate2050, kDate2001, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    tmp.write("dest/A.TXT", "old");
    setHostTime(tmp.file("dest/A.TXT"), row.existing);
    writeVolume("SETUP.BIN", ArchiveBuilder().header(3).storedFile("C:\\A.TXT", row.entry, "new").end());
    backup.RestoreMode = row.mode;
    int32_t fa = 0;
    backup.OnRestoreFile = TRestoreFileEvent([&](TObject*, std::string&, int32_t FA, bool&) { fa = FA; });
    EXPECT_TRUE(backup.Restore("C:\\SETUP.BIN", "C:\\dest"));
    EXPECT_EQ(tmp.read("dest/A.TXT"), row.written ? "new" : "old");
    EXPECT_EQ(fa, int32_t(row.entry));  // FA stays the signed value
  }
}

// ---- OnRestoreFile ----

TEST_F(RestoreDecisionTest, OnRestoreFileSeesTheDecisionAndTheDate) {
  tmp.write("dest/A.TXT", "old");
  backup.RestoreMode = rmNoOverwrite;
  std::vector<std::tuple<std::string, int32_t, bool>> seen;
  backup.OnRestoreFile = TRestoreFileEvent([&](TObject* sender, std::string& f, int32_t fa, bool& doRestore) {
    EXPECT_EQ(sender, &backup);
    seen.emplace_back(f, fa, doRestore);
  });
  EXPECT_TRUE(backup.Restore("C:\\SETUP.BIN", "C:\\dest"));
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], std::make_tuple(std::string("C:\\dest\\A.TXT"), int32_t(kDate2001), false));
  EXPECT_EQ(seen[1], std::make_tuple(std::string("C:\\dest\\B.TXT"), int32_t(kDate2001), true));
}

TEST_F(RestoreDecisionTest, OnRestoreFileMayRewriteVetoOrForce) {
  struct Row {
    const char* name;
    TRestoreMode mode;
    std::function<void(std::string&, bool&)> handler;
    std::vector<std::string> files;  // below the scratch root, besides SETUP.BIN
  };
  auto forA = [](auto change) {
    return [change](std::string& f, bool& d) {
      if (f == "C:\\dest\\A.TXT") change(f, d);
    };
  };
  const Row rows[] = {
      {"rewrite into new directories",
       rmAll,
       forA([](std::string& f, bool&) { f = "C:\\other\\deep\\x.txt"; }),
       {"dest/B.TXT", "other/deep/x.txt"}},
      {"veto", rmAll, forA([](std::string&, bool& d) { d = false; }), {"dest/B.TXT"}},
      {"force over the mode",
       rmNoOverwrite,
       forA([](std::string&, bool& d) { d = true; }),
       {"dest/A.TXT", "dest/B.TXT"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    fs::remove_all(tmp.file("dest"));
    fs::remove_all(tmp.file("other"));
    fs::create_directories(tmp.file("dest"));
    if (row.mode == rmNoOverwrite) tmp.write("dest/A.TXT", "old");
    log = EventLog();
    log.attach(backup);
    backup.RestoreMode = row.mode;
    backup.OnRestoreFile = TRestoreFileEvent([&](TObject*, std::string& f, int32_t, bool& d) { row.handler(f, d); });

    EXPECT_TRUE(backup.Restore("C:\\SETUP.BIN", "C:\\dest"));
    std::vector<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(tmp.path()))
      if (e.is_regular_file() && e.path().filename() != "SETUP.BIN")
        files.push_back(fs::relative(e.path(), tmp.path()).string());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, row.files);
    // Each written file is counted and announced; a vetoed one is neither.
    EXPECT_EQ(backup.FRestoredCount, int(row.files.size()));
    EXPECT_EQ(log.restored.size(), row.files.size());
    if (row.mode == rmNoOverwrite) {
      EXPECT_EQ(tmp.read("dest/A.TXT"), "new");
    }
  }
}

// ---- OnFileRestored ----

TEST_F(RestoreDecisionTest, OnFileRestoredFiresOncePerFileWhileItIsOpen) {
  std::vector<std::string> files;
  backup.OnFileRestored = TFileRestoredEvent([&](TObject* sender, std::string& f, TFileStream*& s) {
    EXPECT_EQ(sender, &backup);
    ASSERT_NE(s, nullptr);
    files.push_back(f + "=" + std::to_string(s->size()));
  });
  EXPECT_TRUE(backup.Restore("C:\\SETUP.BIN", "C:\\dest"));
  EXPECT_EQ(files, (std::vector<std::string>{"C:\\dest\\A.TXT=3", "C:\\dest\\B.TXT=2"}));
  EXPECT_EQ(backup.FRestoredCount, 2);
}

TEST_F(RestoreDecisionTest, AFreshComponentRestoresEverythingFlatWithoutHandlers) {
  TBackupFile fresh(nullptr);
  writeVolume("SETUP.BIN", ArchiveBuilder()
                               .header(5)
                               .storedFile("C:\\x\\A.TXT", kDate2001, "new")
                               .storedFile("C:\\y\\B.TXT", kDate2001, "bb")
                               .end());
  EXPECT_TRUE(fresh.Restore("C:\\SETUP.BIN", "C:\\dest"));
  EXPECT_EQ(tmp.read("dest/A.TXT"), "new");
  EXPECT_EQ(tmp.read("dest/B.TXT"), "bb");
  EXPECT_TRUE(app.boxes.empty());
}

// ---- failures ----

TEST_F(RestoreDecisionTest, ACompressionErrorGivesCodeSixAndDropsTheFile) {
  const std::string text = "some text that compresses, some text that compresses";
  std::string damaged = zlibCompress(text);
  damaged.back() = char(damaged.back() ^ 1);
  writeVolume("SETUP.BIN", ArchiveBuilder()
                               .header(int32_t(text.size()) + 1)
                               .file("C:\\A.TXT", kDate2001, DataBlock().compressedRaw(damaged).stored("never"))
                               .storedFile("C:\\B.TXT", kDate2001, "b")
                               .end());
  backup.OnError = {};
  EXPECT_FALSE(backup.Restore("C:\\SETUP.BIN", "C:\\dest"));
  EXPECT_EQ(backup.FErrorCode, 6);
  EXPECT_EQ(backup.FRestoredCount, 0);
  EXPECT_FALSE(tmp.exists("dest/A.TXT"));
  EXPECT_FALSE(tmp.exists("dest/B.TXT"));
  EXPECT_EQ(log.finalReports(), 1);
  ASSERT_EQ(app.boxes.size(), 1u);
  EXPECT_EQ(app.boxes[0].text, "Compression error");
  EXPECT_EQ(app.boxes[0].type, TMsgDlgType::mtError);
  EXPECT_EQ(app.boxes[0].buttons, buttonSet({mbOK}));
  EXPECT_EQ(app.boxes[0].helpContext, 0);
}

TEST_F(RestoreDecisionTest, ClearingContinueInOnProgressStopsWithoutAReport) {
  backup.OnProgress = TProgressEvent([&](TObject*, const std::string& f, TPercentage p, bool& c) {
    log.progress.push_back({f, p});
    if (!f.empty()) c = false;
  });
  writeVolume("SETUP.BIN", ArchiveBuilder()
                               .header(10)
                               .file("C:\\A.TXT", kDate2001, DataBlock().stored("one").stored("two"))
                               .storedFile("C:\\B.TXT", kDate2001, "b")
                               .end());
  EXPECT_FALSE(backup.Restore("C:\\SETUP.BIN", "C:\\dest"));
  EXPECT_EQ(backup.FErrorCode, 0);
  EXPECT_EQ(backup.FRestoredCount, 0);
  EXPECT_FALSE(tmp.exists("dest/A.TXT"));  // stopped before its last chunk
  EXPECT_FALSE(tmp.exists("dest/B.TXT"));
  EXPECT_EQ(log.progress.size(), 2u);
  EXPECT_EQ(log.finalReports(), 1);
  EXPECT_TRUE(app.boxes.empty());
  EXPECT_TRUE(log.errors.empty());
}

TEST_F(RestoreDecisionTest, TheResultIsFixedBeforeTheFinalReport) {
  bool busyWhenReported = true;
  backup.OnProgress = TProgressEvent([&](TObject*, const std::string& f, TPercentage, bool& c) {
    if (f.empty()) c = false;  // too late to matter
  });
  EXPECT_TRUE(backup.Restore("C:\\SETUP.BIN", "C:\\dest"));
  EXPECT_FALSE(backup.FContinue);

  // The error report comes last, when the restore is no longer busy.
  writeVolume("SETUP.BIN", ArchiveBuilder().header(1).file("C:\\A.TXT", kDate2001, DataBlock().signature("BAD")).end());
  backup.OnError = TBackupErrorEvent([&](TObject*, int32_t, const std::string&) { busyWhenReported = backup.FBusy; });
  EXPECT_FALSE(backup.Restore("C:\\SETUP.BIN", "C:\\dest"));
  EXPECT_FALSE(busyWhenReported);
}

TEST_F(RestoreDecisionTest, AnExceptionFromAHandlerInsideTheDecoderGivesCodeOne) {
  backup.OnProgress = TProgressEvent([](TObject*, const std::string& f, TPercentage, bool&) {
    if (!f.empty()) throw Exception("handler failed");
  });
  EXPECT_FALSE(backup.Restore("C:\\SETUP.BIN", "C:\\dest"));
  EXPECT_EQ(backup.FErrorCode, 1);
  EXPECT_EQ(backup.FRestoredCount, 0);
  EXPECT_FALSE(tmp.exists("dest/A.TXT"));
  EXPECT_FALSE(tmp.exists("dest/B.TXT"));
}

TEST_F(RestoreDecisionTest, ADamagedBlockWhileWritingGivesCodeOne) {
  const std::pair<const char*, DataBlock> rows[] = {
      {"wrong signature", DataBlock().signature("EC3").stored("x")},
      {"chunk beyond the input area", DataBlock().stored("part").stored(std::string(20000, 'x'))},
  };
  for (const auto& [name, block] : rows) {
    SCOPED_TRACE(name);
    fs::remove_all(tmp.file("dest"));
    log = EventLog();
    log.attach(backup);
    writeVolume(
        "SETUP.BIN",
        ArchiveBuilder().header(5).file("C:\\A.TXT", kDate2001, block).storedFile("C:\\B.TXT", kDate2001, "b").end());
    EXPECT_FALSE(backup.Restore("C:\\SETUP.BIN", "C:\\dest"));
    EXPECT_EQ(backup.FErrorCode, 1);
    EXPECT_EQ(backup.FRestoredCount, 0);
    EXPECT_FALSE(tmp.exists("dest/A.TXT"));
    EXPECT_TRUE(log.restored.empty());
    EXPECT_FALSE(tmp.exists("dest/B.TXT"));
    EXPECT_EQ(log.errors, (std::vector<std::pair<int, std::string>>{{1, "Cannot read file"}}));
    EXPECT_EQ(log.finalReports(), 1);
  }
}

TEST_F(RestoreDecisionTest, ADirectoryThatCannotBeCreatedGivesCodeOne) {
  tmp.write("dest/sub", "a file where a directory should be");
  backup.RestoreFullPath = true;
  writeVolume("SETUP.BIN", ArchiveBuilder()
                               .header(2)
                               .storedFile("C:\\sub\\A.TXT", kDate2001, "a")
                               .storedFile("C:\\B.TXT", kDate2001, "b")
                               .end());
  EXPECT_FALSE(backup.Restore("C:\\SETUP.BIN", "C:\\dest"));
  EXPECT_EQ(backup.FErrorCode, 1);
  EXPECT_FALSE(tmp.exists("dest/B.TXT"));
  EXPECT_TRUE(log.restored.empty());
  EXPECT_EQ(log.errors.size(), 1u);
}

TEST_F(RestoreDecisionTest, AFullDiskGivesCodeOne) {
  writeVolume("SETUP.BIN", ArchiveBuilder()
                               .header(40)
                               .storedFile("C:\\A.TXT", kDate2001, std::string(30, 'a'))
                               .storedFile("C:\\B.TXT", kDate2001, "b")
                               .end());
  bool result;
  {
    FileSizeLimit limit(16);
    result = backup.Restore("C:\\SETUP.BIN", "C:\\dest");
  }
  EXPECT_FALSE(result);
  EXPECT_EQ(backup.FErrorCode, 1);
  EXPECT_FALSE(tmp.exists("dest/A.TXT"));
  EXPECT_FALSE(tmp.exists("dest/B.TXT"));
}

}  // namespace
