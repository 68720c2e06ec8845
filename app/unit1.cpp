#include "app/unit1.h"

#include <unistd.h>

#include <QResizeEvent>

#include "app/modals_above.h"
#include "app/private_copy.h"
#include "app/unit2.h"
#include "framework/gui/application.h"
#include "framework/gui/text.h"
#include "medium/medium_settings.h"

TForm1* Form1 = nullptr;

TForm1::TForm1(QWidget* parent) : TForm(parent), ui(std::make_unique<Ui::TForm1>()) {
  ui->setupUi(this);
  setName("Form1");
  ApplyStoredSettings();
  OnShow = bindEvent(this, &TForm1::FormShow, "FormShow");
  SignerLabel = new QLabel(this);
  SignerLabel->setObjectName("SignerLabel");
  QPalette palette = SignerLabel->palette();
  palette.setColor(QPalette::WindowText, QColor(200, 200, 200));
  SignerLabel->setPalette(palette);
  SignerLabel->hide();
}

void TForm1::resizeEvent(QResizeEvent* event) {
  TForm::resizeEvent(event);
  if (SignerLabel) SignerLabel->move(16, height() - SignerLabel->height() - 8);
}

TForm1::~TForm1() = default;

void TForm1::FormShow(TObject*) {
  TApplication* app = TApplication::instance();
  ReadConfiguration((app ? app->ProgramDirectory() : std::string()) + "SETUP.INS");
  if (Form2 && !showAboveOnWayland(Form2, this)) Form2->Show();
}

void TForm1::ReadConfiguration(const std::string& iniPath) {
  FIniFile = std::make_unique<TIniFile>(iniPath);

  ui->Label1->setText(toQString(FIniFile->ReadString("Setup", "Title", "")));
  ui->Label1->adjustSize();  // the title label sizes itself to its one line
  const std::string& signer = startup::mediumSigner();
  SignerLabel->setText(toQString("This medium is " + signer + "."));
  SignerLabel->adjustSize();
  SignerLabel->move(16, height() - SignerLabel->height() - 8);
  SignerLabel->setVisible(!signer.empty());

  const std::string app = FIniFile->ReadString("Setup", "App", "");
  if (!Form2) return;
  Form2->FAppName = app;
  Ui::TForm2& wizard = *Form2->ui;
  wizard.Label1->setText(
      toQString("Welcome to the " + app + " Setup program.  It will install the software on your computer."));
  wizard.Label3->setText(toQString("Setup will install " + app + " to the directory listed in the box below."));
  wizard.Label6->setText(toQString(TForm2::FinishText(app, true)));

  // Root gets DestDir; another user the medium's UserDestDir (in the home
  // folder) where it has one. The stored tree is kept below the destination
  // only when the medium asks for it; every other medium installs flat, as
  // it always did.
  const medium::InstallPlace place = medium::installPlace(FIniFile->ReadString("Setup", "DestDir", ""),
                                                          FIniFile->ReadString("Setup", "UserDestDir", ""),
                                                          FIniFile->ReadString("Setup", "Paths", ""), geteuid() == 0);
  Form2->BackupFile1->RestoreFullPath = place.tree;
  const std::string& destDir = place.destination;
  wizard.Edit1->setReadOnly(false);
  wizard.Edit1->setText(toQString(destDir));
  wizard.Edit1->setCursorPosition(0);
  wizard.Edit1->setReadOnly(true);
}
