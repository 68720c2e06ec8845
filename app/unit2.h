#pragma once
// The wizard window TForm2: four pages (Welcome, Destination, Installing,
// Finish) in Notebook1, with Cancel, Next and Back below them, and the archive
// component BackupFile1 that installs the software. Created hidden from its
// stored layout; shown modeless, on top and centred by TForm1.
#include <memory>
#include <optional>
#include <string>

#include "engine/backup_file.h"
#include "framework/gui/form.h"
#include "install/installation.h"
#include "ui_unit2.h"

class InstallDisplay;
class ModalsAbove;

class TForm2 : public TForm {
  Q_OBJECT

 public:
  // Page indexes of Notebook1.
  enum Page { pgWelcome = 0, pgDestination = 1, pgInstalling = 2, pgFinish = 3 };

  // Builds the layout, creates BackupFile1 and gives it its stored settings
  // (handlers bound by name), and wires the buttons.
  explicit TForm2(QWidget* parent = nullptr);
  ~TForm2() override;

  // Cancel: closes Form1, which ends the program (during the installation,
  // once the installation has returned).
  void Button1Click(TObject* Sender);
  // Next, captioned Finish on the last page: shows the next page and acts on
  // it (Destination: enables Back; Installing: runs the installation; a click
  // on Finish closes Form1). Raises what Restore raises, and an error naming
  // the archive when it is missing.
  void Button2Click(TObject* Sender);
  // Back: shows the previous page; disables Back on the Welcome page.
  void Button3Click(TObject* Sender);
  // Browse: lets the user choose the destination in the directory chooser.
  // Edit1 stays read-only whatever happens; raises what ChooseDirectory raises.
  void Button4Click(TObject* Sender);
  // OnFileRestored: Label5 shows the restored file's target path.
  void BackupFile1FileRestored(TObject* Sender, std::string& Filename, TFileStream*& Stream);
  // OnProgress: moves the bar. The component's last report of a restore (100,
  // no file named) shows the Finish page, whose text and picture say whether
  // the installation completed: it did when no error code is set and the
  // restore was not stopped. A 100 that names a file (the last file's last
  // chunk) leaves the page as it is: the file is not finished yet.
  void BackupFile1Progress(TObject* Sender, const std::string& Filename, TPercentage Percent, bool& Continue);
  // OnError: the error box, with the component's message as its first line
  // and then the file behind the failure (its host path) and the reason,
  // when the component knows them: "could not write FILE: REASON" when the
  // file could not be written, "FILE: REASON" when the medium was at fault.
  void BackupFile1Error(TObject* Sender, int32_t Error, const std::string& ErrString);

  // The Finish page's text for the application name, for an installation
  // that completed or one that did not.
  static std::string FinishText(const std::string& appName, bool completed);
  // The question asked before installing over the same product: the
  // version there and the one this medium installs.
  static std::string InstalledQuestion(const install::InstalledHere& here);
  // The program's exit status from how the installation ended
  // (common/exit_status.h): 0 only when it completed; 4 when it was
  // cancelled or never started, 3 when the archive was missing, 2 when it is
  // damaged, 1 when a file could not be written.
  int ExitStatus() const;

  // The text Label5 shows; during the installation, the one it shows from
  // the next frame on.
  QString Label5Text() const;

  // The archive the installation restores: the program directory + SETUP.BIN.
  std::string ArchivePath() const;

  // The controls of the stored layout, by their names (ui->Label1, ui->Edit1).
  std::unique_ptr<Ui::TForm2> ui;
  // The archive component, owned by the wizard.
  TBackupFile* BackupFile1 = nullptr;
  // Where SETUP.BIN is looked for: the program directory, with its trailing
  // backslash (taken from the application when the wizard is created).
  std::string FProgramDirectory;
  // The application name from SETUP.INS, for the texts that name it.
  std::string FAppName;

 private:
  // Shows a page of Notebook1; an index outside the four pages is ignored.
  void ShowPage(int index);
  // Gives the Finish page its text and picture for the outcome.
  void ShowOutcome(bool completed);
  // The install routine for the medium and `destination`, asking the person
  // when the destination's publisher differs.
  std::unique_ptr<install::TInstallation> PrepareInstallation(const std::string& destination);

  std::unique_ptr<TBackupFile> FBackupFile1;
  // The installation, from the Destination page's checks until it has run,
  // and how it ended.
  std::unique_ptr<install::TInstallation> FInstallation;
  std::optional<install::Outcome> FOutcome;
  ModalsAbove* FModalsAbove = nullptr;
  // Set while the installation runs: paints the Installing page once a frame.
  InstallDisplay* FInstallDisplay = nullptr;
};

// The wizard of the running program.
extern TForm2* Form2;
