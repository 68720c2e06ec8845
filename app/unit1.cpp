#include "app/unit1.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "app/unit2.h"
#include "platform/paths.h"
#include "framework/gui/application.h"
#include "framework/gui/text.h"

TForm1* Form1 = nullptr;

namespace {

std::string lowerCase(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return text;
}

// The user's home folder: $HOME when absolute, else the password entry's.
std::string homeFolder() {
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return home;
  const passwd* entry = getpwuid(getuid());
  return entry && entry->pw_dir ? entry->pw_dir : "";
}

}  // namespace

std::string TForm1::userDestination(const std::string& value) {
  // "~" alone or "~/..." (or "~\...") is the home folder, shown in the
  // Windows form of the other paths.
  if (value.empty() || value[0] != '~' || (value.size() > 1 && value[1] != '/' && value[1] != '\\')) return value;
  std::string host = homeFolder();
  if (host.empty()) return value;
  for (size_t i = 1; i < value.size(); ++i) host += value[i] == '\\' ? '/' : value[i];
  const std::optional<std::string> shown = platform::virtualPathOf(host);
  return shown ? *shown : value;
}

TForm1::TForm1(QWidget* parent) : TForm(parent), ui(std::make_unique<Ui::TForm1>()) {
  ui->setupUi(this);
  setName("Form1");
  ApplyStoredSettings();
  OnShow = bindEvent(this, &TForm1::FormShow, "FormShow");
}

TForm1::~TForm1() = default;

void TForm1::FormShow(TObject*) {
  TApplication* app = TApplication::instance();
  ReadConfiguration((app ? app->ProgramDirectory() : std::string()) + "SETUP.INS");
  if (Form2) Form2->Show();
}

void TForm1::ReadConfiguration(const std::string& iniPath) {
  FIniFile = std::make_unique<TIniFile>(iniPath);

  ui->Label1->setText(toQString(FIniFile->ReadString("Setup", "Title", "")));
  ui->Label1->adjustSize();  // the title label sizes itself to its one line

  const std::string app = FIniFile->ReadString("Setup", "App", "");
  if (!Form2) return;
  Form2->FAppName = app;
  Ui::TForm2& wizard = *Form2->ui;
  wizard.Label1->setText(
      toQString("Welcome to the " + app + " Setup program.  It will install the software on your computer."));
  wizard.Label3->setText(toQString("Setup will install " + app + " to the directory listed in the box below."));
  wizard.Label6->setText(toQString(TForm2::FinishText(app, true)));

  // The stored tree is kept below the destination only when the medium asks
  // for it; every other medium installs flat, as it always did.
  Form2->BackupFile1->RestoreFullPath = lowerCase(FIniFile->ReadString("Setup", "Paths", "")) == "tree";
  // Root gets DestDir; another user the medium's UserDestDir (in the home
  // folder) where it has one.
  std::string destDir = FIniFile->ReadString("Setup", "DestDir", "");
  const std::string userDest = FIniFile->ReadString("Setup", "UserDestDir", "");
  if (geteuid() != 0 && !userDest.empty()) destDir = userDestination(userDest);
  wizard.Edit1->setReadOnly(false);
  wizard.Edit1->setText(toQString(destDir));
  wizard.Edit1->setCursorPosition(0);
  wizard.Edit1->setReadOnly(true);
}
