// The message box's default and cancel buttons, the application error text,
// the application title, the console's answers and the I/O error messages.
// Captions, button order and results are checked on the real box in
// tests/framework/gui.
#include "framework/core/message_box.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "framework/core/application_services.h"
#include "framework/core/exceptions.h"

namespace {

TEST(MessageBox, DefaultAndCancelButtons) {
  struct Row {
    const char* name;
    TMsgDlgButtons buttons;
    int defaultButton;
    int cancelButton;
  };
  const Row rows[] = {
      {"OK", buttonSet({mbOK}), mbOK, mbOK},
      {"OK and Cancel", buttonSet({mbOK, mbCancel}), mbOK, mbCancel},
      {"Yes and No", buttonSet({mbYes, mbNo}), mbYes, mbNo},
      {"Yes, No, Cancel", buttonSet({mbYes, mbNo, mbCancel}), mbYes, mbCancel},
      {"Abort, Retry, Ignore", buttonSet({mbAbort, mbRetry, mbIgnore}), mbRetry, -1},
      {"Retry and Cancel", buttonSet({mbRetry, mbCancel}), mbRetry, mbCancel},
      {"Yes and OK", buttonSet({mbYes, mbOK}), mbOK, mbOK},
      {"Help only", buttonSet({mbHelp}), -1, -1},
      {"none", 0, -1, -1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(defaultButton(row.buttons), row.defaultButton);
    EXPECT_EQ(cancelButton(row.buttons), row.cancelButton);
  }
}

TEST(ApplicationErrorText, APointIsAppendedAfterCharactersAboveIt) {
  const std::pair<std::string, std::string> rows[] = {
      {"Stream read error", "Stream read error."},
      {"Done.", "Done."},
      {"Is it?", "Is it?."},
      {"Path C:\\", "Path C:\\."},
      {"Ends with a blank ", "Ends with a blank "},
      {"Ends with a dash-", "Ends with a dash-"},
      {"Ends with a digit 5", "Ends with a digit 5."},
      {"Ends with a comma,", "Ends with a comma,"},
      {"Ends with /", "Ends with /."},
      {"Umlaut \xE4", "Umlaut \xE4."},
      {"", ""},
  };
  for (const auto& [message, text] : rows) EXPECT_EQ(applicationErrorText(message), text) << message;
}

TEST(ApplicationTitle, FromTheProgramPath) {
  const std::pair<const char*, const char*> rows[] = {
      {"/media/cdrom/SETUP", "Setup"},
      {"C:\\INSTALL\\SETUP.EXE", "Setup"},
      {"/opt/x/setup", "setup"},
      {"/opt/x/MySetup.bin", "Mysetup"},
      {"SETUP", "Setup"},
      {"/opt/my.dir/PROG.V2.EXE", "Prog"},
      {"/opt/x/", ""},
  };
  for (const auto& [path, title] : rows) EXPECT_EQ(applicationTitleFromPath(path), title) << path;
}

// Runs a console box with standard input taken from /dev/null.
int consoleBoxWithoutTerminal(TMsgDlgButtons buttons) {
  int saved = dup(STDIN_FILENO);
  int null = open("/dev/null", O_RDONLY);
  dup2(null, STDIN_FILENO);
  close(null);
  ConsoleApplication console;
  int result = console.messageDlg("text", TMsgDlgType::mtInformation, buttons, 0);
  dup2(saved, STDIN_FILENO);
  close(saved);
  return result;
}

TEST(ApplicationServices, WithoutATerminalTheConsoleAnswersWithTheCancelButton) {
  EXPECT_EQ(consoleBoxWithoutTerminal(buttonSet({mbOK, mbCancel})), mrCancel);
  EXPECT_EQ(consoleBoxWithoutTerminal(buttonSet({mbYes, mbNo})), mrNo);
  EXPECT_EQ(consoleBoxWithoutTerminal(buttonSet({mbOK})), mrOk);
  EXPECT_EQ(consoleBoxWithoutTerminal(buttonSet({mbAbort, mbRetry, mbIgnore})), mrCancel);
}

TEST(Exceptions, IoErrorMessages) {
  const std::pair<uint32_t, const char*> rows[] = {
      {2, "File not found"},
      {3, "Path not found"},
      {4, "Too many open files"},
      {5, "File access denied"},
      {100, "Read beyond end of file"},
      {101, "Disk full"},
      {15, "I/O error 15"},
      {21, "I/O error 21"},
      {53, "I/O error 53"},
      {0, "I/O error 0"},
  };
  for (const auto& [code, message] : rows) {
    EInOutError e(code);
    EXPECT_EQ(e.message(), message);
    EXPECT_STREQ(e.what(), message);
    EXPECT_EQ(e.errorCode(), code);
  }
  EXPECT_EQ(EReadError().message(), "Stream read error");
  EXPECT_EQ(EWriteError().message(), "Stream write error");
  EXPECT_EQ(EOutOfMemory().message(), "Out of memory");
}

}  // namespace
