// SETUP.INS handed to the windows: the title, the three wizard texts and the
// destination field, with and without the file.
#include <gtest/gtest.h>

#include "framework/gui/text.h"
#include "medium/medium_settings.h"
#include "platform/paths.h"
#include "tests/app/forms_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

using SetupConfiguration = FormsTest;

std::string windowsPath(const std::string& hostPath) { return platform::virtualPathOf(hostPath).value(); }

// The three wizard texts name the App value.
std::vector<std::string> wizardTexts(const std::string& app) {
  return {"Welcome to the " + app + " Setup program.  It will install the software on your computer.",
          "Setup will install " + app + " to the directory listed in the box below.",
          "Setup is complete and " + app + " is now installed!\r\n\r\nClick Finish to end the Setup."};
}

// The title label sizes itself to its one line of text, from its place.
TEST_F(SetupConfiguration, TheTitleLabelSizesItselfToTheTitle) {
  int lastWidth = 0;
  for (const char* title : {"A", "Acme Office", "Acme Office 2000 Professional Edition"}) {
    TempDir dir;
    dir.write("SETUP.INS", std::string("[Setup]\nTitle=") + title + "\n");
    form1->ReadConfiguration(windowsPath(dir.file("SETUP.INS")));
    QLabel* label = form1->ui->Label1;
    const QFontMetrics metrics(label->font());
    EXPECT_EQ(label->pos(), QPoint(16, 8)) << title;
    EXPECT_GE(label->width(), metrics.horizontalAdvance(title)) << title;
    EXPECT_LE(label->width(), metrics.horizontalAdvance(title) + 16) << title;
    EXPECT_GE(label->height(), metrics.height()) << title;
    EXPECT_LT(label->height(), 2 * metrics.height()) << title;  // one line
    EXPECT_GT(label->width(), lastWidth) << title;
    lastWidth = label->width();
  }
}

TEST_F(SetupConfiguration, TextsFromTheFile) {
  struct Row {
    const char* name;
    const char* ini;  // null: no file
    std::string title, app, destDir;
  };
  const Row rows[] = {
      {"no file", nullptr, "", "", ""},
      {"all three keys", "[Setup]\r\nTitle=Acme Office 2000\r\nApp=Acme Office\r\nDestDir=C:\\Program Files\\Acme\r\n",
       "Acme Office 2000", "Acme Office", "C:\\Program Files\\Acme"},
      {"names in other letter cases, blanks and quotes",
       "[SETUP]\nTITLE =  \"  Spaced Title \"  \napp= 'Demo'\ndestdir =   D:\\Not\\There  \n", "  Spaced Title ",
       "Demo", "D:\\Not\\There"},
      {"other section only", "[Other]\nTitle=X\nApp=Y\nDestDir=Z\n", "", "", ""},
      {"relative destination kept", "[Setup]\nDestDir=..\\apps\n", "", "", "..\\apps"},
  };
  for (const Row& row : rows) {
    TempDir dir;
    if (row.ini) dir.write("SETUP.INS", row.ini);
    form1->ReadConfiguration(windowsPath(dir.file("SETUP.INS")));

    EXPECT_EQ(fromQString(form1->ui->Label1->text()), row.title) << row.name;
    EXPECT_EQ((std::vector<std::string>{fromQString(form2->ui->Label1->text()), fromQString(form2->ui->Label3->text()),
                                        fromQString(form2->ui->Label6->text())}),
              wizardTexts(row.app))
        << row.name;
    EXPECT_EQ(fromQString(form2->ui->Edit1->text()), row.destDir) << row.name;
    EXPECT_TRUE(form2->ui->Edit1->isReadOnly()) << row.name;
  }
}

}  // namespace

namespace {

// A user's destination: "~" is the home folder, shown in Windows form;
// Paths=Tree (any letter case) keeps the stored folders.
TEST_F(SetupConfiguration, UserDestinationAndTree) {
  TempDir home;
  const char* saved = std::getenv("HOME");
  const std::string savedHome = saved ? saved : "";
  setenv("HOME", home.path().c_str(), 1);
  const std::string shownHome = windowsPath(home.path());
  struct Row {
    std::string value, shown;
  };
  const Row rows[] = {{"~/Pingus", shownHome + "\\Pingus"},
                      {"~", shownHome},
                      {"~\\Games\\Pingus", shownHome + "\\Games\\Pingus"},
                      {"~other/x", "~other/x"},
                      {"C:\\opt\\Pingus", "C:\\opt\\Pingus"}};
  for (const Row& row : rows) EXPECT_EQ(medium::userDestination(row.value), row.shown) << row.value;
  if (saved) setenv("HOME", savedHome.c_str(), 1);

  for (const auto& [ini, tree] : std::vector<std::pair<std::string, bool>>{{"[Setup]\nPaths=Tree\n", true},
                                                                           {"[Setup]\npaths = tree\n", true},
                                                                           {"[Setup]\nPaths=Flat\n", false},
                                                                           {"[Setup]\n", false}}) {
    TempDir dir;
    dir.write("SETUP.INS", ini);
    form1->ReadConfiguration(windowsPath(dir.file("SETUP.INS")));
    EXPECT_EQ(form2->BackupFile1->RestoreFullPath, tree) << ini;
  }
}

}  // namespace
