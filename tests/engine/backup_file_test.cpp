// The component surface: Version, SetBackupMode, error reporting, and the
// stored layout of its published properties.
#include "framework/core/exceptions.h"
#include "tests/engine/engine_test_support.h"
#include "tests/support/expect_message.h"

namespace {

class BackupFileTest : public EngineTest {};

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

// Without OnError the error box shows the text; with it the handler gets
// the code and the text instead.
TEST_F(BackupFileTest, ReportErrorShowsTheBoxOrCallsOnError) {
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
  std::vector<std::tuple<TObject*, int, std::string>> calls, expected;
  backup.OnError = TBackupErrorEvent(
      [&](TObject* sender, int32_t code, const std::string& text) { calls.emplace_back(sender, code, text); });
  app.boxes.clear();
  for (const auto& row : kErrors) {
    backup.ReportError(row.code);
    expected.emplace_back(&backup, row.code, row.message);
  }
  EXPECT_TRUE(app.boxes.empty());
  EXPECT_EQ(calls, expected);
}

// ---- published properties and layouts ----

// A fresh component: numbers and flags are stored even when zero or false,
// empty texts are not.
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

// An owner with the wizard's three handler methods.
class WizardOwner : public TComponent {
 public:
  WizardOwner() : TComponent(nullptr) {
    registerMethod("BackupFile1Progress", TProgressEvent::Handler([this](TObject*, const std::string&, TPercentage p,
                                                                         bool&) { percents.push_back(p); }));
    registerMethod(
        "BackupFile1FileRestored",
        TFileRestoredEvent::Handler([this](TObject*, std::string& f, TFileStream*&) { files.push_back(f); }));
    registerMethod("BackupFile1Error", TBackupErrorEvent::Handler([this](TObject*, int32_t code, const std::string&) {
                     errors.push_back(code);
                   }));
  }
  std::vector<int> percents;
  std::vector<std::string> files;
  std::vector<int> errors;
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
    "OnError = BackupFile1Error\n"
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
  EXPECT_FALSE(b.OnNeedDisk || b.OnRestoreFile);
  EXPECT_EQ(layoutToText(b, b.writeLayout()), kWizardInstance);

  // The bound handlers are the owner's methods.
  writeVolume("SETUP.BIN", ArchiveBuilder().header(2).storedFile("C:\\x\\A.TXT", kDate2001, "ab").end());
  EXPECT_TRUE(b.Restore("C:\\SETUP.BIN", "C:\\dest"));
  EXPECT_EQ(owner.percents, (std::vector<int>{100, 100, 100}));
  EXPECT_EQ(owner.files, (std::vector<std::string>{"C:\\dest\\A.TXT"}));
  EXPECT_EQ(owner.errors, std::vector<int>{});
  writeVolume("SETUP.BIN",
              ArchiveBuilder().header(2).file("C:\\x\\B.TXT", kDate2001, DataBlock().signature("BAD!")).end());
  EXPECT_FALSE(b.Restore("C:\\SETUP.BIN", "C:\\dest"));
  EXPECT_EQ(owner.errors, std::vector<int>{1});
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

// The text form's own syntax errors are checked in tests/framework/core.
TEST_F(BackupFileTest, LayoutsThatCannotBeRead) {
  TBackupFile b(nullptr);  // no owner: no handler can be found
  const std::pair<const char*, const char*> rows[] = {
      {"RestoreMode = rmSometimes\n", "Invalid property value for RestoreMode"},
      {"MaxSize = 'text'\n", "Invalid property value for MaxSize"},
      {"RestoreMode = 5\n", "Invalid property value for RestoreMode"},
      {"OnProgress = Missing\n", "Invalid handler \"Missing\" for property OnProgress"},
  };
  for (const auto& [text, message] : rows) {
    SCOPED_TRACE(text);
    EXPECT_THROW_MESSAGE(b.readLayout(layoutFromText(b, text)), Exception, message);
  }
}

}  // namespace
