#include "app/unit2.h"

#include <QFile>
#include <QPixmap>
#include <QPushButton>
#include <algorithm>
#include <exception>
#include <optional>

#include "app/install_display.h"
#include "app/modals_above.h"
#include "app/private_copy.h"
#include "app/unit1.h"
#include "app/wizard_access.h"
#include "app/wizard_focus.h"
#include "common/exit_status.h"
#include "controls/choose_directory.h"
#include "framework/core/exceptions.h"
#include "framework/core/printable.h"
#include "framework/gui/application.h"
#include "framework/gui/colors.h"
#include "framework/gui/message_dialog.h"
#include "framework/gui/raise_later.h"
#include "framework/gui/text.h"
#include "install/installation.h"
#include "platform/paths.h"

TForm2* Form2 = nullptr;

// The pictures, the animation clip and BackupFile1's stored settings live in
// the resources of this (static) library; make sure they are linked in.
static void initWizardResources() { Q_INIT_RESOURCE(wizard); }

namespace {

// The stored settings of BackupFile1, in the component layout text form.
constexpr const char* kBackupFile1Layout = ":/unit2.backupfile1.layout";
// The Finish page's picture after an installation that completed, and after
// one that did not.
constexpr const char* kCompletedPicture = ":/pictures/side3.bmp";
constexpr const char* kIncompletePicture = ":/pictures/side4.bmp";

std::string readResourceText(const char* path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) throw Exception(std::string("Resource ") + path + " not found");
  return file.readAll().toStdString();
}

// Wires a button to a click handler. An exception that leaves the handler is
// passed on to the application's error box through the event loop, after the
// handler has ended, instead of unwinding through the button's own code. The
// buttons are widgets, not components, so the handlers get no Sender.
void connectClick(QPushButton* button, TForm2* form, void (TForm2::*handler)(TObject*)) {
  QObject::connect(button, &QPushButton::clicked, form,
                   [form, handler] { callRaisingLater([&] { (form->*handler)(nullptr); }); });
}

// Sets the read-only flag of an edit again when it goes out of scope, also
// when the code in between raises.
class ReadOnlyAgain {
 public:
  explicit ReadOnlyAgain(QLineEdit* edit) : FEdit(edit) {}
  ~ReadOnlyAgain() { FEdit->setReadOnly(true); }
  ReadOnlyAgain(const ReadOnlyAgain&) = delete;
  ReadOnlyAgain& operator=(const ReadOnlyAgain&) = delete;

 private:
  QLineEdit* FEdit;
};

}  // namespace

TForm2::TForm2(QWidget* parent) : TForm(parent), ui(std::make_unique<Ui::TForm2>()) {
  initWizardResources();
  ui->setupUi(this);
  setName("Form2");
  ApplyStoredSettings();
  if (TApplication* app = TApplication::instance()) FProgramDirectory = app->ProgramDirectory();

  // The destination field is painted in the menu-bar colour, read-only.
  QPalette palette = ui->Edit1->palette();
  palette.setColor(QPalette::Base, rgbToQColor(colorToRGB(clMenuBar)));
  ui->Edit1->setPalette(palette);
  // Label5 shows the file being installed, nothing before the first one; it
  // sizes itself to its one line of text.
  ui->Label5->clear();
  ui->Label5->adjustSize();

  // BackupFile1 gets its stored settings; the layout binds its events to the
  // handlers registered here by name.
  registerMethod("BackupFile1Progress", bindEvent(this, &TForm2::BackupFile1Progress).handler());
  registerMethod("BackupFile1FileRestored", bindEvent(this, &TForm2::BackupFile1FileRestored).handler());
  registerMethod("BackupFile1Error", bindEvent(this, &TForm2::BackupFile1Error).handler());
  FBackupFile1 = std::make_unique<TBackupFile>(this);
  BackupFile1 = FBackupFile1.get();
  BackupFile1->setName("BackupFile1");
  BackupFile1->readLayout(layoutFromText(*BackupFile1, readResourceText(kBackupFile1Layout)));

  connectClick(ui->Button1, this, &TForm2::Button1Click);
  connectClick(ui->Button2, this, &TForm2::Button2Click);
  connectClick(ui->Button3, this, &TForm2::Button3Click);
  connectClick(ui->Button4, this, &TForm2::Button4Click);

  FModalsAbove = new ModalsAbove(this);

  // Keyboard and screen reader: names where the visible text gives none,
  // Enter on the focused button, the focus back with the wizard.
  describeWizard(*ui);
  new WizardFocus(this);
}

TForm2::~TForm2() = default;

std::string TForm2::ArchivePath() const { return FProgramDirectory + "SETUP.BIN"; }

void TForm2::ShowPage(int index) {
  if (index >= 0 && index < ui->Notebook1->count()) ui->Notebook1->setCurrentIndex(index);
}

void TForm2::Button1Click(TObject*) {
  if (Form1) Form1->close();
}

void TForm2::Button2Click(TObject*) {
  // Before the Installing page writes anything, the install routine's checks:
  // a destination installed from a medium of another publisher is written
  // over only when the person says so (No stays on this page). Any other
  // refusal is told on the Installing page, in an error box.
  if (ui->Notebook1->currentIndex() == pgDestination) {
    FInstallation = PrepareInstallation(fromQString(ui->Edit1->text()));
    const auto& refusal = FInstallation->check();
    if (refusal && refusal->declined) {
      FInstallation.reset();
      return;
    }
    // Too little space (or an earlier installation that cannot be undone):
    // said in the error box, and the person may choose another folder.
    if (refusal && refusal->result == install::Result::Failed) {
      const std::string why = refusal->reason;
      FInstallation.reset();
      application().messageDlg(why, TMsgDlgType::mtError, buttonSet({mbOK}), 0);
      return;
    }
  }
  ShowPage(ui->Notebook1->currentIndex() + 1);
  switch (ui->Notebook1->currentIndex()) {
    case pgDestination: ui->Button3->setEnabled(true); break;
    case pgInstalling: {
      ui->Button2->setEnabled(false);
      ui->Button3->setEnabled(false);
      // Runs the whole installation; the event handlers below update the page
      // meanwhile and may already show the Finish page, where it then waits.
      const std::string destination = fromQString(ui->Edit1->text());
      InstallDisplay display(ui->Notebook1->currentWidget(), ui->Label5, ui->ProgressBar1);
      FInstallDisplay = &display;
      struct Forget {
        InstallDisplay*& display;
        ~Forget() { display = nullptr; }
      } forget{FInstallDisplay};
      // The install routine: each file checked against the medium's
      // attributes as it lands, the install record kept, the uninstaller
      // placed and the menu entry written. Every end but the ones below came
      // with the final 100, which has shown the Finish page and said there
      // whether the installation completed.
      if (!FInstallation) FInstallation = PrepareInstallation(destination);
      FOutcome = FInstallation->run();
      FInstallation.reset();
      if (FOutcome->raised) std::rethrow_exception(FOutcome->raised);
      if (FOutcome->result == install::Result::Refused) throw Exception(FOutcome->reason);
      if (FOutcome->result == install::Result::Damaged && FOutcome->file.empty() && FOutcome->volume.empty())
        throw Exception("The medium is damaged: " + FOutcome->reason);
      // Named as the error boxes name files: by the host path.
      if (FOutcome->result == install::Result::Missing && FOutcome->reason.rfind("cannot read ", 0) == 0)
        throw Exception("C" + FOutcome->reason.substr(1));  // there, but not readable by this user
      if (FOutcome->result == install::Result::Missing) {
        const std::optional<std::string> host = platform::hostPathOf(ArchivePath());
        throw Exception("The archive \"" + (host ? *host : ArchivePath()) + "\" was not found");
      }
      break;
    }
    case pgFinish:  // the click was made on the Finish page
      if (Form1) Form1->close();
      break;
    default: break;
  }
}

void TForm2::Button3Click(TObject*) {
  ShowPage(ui->Notebook1->currentIndex() - 1);
  if (ui->Notebook1->currentIndex() == pgWelcome) ui->Button3->setEnabled(false);
}

void TForm2::Button4Click(TObject*) {
  ui->Edit1->setReadOnly(false);
  ReadOnlyAgain guard(ui->Edit1);
  std::string directory = fromQString(ui->Edit1->text());
  if (ChooseDirectory(directory, 0, 0)) {
    ui->Edit1->setText(toQString(directory));
    ui->Edit1->setCursorPosition(0);
  }
}

QString TForm2::Label5Text() const { return FInstallDisplay ? FInstallDisplay->fileText() : ui->Label5->text(); }

void TForm2::BackupFile1FileRestored(TObject*, std::string& Filename, TFileStream*&) {
  // During the installation the label takes the name when the page is next
  // painted.
  if (FInstallDisplay) {
    FInstallDisplay->showFile(Filename);
    return;
  }
  ui->Label5->setText(toQString(fw::printable(Filename)));
  ui->Label5->adjustSize();
}

void TForm2::BackupFile1Progress(TObject*, const std::string& Filename, TPercentage Percent, bool& Continue) {
  // The bar keeps within its range: a larger value shows as full. During the
  // installation it takes the value when the page is next painted, once a
  // frame.
  QProgressBar* bar = ui->ProgressBar1;
  const int value = std::clamp<int>(Percent, bar->minimum(), bar->maximum());
  if (FInstallDisplay)
    FInstallDisplay->showProgress(value);
  else
    bar->setValue(value);
  if (value != 100 || !Filename.empty()) return;
  // The last report: the component knows by now whether the installation
  // failed, before it shows its error box.
  ShowOutcome(BackupFile1->FErrorCode == 0 && Continue);
  // The page's last state is painted before the Finish page replaces it.
  if (FInstallDisplay) FInstallDisplay->paintNow();
  ShowPage(pgFinish);
  ui->Button3->setEnabled(false);
  ui->Button2->setText("Finish");
  ui->Button2->setEnabled(true);
  ui->Button1->setEnabled(false);
}

std::string TForm2::FinishText(const std::string& appName, bool completed) {
  // One line break less after the failure: the longer sentence takes two
  // lines of the label's fixed height.
  return completed ? "Setup is complete and " + appName + " is now installed!\r\n\r\nClick Finish to end the Setup."
                   : "Setup did not complete and not every file of " + appName +
                         " was installed.\r\nClick Finish to end the Setup.";
}

int TForm2::ExitStatus() const {
  // Left before installing: cancelled.
  return FOutcome ? FOutcome->status : int(setupkit::kExitCancelled);
}

std::unique_ptr<install::TInstallation> TForm2::PrepareInstallation(const std::string& destination) {
  install::Medium medium;
  medium.archive = ArchivePath();
  medium.settings = install::settingsOf(FProgramDirectory);
  // The publisher as the launcher (or the program, from a folder medium)
  // checked it before the program started.
  medium.signer.publicKey = startup::mediumPublisher();
  medium.signer.isSigned = !medium.signer.publicKey.empty();
  medium.uninstaller = install::uninstallerBeside(FProgramDirectory, true);
  install::Choices choices;
  choices.destination = destination;
  choices.newPublisher = install::NewPublisher::Ask;
  // Enter answers No: installing over another publisher's installation is
  // what the person must choose.
  choices.ask = [](const std::string& why) {
    return showMessageBox(why + ".\n\nInstall it anyway?", "Setup", MessageIcon::Question, buttonSet({mbYes, mbNo}),
                          mbNo) == mrYes;
  };
  // The same product installed there: which version is there and which this
  // medium installs. Enter answers Yes, but No over a newer version.
  choices.askInstalled = [](const install::InstalledHere& here) {
    return showMessageBox(InstalledQuestion(here), "Setup", MessageIcon::Question, buttonSet({mbYes, mbNo}),
                          here.order == versions::Order::Older ? mbNo : mbYes) == mrYes;
  };
  return std::make_unique<install::TInstallation>(*BackupFile1, std::move(medium), std::move(choices));
}

std::string TForm2::InstalledQuestion(const install::InstalledHere& here) {
  auto version = [](const std::string& v) { return v.empty() ? std::string("of an unknown version") : "version " + v; };
  std::string text = here.application + " " + version(here.installedVersion) + " is installed in " + here.destination +
                     (here.complete ? "" : " (its installation did not complete)") + ".\nThis medium installs " +
                     version(here.mediumVersion);
  switch (here.order) {
    case versions::Order::Older: return text + ", an older one.\n\nReplace the newer version with it?";
    case versions::Order::Same: return text + ", the same one.\n\nInstall it again?";
    case versions::Order::Newer: return text + ".\n\nUpdate it?";
    case versions::Order::Unknown: break;
  }
  return text + ".\n\nInstall it?";
}

void TForm2::ShowOutcome(bool completed) {
  ui->Label6->setText(toQString(FinishText(FAppName, completed)));
  ui->Image3->setPixmap(QPixmap(completed ? kCompletedPicture : kIncompletePicture));
  // A screen reader names the picture that is shown.
  ui->Image3->setAccessibleName(completed ? QStringLiteral("Picture: a check mark")
                                          : QStringLiteral("Picture: an exclamation mark"));
}

void TForm2::BackupFile1Error(TObject*, int32_t, const std::string& ErrString) {
  std::string text = ErrString;
  const TRestoreResult& result = BackupFile1->Result();
  if (!result.file.empty()) {
    const std::optional<std::string> host = platform::hostPathOf(result.file);
    // What failed: writing the file, or the medium's data for it.
    text += std::string("\n") + (result.reading ? "" : "could not write ") + (host ? *host : result.file);
    // A decoder failure's reason is the message itself.
    if (!result.reason.empty() && result.reason != ErrString) text += ": " + result.reason;
  }
  application().messageDlg(text, TMsgDlgType::mtError, buttonSet({mbOK}), 0);
}
