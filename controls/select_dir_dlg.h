#pragma once
// TSelectDirDlg: the modal directory chooser, built in code: a directory
// list, a drive box, a grey file list for information, the open directory
// as a shortened path (or an edit field for a typed name), and OK, Cancel,
// Help and Network buttons.
#include <QDialog>
#include <functional>
#include <string>

#include "controls/file_ctrl_types.h"
#include "framework/gui/frame_centring.h"
#include "platform/volumes.h"

class QLabel;
class QLineEdit;
class QPushButton;
class TDirectoryListBox;
class TDriveComboBox;
class TFileListBox;
class TPathLabel;

class TSelectDirDlg : public QDialog, public TObject {
  Q_OBJECT
 public:
  // Creates the dialog with every control at its place for 96 pixels per
  // inch; the lists start on the process's current directory.
  explicit TSelectDirDlg(QWidget* parent = nullptr);

  TDirectoryListBox* DirList;
  QLineEdit* DirEdit;
  TDriveComboBox* DriveList;
  TPathLabel* DirLabel;
  QPushButton* OKButton;
  QPushButton* CancelButton;
  QPushButton* HelpButton;
  QPushButton* NetButton;
  TFileListBox* FileList;
  // The labels of the edit field, the drive box, the directory list and the
  // file list.
  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;
  QLabel* Label4;

  // The chosen directory: the edit field's text when a name may be typed,
  // else the open directory.
  std::string Directory() const;
  // Opens an initial directory: its drive, then the directory itself. A
  // directory that cannot be entered opens the process's current directory
  // instead; an empty text or a network path changes nothing. Raises
  // EInOutError when the drive cannot be entered.
  void SetDirectory(const std::string& Value);

  // A name may be typed: the edit field replaces the path label.
  bool Editable() const { return FEditable; }
  void SetEditable(bool Value);
  // OK on a typed directory that does not exist asks first (with Editable).
  bool Confirm() const { return FConfirm; }
  void SetConfirm(bool Value) { FConfirm = Value; }

  // 0 hides the Help button (OK and Cancel move right by one place);
  // another value is the topic the Help button shows.
  void SetHelpContext(int Value);
  int HelpContext() const { return FHelpContext; }

  // Scales the dialog, its controls, its font and the item heights by M / D.
  void ScaleBy(int M, int D);
  // Centres the dialog on its screen, with the window manager's frame
  // counted once it is known, as the wizard is centred.
  void CenterOnScreen();

  // Handlers.
  void FormCreate();
  void DirListChange(TObject* Sender);
  void DriveListChange(TObject* Sender);
  void NetClick();
  void OKClick();
  void HelpButtonClick();

 protected:
  bool event(QEvent* event) override;

 private:
  void PlaceControls();

  bool FEditable = false;
  bool FConfirm = false;
  int FHelpContext = 0;
  int FScaleM = 1;
  int FScaleD = 1;
  platform::ConnectDialogEntry FNetConnect;
  TFrameCentring FCentring;
};

// Shows the help topic of a help context. The application installs its help
// viewer; without one an information box says that no help is available.
using THelpViewer = std::function<void(int HelpContext)>;
void SetHelpViewer(THelpViewer viewer);
void ShowHelpTopic(int HelpContext);
