// The component surface: a fresh instance, Version, SetBackupMode, error
// reporting, and the stored layout of its published properties.
#include "framework/core/exceptions.h"
#include "tests/engine/engine_test_support.h"
#include "tests/support/expect_message.h"

namespace {

class BackupFileTest : public EngineTest {};

TEST_F(BackupFileTest, AFreshComponentStartsWithEveryFieldZero) {
  TBackupFile b(nullptr);
  EXPECT_EQ(b.BackupTitle, "");
  EXPECT_EQ(b.backupMode(), bmAll);
  EXPECT_EQ(b.CompressionLevel, clFastest);
  EXPECT_EQ(b.RestoreMode, rmAll);
  EXPECT_EQ(b.MaxSize, 0);
  EXPECT_FALSE(b.SetArchiveFlag);
  EXPECT_FALSE(b.RestoreFullPath);
  EXPECT_FALSE(b.SaveFileID);
  EXPECT_FALSE(b.OnProgress || b.OnNeedDisk || b.OnRestoreFile || b.OnFileRestored || b.OnError);
  EXPECT_EQ(b.FHeaderExtra, 0);
  EXPECT_EQ(b.FRestoredCount, 0);
  EXPECT_EQ(b.FTotalSize, 0);
  EXPECT_EQ(b.FBytesDone, 0);
  EXPECT_EQ(b.FCurrentFile, "");
  EXPECT_FALSE(b.FBusy);
  EXPECT_FALSE(b.FContinue);
  EXPECT_EQ(b.FErrorCode, 0);
  EXPECT_EQ(b.FSourceStream, nullptr);
}

TEST_F(BackupFileTest, EnumerationsFitOneByte) {
  EXPECT_EQ(sizeof(TBackupMode), 1u);
  EXPECT_EQ(sizeof(TRestoreMode), 1u);
  EXPECT_EQ(sizeof(TCompressionLevel), 1u);
  EXPECT_EQ(sizeof(TPercentage), 1u);
  EXPECT_EQ(int(rmExistingNewer), 4);
  EXPECT_EQ(int(clMax), 3);
}

TEST_F(BackupFileTest, VersionAlwaysReadsFivePointZeroZero) {
  backup.SetVersion("9.99");
  EXPECT_EQ(backup.GetVersion(), "5.00");
  backup.readLayout({{"Version", std::string("4.10")}});
  EXPECT_EQ(backup.GetVersion(), "5.00");
}

TEST_F(BackupFileTest, SetBackupModeTurnsTheArchiveFlagOnOnlyOnAChange) {
  struct Step {
    const char* name;
    std::function<void(TBackupFile&)> action;
    TBackupMode mode;
    bool flag;
  };
  const Step steps[] = {
      {"to incremental", [](TBackupFile& b) { b.SetBackupMode(bmIncremental); }, bmIncremental, true},
      {"back to all", [](TBackupFile& b) { b.SetBackupMode(bmAll); }, bmAll, true},
      {"again to incremental", [](TBackupFile& b) { b.SetBackupMode(bmIncremental); }, bmIncremental, true},
      {"flag off by hand", [](TBackupFile& b) { b.SetArchiveFlag = false; }, bmIncremental, false},
      {"incremental once more", [](TBackupFile& b) { b.SetBackupMode(bmIncremental); }, bmIncremental, false},
      {"through a layout",
       [](TBackupFile& b) {
         b.readLayout({{"BackupMode", int64_t(bmAll)}, {"BackupMode", int64_t(bmIncremental)}});
       },
       bmIncremental, true},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.name);
    step.action(backup);
    EXPECT_EQ(backup.backupMode(), step.mode);
    EXPECT_EQ(backup.SetArchiveFlag, step.flag);
  }
}

// ---- ReportError ----

struct ErrorRow {
  int code;
  const char* message;
};

const ErrorRow kErrors[] = {
    {1, "Cannot read file"},
    {2, "Overwriting file failed"},
    {3, "Cannot read archive"},
    {4, "Cannot write to archive"},
    {5, "Invalid archive type"},
    {6, "Compression error"},
    {7, "Cannot create temporary file to save the file IDs"},
    {0, ""},
    {8, ""},
    {-1, ""},
};

TEST_F(BackupFileTest, ReportErrorShowsTheErrorBox) {
  for (const auto& row : kErrors) {
    SCOPED_TRACE(row.code);
    app.boxes.clear();
    backup.ReportError(row.code);
    ASSERT_EQ(app.boxes.size(), 1u);
    EXPECT_EQ(app.boxes[0].text, row.message);
    EXPECT_EQ(app.boxes[0].type, TMsgDlgType::mtError);
    EXPECT_EQ(app.boxes[0].buttons, buttonSet({mbOK}));
    EXPECT_EQ(app.boxes[0].helpContext, 0);
  }
}

TEST_F(BackupFileTest, ReportErrorCallsOnErrorInsteadOfTheBox) {
  std::vector<std::tuple<TObject*, int, std::string>> calls;
  backup.OnError = TBackupErrorEvent(
      [&](TObject* sender, int32_t code, const std::string& text) { calls.emplace_back(sender, code, text); });
  for (const auto& row : kErrors) backup.ReportError(row.code);
  EXPECT_TRUE(app.boxes.empty());
  ASSERT_EQ(calls.size(), std::size(kErrors));
  for (size_t i = 0; i < calls.size(); ++i) {
    EXPECT_EQ(std::get<0>(calls[i]), &backup);
    EXPECT_EQ(std::get<1>(calls[i]), kErrors[i].code);
    EXPECT_EQ(std::get<2>(calls[i]), kErrors[i].message);
  }
}

// ---- published properties and layouts ----

TEST_F(BackupFileTest, PublishedPropertiesInOrder) {
  std::vector<std::string> names;
  for (const auto& p : backup.properties()) names.push_back(p.name);
  EXPECT_EQ(names,
            (std::vector<std::string>{"Name", "Tag", "Version", "BackupTitle", "BackupMode", "CompressionLevel",
                                      "RestoreMode", "MaxSize", "SetArchiveFlag", "OnProgress", "OnNeedDisk",
                                      "OnRestoreFile", "OnFileRestored", "OnError", "RestoreFullPath", "SaveFileID"}));
}

TEST_F(BackupFileTest, ZeroAndFalseValuesAreStoredEmptyTextsAreNot) {
  TBackupFile fresh(nullptr);
  EXPECT_EQ(layoutToText(fresh, fresh.writeLayout()),
            "Tag = 0\n"
            "Version = '5.00'\n"
            "BackupMode = bmAll\n"
            "CompressionLevel = clFastest\n"
            "RestoreMode = rmAll\n"
            "MaxSize = 0\n"
            "SetArchiveFlag = False\n"
            "RestoreFullPath = False\n"
            "SaveFileID = False\n");
}

// An owner with the wizard's two handler methods.
class WizardOwner : public TComponent {
 public:
  WizardOwner() : TComponent(nullptr) {
    registerMethod("BackupFile1Progress", TProgressEvent::Handler([this](TObject*, const std::string&, TPercentage p,
                                                                         bool&) { percents.push_back(p); }));
    registerMethod(
        "BackupFile1FileRestored",
        TFileRestoredEvent::Handler([this](TObject*, std::string& f, TFileStream*&) { files.push_back(f); }));
  }
  std::vector<int> percents;
  std::vector<std::string> files;
};

const char* const kWizardInstance =
    "Left = 128\n"
    "Top = 48\n"
    "Name = 'BackupFile1'\n"
    "Tag = 0\n"
    "Version = '5.00'\n"
    "BackupMode = bmAll\n"
    "CompressionLevel = clMax\n"
    "RestoreMode = rmAll\n"
    "MaxSize = 0\n"
    "SetArchiveFlag = True\n"
    "OnProgress = BackupFile1Progress\n"
    "OnFileRestored = BackupFile1FileRestored\n"
    "RestoreFullPath = False\n"
    "SaveFileID = True\n";

TEST_F(BackupFileTest, TheWizardInstanceLoadsAndStoresItsValues) {
  WizardOwner owner;
  TBackupFile b(&owner);
  b.readLayout(layoutFromText(b, kWizardInstance));
  EXPECT_EQ(b.name(), "BackupFile1");
  EXPECT_EQ(owner.findComponent("BackupFile1"), &b);
  EXPECT_EQ(b.designLeft, 128);
  EXPECT_EQ(b.designTop, 48);
  EXPECT_EQ(b.CompressionLevel, clMax);
  EXPECT_TRUE(b.SetArchiveFlag);
  EXPECT_TRUE(b.SaveFileID);
  EXPECT_FALSE(b.RestoreFullPath);
  EXPECT_FALSE(b.OnNeedDisk || b.OnRestoreFile || b.OnError);
  EXPECT_EQ(layoutToText(b, b.writeLayout()), kWizardInstance);

  // The bound handlers are the owner's methods.
  writeVolume("SETUP.BIN", ArchiveBuilder().header(2).storedFile("C:\\x\\A.TXT", kDate2001, "ab").end());
  EXPECT_TRUE(b.Restore("C:\\SETUP.BIN", "C:\\dest"));
  EXPECT_EQ(owner.percents, (std::vector<int>{100, 100, 100}));
  EXPECT_EQ(owner.files, (std::vector<std::string>{"C:\\dest\\A.TXT"}));
}

TEST_F(BackupFileTest, LayoutsRoundTripThroughTheirTextForm) {
  WizardOwner owner;
  TBackupFile b(&owner);
  b.setName("Backup");
  b.setTag(-7);
  b.BackupTitle = "It's a 'title'";
  b.SetBackupMode(bmIncremental);
  b.CompressionLevel = clDefault;
  b.RestoreMode = rmExistingNewer;
  b.MaxSize = -2147483647 - 1;
  b.RestoreFullPath = true;
  b.OnProgress = TProgressEvent(std::any_cast<TProgressEvent::Handler>(*owner.findMethod("BackupFile1Progress")),
                                "BackupFile1Progress");
  const Layout stored = b.writeLayout();

  TBackupFile copy(&owner);
  copy.readLayout(layoutFromText(copy, layoutToText(b, stored)));
  EXPECT_EQ(copy.writeLayout(), stored);
  EXPECT_EQ(copy.BackupTitle, "It's a 'title'");
  EXPECT_EQ(copy.MaxSize, -2147483647 - 1);
  EXPECT_EQ(copy.OnProgress.handlerName(), "BackupFile1Progress");
}

TEST_F(BackupFileTest, LayoutsThatCannotBeRead) {
  TBackupFile b(nullptr);  // no owner: no handler can be found
  const std::pair<const char*, const char*> rows[] = {
      {"RestoreMode = rmSometimes\n", "Invalid property value for RestoreMode"},
      {"Colour = 5\n", "Property Colour does not exist"},
      {"MaxSize = 'text'\n", "Invalid property value for MaxSize"},
      {"RestoreMode = 5\n", "Invalid property value for RestoreMode"},
      {"OnProgress = Missing\n", "Invalid handler \"Missing\" for property OnProgress"},
      {"BackupTitle = 'open\n", "Layout line 1: unterminated string"},
      {"MaxSize\n", "Layout line 1: missing \"=\""},
  };
  for (const auto& [text, message] : rows) {
    SCOPED_TRACE(text);
    EXPECT_THROW_MESSAGE(b.readLayout(layoutFromText(b, text)), Exception, message);
  }
}

}  // namespace
