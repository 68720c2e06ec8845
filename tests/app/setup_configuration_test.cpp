// SETUP.INS handed to the windows: the title, the three wizard texts and the
// destination field, with and without the file.
#include <gtest/gtest.h>

#include "framework/gui/text.h"
#include "platform/paths.h"
#include "tests/app/forms_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

using SetupConfiguration = FormsTest;

std::string windowsPath(const std::string& hostPath) { return platform::virtualPathOf(hostPath).value(); }

TEST_F(SetupConfiguration, TextsFromTheFile) {
  struct Row {
    const char* name;
    const char* ini;  // null: no file
    std::string title, welcome, destination, finish, destDir;
  };
  const Row rows[] = {
      {"no file", nullptr, "",
       "Welcome to the  Setup program.  It will install the software on your computer.",
       "Setup will install  to the directory listed in the box below.",
       "Setup is complete and  is now installed!\r\n\r\nClick Finish to end the Setup.", ""},
      {"all three keys", "[Setup]\r\nTitle=Acme Office 2000\r\nApp=Acme Office\r\nDestDir=C:\\Program Files\\Acme\r\n",
       "Acme Office 2000", "Welcome to the Acme Office Setup program.  It will install the software on your computer.",
       "Setup will install Acme Office to the directory listed in the box below.",
       "Setup is complete and Acme Office is now installed!\r\n\r\nClick Finish to end the Setup.",
       "C:\\Program Files\\Acme"},
      {"names in other letter cases, blanks and quotes",
       "[SETUP]\nTITLE =  \"  Spaced Title \"  \napp= 'Demo'\ndestdir =   D:\\Not\\There  \n", "  Spaced Title ",
       "Welcome to the Demo Setup program.  It will install the software on your computer.",
       "Setup will install Demo to the directory listed in the box below.",
       "Setup is complete and Demo is now installed!\r\n\r\nClick Finish to end the Setup.", "D:\\Not\\There"},
      {"other section only", "[Other]\nTitle=X\nApp=Y\nDestDir=Z\n", "",
       "Welcome to the  Setup program.  It will install the software on your computer.",
       "Setup will install  to the directory listed in the box below.",
       "Setup is complete and  is now installed!\r\n\r\nClick Finish to end the Setup.", ""},
      {"relative destination kept", "[Setup]\nDestDir=..\\apps\n", "",
       "Welcome to the  Setup program.  It will install the software on your computer.",
       "Setup will install  to the directory listed in the box below.",
       "Setup is complete and  is now installed!\r\n\r\nClick Finish to end the Setup.", "..\\apps"},
  };
  for (const Row& row : rows) {
    TempDir dir;
    if (row.ini) dir.write("SETUP.INS", row.ini);
    form1->ReadConfiguration(windowsPath(dir.file("SETUP.INS")));

    EXPECT_EQ(fromQString(form1->ui->Label1->text()), row.title) << row.name;
    EXPECT_EQ(fromQString(form2->ui->Label1->text()), row.welcome) << row.name;
    EXPECT_EQ(fromQString(form2->ui->Label3->text()), row.destination) << row.name;
    EXPECT_EQ(fromQString(form2->ui->Label6->text()), row.finish) << row.name;
    EXPECT_EQ(fromQString(form2->ui->Edit1->text()), row.destDir) << row.name;
    EXPECT_TRUE(form2->ui->Edit1->isReadOnly()) << row.name;
  }
}

}  // namespace
