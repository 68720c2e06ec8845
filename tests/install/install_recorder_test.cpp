// The install record a real restore leaves, read from DEST as the
// uninstaller reads it: the folders the restore made in the order made,
// every file that landed with the size, SHA-256 and date it has on disk,
// the links and empty folders of the medium's attributes; a file that failed
// its check is not recorded, and a restore that failed or was cancelled
// leaves complete=false. The recorder is driven only through the restore, so
// that these hold whatever it computes its digests from.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <sstream>

#include "common/exit_status.h"
#include "common/file_digest.h"
#include "engine/backup_file.h"
#include "install/install_record.h"
#include "install/install_recorder.h"
#include "install/uninstall.h"
#include "medium/medium_attributes.h"
#include "platform/dos_time.h"
#include "tests/support/archive_builder.h"
#include "tests/support/fake_application.h"
#include "tests/support/scoped_time_zone.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kDate = platform::makeDosDateTime(2001, 6, 15, 12, 30, 0);
constexpr const char* kDateText = "2001-06-15T12:30:00Z";

std::string sha256Of(const std::string& bytes) {
  TSha256 sha;
  sha.update(bytes.data(), bytes.size());
  return sha.finishHex();
}

// A restore of a tree (the medium's paths below DEST) from C:\SETUP.BIN with
// the medium's attributes checked as the files land, recorded.
class Recorded : public ::testing::Test {
 protected:
  TempDir tmp;
  ScopedDriveC drive{tmp.path()};
  ScopedTimeZone utc{"UTC"};
  FakeApplication app;
  medium::Attributes attributes;
  TInstallOptions options;
  std::string error;

  // A file of the archive and its attributes, which describe `checked`
  // (the file's own bytes unless given).
  void add(ArchiveBuilder& archive, const std::string& stored, const std::string& content,
           const std::optional<std::string>& checked = {}) {
    archive.file(stored, kDate, DataBlock::ofContent(content, false));
    digest::Sha256 sha;
    sha.update(checked.value_or(content).data(), checked.value_or(content).size());
    attributes.files[stored] = {0644, checked.value_or(content).size(), sha.finish()};
  }

  // Restores with the recorder hooked; what Restore returned.
  bool install(const std::string& dest = "C:\\dest", const TNeedDiskEvent& needDisk = {}) {
    medium::TMediumCheck check(attributes);
    TBackupFile backup(nullptr);
    backup.RestoreFullPath = true;
    backup.LandingCheck = &check;
    backup.OnError = TBackupErrorEvent([this](TObject*, int32_t, const std::string& text) { error = text; });
    backup.OnNeedDisk = needDisk ? needDisk : TNeedDiskEvent([](TObject*, uint16_t, bool&) {});
    TInstallRecorder recorder(backup, dest, options);
    bool completed = false;
    try {
      completed = backup.Restore("C:\\SETUP.BIN", dest);
    } catch (const std::exception& e) {
      error = e.what();
    }
    recorder.finish(completed);
    return completed;
  }

  install_record::Record record() {
    install_record::Record r;
    std::string problem;
    const int fd = open(tmp.file("dest").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    EXPECT_EQ(install_record::load(fd, r, problem), install_record::LoadState::Loaded) << problem;
    close(fd);
    return r;
  }

  // Each recorded file's size and digest are those of the file on disk now.
  void expectFilesAsOnDisk(const install_record::Record& r, const std::vector<std::string>& names) {
    std::vector<std::string> recorded;
    for (const auto& f : r.files) {
      recorded.push_back(f.name);
      const std::string bytes = tmp.read("dest/" + f.name);
      EXPECT_EQ(f.size, bytes.size()) << f.name;
      EXPECT_EQ(f.sha256, sha256Of(bytes)) << f.name;
      EXPECT_EQ(f.date, kDateText) << f.name;
    }
    EXPECT_EQ(recorded, names);
  }

  int uninstall() {
    StringText out, err;
    UninstallConsole console{out, err, nullptr};
    return runUninstall({tmp.file("dest"), true, false}, console);
  }
};

// The whole way: a tree with a large file (hashed on the check's own
// thread), a link and an empty folder, recorded and then removed by the
// uninstaller without anything left.
TEST_F(Recorded, ATreeIsRecordedAsItLandedAndRemovedWhole) {
  ArchiveBuilder archive;
  const std::string large = patternBytes((1 << 20) + 123);
  archive.header(int32_t(large.size() + 27));
  add(archive, "C:\\bin\\app", "#!/bin/sh\necho demo\n");
  add(archive, "C:\\docs\\en\\guide.txt", large);
  add(archive, "C:\\docs\\readme.txt", "read me");
  archive.end();
  tmp.write("SETUP.BIN", archive.bytes());
  attributes.links.push_back({"C:\\bin\\run", "app"});
  attributes.folders.push_back("C:\\var\\empty");
  tmp.write("prog/uninstall", "the uninstaller");
  options.application = "Demo";
  options.uninstallerProgram = tmp.file("prog/uninstall");
  options.publisherKey = "RWQf6LRCGA9i53mlYecO4IzT51TGPpvWucNSCh1CBM0QTaLn73Y7GFO3";

  ASSERT_TRUE(install()) << error;
  const install_record::Record r = record();
  EXPECT_TRUE(r.complete);
  EXPECT_TRUE(r.destinationMade);
  EXPECT_EQ(r.application, "Demo");
  EXPECT_EQ(r.publisherKey, options.publisherKey);
  EXPECT_EQ(r.folders, (std::vector<std::string>{"bin", "docs", "docs/en", "var", "var/empty"}));
  expectFilesAsOnDisk(r, {"bin/app", "docs/en/guide.txt", "docs/readme.txt"});
  ASSERT_EQ(r.links.size(), 1u);
  EXPECT_EQ(r.links[0].name, "bin/run");
  EXPECT_EQ(r.links[0].target, "app");
  ASSERT_TRUE(r.uninstaller);
  EXPECT_EQ(r.uninstaller->sha256, sha256Of("the uninstaller"));
  struct stat st {};
  ASSERT_EQ(stat(tmp.file("dest/uninstall").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0755u);

  EXPECT_EQ(uninstall(), setupkit::kExitOk);
  EXPECT_FALSE(fs::exists(tmp.file("dest")));
}

// A file whose bytes do not match the medium's digest is dropped, the old
// file under its name stays, and the restore ends as damage: the
// installation is undone, so what did land goes, the old file stays and no
// record claims anything.
TEST_F(Recorded, AFileThatFailedItsCheckUndoesTheInstallationAndTheOldFileStays) {
  tmp.write("dest/x.txt", "old");
  ArchiveBuilder archive;
  archive.header(6);
  add(archive, "C:\\a.txt", "abc");
  add(archive, "C:\\x.txt", "new", "NEW");
  archive.end();
  tmp.write("SETUP.BIN", archive.bytes());

  EXPECT_FALSE(install());
  EXPECT_FALSE(fs::exists(tmp.file("dest/a.txt")));
  EXPECT_FALSE(fs::exists(tmp.file("dest/.install-record.json")));
  EXPECT_FALSE(fs::exists(tmp.file("dest/.install-aside")));
  EXPECT_EQ(tmp.read("dest/x.txt"), "old");
  EXPECT_EQ(uninstall(), setupkit::kExitMissing);
  EXPECT_EQ(tmp.read("dest/x.txt"), "old");
}

// At a disk prompt the user may give up or end the program: the record on
// disk already lists what landed and the folder being written into. Giving
// up undoes the installation: DEST, which it made, goes.
TEST_F(Recorded, ADiskPromptFindsTheRecordWrittenAndCancellingUndoesTheInstallation) {
  ArchiveBuilder first;
  first.header(7);
  add(first, "C:\\docs\\a.txt", "aaa");
  first.file("C:\\data\\b.bin", kDate, DataBlock().stored("B1"));
  first.volumeChange("002");
  tmp.write("SETUP.BIN", first.bytes());
  tmp.write("SETUP.002", ArchiveBuilder().block(DataBlock().stored("B2")).end().bytes());
  attributes.files["C:\\data\\b.bin"] = {0644, 4, {}};

  ASSERT_FALSE(install("C:\\dest", TNeedDiskEvent([&](TObject*, uint16_t, bool& cont) {
                         const install_record::Record atPrompt = record();
                         EXPECT_FALSE(atPrompt.complete);
                         EXPECT_EQ(atPrompt.folders, (std::vector<std::string>{"docs", "data"}));
                         expectFilesAsOnDisk(atPrompt, {"docs/a.txt"});
                         cont = false;
                       })));
  EXPECT_FALSE(fs::exists(tmp.file("dest")));
}

// A second installation into the same DEST adds to the record of the
// first; the uninstaller then removes both, and DEST, which the first made.
TEST_F(Recorded, ALaterInstallationAddsToTheRecordOfTheFirst) {
  ArchiveBuilder one;
  add(one.header(3), "C:\\a\\one.txt", "one");
  tmp.write("SETUP.BIN", one.end().bytes());
  ASSERT_TRUE(install()) << error;
  attributes = {};
  ArchiveBuilder two;
  add(two.header(3), "C:\\b\\two.txt", "two");
  tmp.write("SETUP.BIN", two.end().bytes());
  ASSERT_TRUE(install()) << error;

  const install_record::Record r = record();
  EXPECT_TRUE(r.complete);
  EXPECT_TRUE(r.destinationMade) << "the first installation made DEST";
  EXPECT_EQ(r.folders, (std::vector<std::string>{"a", "b"}));
  expectFilesAsOnDisk(r, {"a/one.txt", "b/two.txt"});
  EXPECT_EQ(uninstall(), setupkit::kExitOk);
  EXPECT_FALSE(fs::exists(tmp.file("dest")));
}

// What is in DEST and not the installation's is never overwritten: a
// damaged record (it may be all that tells what an earlier installation
// wrote) and an uninstall program of someone else's.
// A record that cannot be read, or an uninstall of another program's, ends
// the installation before its first file is written: it could not be removed
// as it should. Both stay as they are.
TEST_F(Recorded, ADamagedRecordOrAForeignUninstallerFailsBeforeAnyFileAndStays) {
  ArchiveBuilder archive;
  add(archive.header(3), "C:\\a.txt", "abc");
  tmp.write("SETUP.BIN", archive.end().bytes());
  tmp.write("prog/uninstall", "the uninstaller");
  options.uninstallerProgram = tmp.file("prog/uninstall");

  tmp.write("dest/.install-record.json", "{\"format\":");
  EXPECT_FALSE(install());
  EXPECT_NE(error.find("cannot be used"), std::string::npos) << error;
  EXPECT_FALSE(fs::exists(tmp.file("dest/a.txt")));
  EXPECT_EQ(tmp.read("dest/.install-record.json"), "{\"format\":");
  EXPECT_FALSE(fs::exists(tmp.file("dest/uninstall")));

  fs::remove_all(tmp.file("dest"));
  tmp.write("dest/uninstall", "mine");
  EXPECT_FALSE(install());
  EXPECT_NE(error.find("is not the uninstaller of an earlier installation"), std::string::npos) << error;
  EXPECT_EQ(tmp.read("dest/uninstall"), "mine");
  EXPECT_FALSE(fs::exists(tmp.file("dest/a.txt")));
}

}  // namespace
