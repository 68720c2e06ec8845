// The start-up: SETUP.INS is read from the program's own directory whatever
// the working directory is; closing the wizard hides it, closing the main
// window ends the main loop with exit code 0; the built program starts.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <filesystem>

#include "framework/gui/application.h"
#include "framework/gui/text.h"
#include "tests/app/forms_fixture.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

std::string selfPath() { return fs::read_symlink("/proc/self/exe").string(); }

// Runs a shell command line and returns its exit status (-1 when it did not exit).
int run(const std::string& command) {
  int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string quoted(const std::string& s) { return "'" + s + "'"; }

// Runs inside a copy of this test binary named SETUP.EXE (see the test below):
// the real start-up with FormShow, then an end through the main window.
TEST(ProgramDirectoryChild, DISABLED_ReadsSetupInsNextToTheProgram) {
  TApplication& app = *TApplication::instance();
  EXPECT_EQ(app.title(), "Setup");
  TForm1 form1;
  Form1 = &form1;
  TForm2 form2;
  Form2 = &form2;
  QTimer::singleShot(0, &form1, [&] { form1.close(); });
  EXPECT_EQ(app.Run(&form1), 0);
  EXPECT_EQ(fromQString(form1.ui->Label1->text()), "From the program directory");
  EXPECT_EQ(fromQString(form2.ui->Edit1->text()), "C:\\Program Files\\Next To Program");
  EXPECT_TRUE(form2.isVisible());
  Form1 = nullptr;
  Form2 = nullptr;
}

TEST(ProgramDirectory, SetupInsIsReadNextToTheProgramNotInTheWorkingDirectory) {
  TempDir dir;
  fs::create_directories(dir.file("medium"));
  fs::copy_file(selfPath(), dir.file("medium/SETUP.EXE"));
  dir.write("medium/SETUP.INS",
            "[Setup]\nTitle=From the program directory\nDestDir=C:\\Program Files\\Next To Program\n");
  dir.write("elsewhere/SETUP.INS", "[Setup]\nTitle=From the working directory\nDestDir=C:\\Wrong\n");

  const std::string command = "cd " + quoted(dir.file("elsewhere")) + " && QT_QPA_PLATFORM=offscreen timeout 60 " +
                              quoted(dir.file("medium/SETUP.EXE")) +
                              " --gtest_also_run_disabled_tests --gtest_filter=ProgramDirectoryChild.* > " +
                              quoted(dir.file("child.log")) + " 2>&1";
  EXPECT_EQ(run(command), 0) << dir.read("child.log");
  EXPECT_NE(dir.read("child.log").find("[  PASSED  ] 1 test."), std::string::npos) << dir.read("child.log");
}

using Startup = FormsTest;

TEST_F(Startup, ClosingTheWizardHidesItClosingTheMainWindowEndsTheLoop) {
  TApplication& app = *TApplication::instance();
  bool wizardShownOnTop = false, wizardHidden = false, mainShownAfterWizardClosed = false, mainShownAtEnd = false;
  QPoint wizardPos;
  QTimer::singleShot(0, form1.get(), [&] {
    wizardShownOnTop = form2->isVisible() && (form2->windowFlags() & Qt::WindowStaysOnTopHint);
    wizardPos = form2->pos();
    form2->close();
    wizardHidden = !form2->isVisible();
    mainShownAfterWizardClosed = form1->isVisible() && !app.Terminated();
    form1->close();
    mainShownAtEnd = form1->isVisible();
  });
  EXPECT_EQ(app.Run(form1.get()), 0);
  app.ClearTerminated();

  EXPECT_TRUE(wizardShownOnTop);
  EXPECT_TRUE(wizardHidden);
  EXPECT_TRUE(mainShownAfterWizardClosed);
  EXPECT_TRUE(mainShownAtEnd);
  EXPECT_TRUE(form1->windowState() & Qt::WindowMaximized);
  const QRect desktop = QGuiApplication::primaryScreen()->virtualGeometry();
  EXPECT_EQ(wizardPos, QPoint(desktop.x() + (desktop.width() - 459) / 2, desktop.y() + (desktop.height() - 305) / 2));
  EXPECT_EQ(form2->size(), QSize(459, 305));
}

// The built program starts from a medium and keeps running until it is ended.
TEST(SetupProgram, StartsFromAMediumAndRuns) {
  TempDir dir;
  fs::create_directories(dir.file("medium"));
  fs::copy_file(SETUP_PROGRAM, dir.file("medium/setup"));
  dir.write("medium/SETUP.INS", "[Setup]\nTitle=Smoke\nApp=Smoke\nDestDir=C:\\tmp\\smoke\n");
  const std::string command = "cd / && QT_QPA_PLATFORM=offscreen timeout 2 " + quoted(dir.file("medium/setup")) +
                              " > " + quoted(dir.file("setup.log")) + " 2>&1";
  EXPECT_EQ(run(command), 124) << "the program did not keep running: " << dir.read("setup.log");
}

}  // namespace
