#include "controls/select_dir_dlg.h"

#include <QEvent>
#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

#include "controls/directory_list_box.h"
#include "controls/drive_combo_box.h"
#include "controls/file_ctrl_text.h"
#include "controls/file_list_box.h"
#include "controls/path_label.h"
#include "framework/core/application_services.h"
#include "framework/core/exceptions.h"
#include "framework/core/path_utils.h"
#include "framework/gui/colors.h"
#include "platform/current_dir.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace {

// The dialog's font family and its pixel height at 96 pixels per inch (8
// points). Where the family is missing a similar sans family stands in.
const char* const kFontFamily = "MS Sans Serif";
const char* const kFontSubstitute = "DejaVu Sans";
constexpr int kFontPixels = 11;
constexpr int kDirListItemHeight = 17;
constexpr int kFileListItemHeight = 13;

int mulDiv(int value, int m, int d) { return (value * m + d / 2) / d; }

// A label whose access key moves the focus to its target while the target
// is visible, and does nothing while it is hidden.
class AccessKeyLabel : public QLabel {
 public:
  AccessKeyLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {}

 protected:
  bool event(QEvent* e) override {
    if (e->type() == QEvent::Shortcut) {
      QWidget* target = buddy();
      if (target && target->isVisible() && target->isEnabled()) target->setFocus(Qt::ShortcutFocusReason);
      return true;
    }
    return QLabel::event(e);
  }
};

THelpViewer& helpViewer() {
  static THelpViewer viewer;
  return viewer;
}

// The system grey-text colour (entry 17 of the system colour table).
constexpr TColor kGrayText = systemColor(17);

void setGrayText(QWidget* w) {
  QPalette grey = w->palette();
  grey.setColor(QPalette::Text, rgbToQColor(colorToRGB(kGrayText)));
  w->setPalette(grey);
}

}  // namespace

TSelectDirDlg::TSelectDirDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  if (QFont::substitutes(QLatin1String(kFontFamily)).isEmpty())
    QFont::insertSubstitution(QLatin1String(kFontFamily), QLatin1String(kFontSubstitute));
  QFont font{QLatin1String(kFontFamily)};
  font.setPixelSize(kFontPixels);
  setFont(font);
  setWindowTitle(QStringLiteral("Select Directory"));

  // Created in this order: edit field, drive box, path label, directory
  // list, file list, each followed by its label; then the buttons.
  DirEdit = new QLineEdit(this);
  DirEdit->hide();
  Label1 = new AccessKeyLabel(QStringLiteral("Directory &Name:"), this);
  Label1->setBuddy(DirEdit);
  DriveList = new TDriveComboBox(this);
  Label2 = new AccessKeyLabel(QStringLiteral("D&rives:"), this);
  Label2->setBuddy(DriveList);
  DirLabel = new TPathLabel(this);
  DirList = new TDirectoryListBox(this);
  DirList->SetItemHeight(kDirListItemHeight);
  Label3 = new AccessKeyLabel(QStringLiteral("&Directories:"), this);
  Label3->setBuddy(DirList);
  FileList = new TFileListBox(this);
  FileList->SetItemHeight(kFileListItemHeight);
  setGrayText(FileList);
  Label4 = new AccessKeyLabel(QStringLiteral("&Files: (*.*)"), this);
  Label4->setBuddy(FileList);
  NetButton = new QPushButton(QStringLiteral("Ne&twork..."), this);
  OKButton = new QPushButton(QStringLiteral("OK"), this);
  OKButton->setDefault(true);
  CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
  HelpButton = new QPushButton(QStringLiteral("&Help"), this);

  // A screen reader names the edit field, the lists and the drive box after
  // their labels, without the access-key marks.
  for (QLabel* label : {Label1, Label2, Label3, Label4})
    label->buddy()->setAccessibleName(QString(label->text()).remove('&'));

  setTabOrder(DirList, DirEdit);
  setTabOrder(DirEdit, DriveList);
  setTabOrder(DriveList, NetButton);
  setTabOrder(NetButton, OKButton);
  setTabOrder(OKButton, CancelButton);
  setTabOrder(CancelButton, FileList);
  setTabOrder(FileList, HelpButton);

  DirList->OnChange = bindEvent(this, &TSelectDirDlg::DirListChange, "DirListChange");
  DriveList->OnChange = bindEvent(this, &TSelectDirDlg::DriveListChange, "DriveListChange");
  connect(OKButton, &QPushButton::clicked, this, &TSelectDirDlg::OKClick);
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
  connect(HelpButton, &QPushButton::clicked, this, &TSelectDirDlg::HelpButtonClick);
  connect(NetButton, &QPushButton::clicked, this, &TSelectDirDlg::NetClick);

  PlaceControls();
  CenterOnScreen();
  FormCreate();
}

void TSelectDirDlg::PlaceControls() {
  const int m = FScaleM, d = FScaleD;
  auto place = [m, d](QWidget* w, int left, int top, int width, int height) {
    w->setGeometry(mulDiv(left, m, d), mulDiv(top, m, d), mulDiv(width, m, d), mulDiv(height, m, d));
  };
  auto placeLabel = [m, d](QLabel* label, int left, int top) {
    label->adjustSize();  // labels take the size of their text
    label->move(mulDiv(left, m, d), mulDiv(top, m, d));
  };
  setFixedSize(mulDiv(424, m, d), mulDiv(255, m, d));
  placeLabel(Label1, 8, 8);
  place(DirEdit, 8, 24, 313, 20);
  place(DirLabel, 8, 24, 313, 20);
  placeLabel(Label3, 8, 56);
  place(DirList, 8, 72, 213, 138);
  DirList->SetIntegralHeight(true);  // shrinks the list to whole items
  placeLabel(Label4, 232, 56);
  place(FileList, 232, 72, 185, 93);
  placeLabel(Label2, 232, 176);
  place(DriveList, 232, 192, 185, 19);
  place(NetButton, 8, 224, 77, 27);
  // Without the Help button, OK and Cancel move right by one place.
  const bool help = !HelpButton->isHidden();
  place(OKButton, help ? 172 : 256, 224, 77, 27);
  place(CancelButton, help ? 256 : 340, 224, 77, 27);
  place(HelpButton, 340, 224, 77, 27);
}

void TSelectDirDlg::FormCreate() {
  FNetConnect = platform::findConnectDialog();
  NetButton->setVisible(static_cast<bool>(FNetConnect));
  FEditable = true;
  SetEditable(false);
  DirLabel->setGeometry(DirEdit->geometry());
  DirListChange(this);
  DirList->setFocus();
}

std::string TSelectDirDlg::Directory() const { return FEditable ? fromQString(DirEdit->text()) : DirLabel->Text(); }

void TSelectDirDlg::SetDirectory(const std::string& Value) {
  if (Value.empty()) return;
  std::string path = fw::withTrailingBackslash(platform::expandPath(Value)) + "*.*";
  if (path.size() < 3 || path[1] != ':') return;  // a network path
  DriveList->SetDrive(path[0]);
  path = fw::directoryPart(path);
  path.pop_back();  // C:\Tools\ becomes C:\Tools, C:\ becomes C: (the drive's current directory)
  try {
    DirList->SetDirectory(path);
  } catch (const EInOutError&) {
    const std::string current = platform::getCurrentDirectory();
    if (current.size() >= 2 && current[1] == ':') DriveList->SetDrive(current[0]);
    DirList->SetDirectory(current);
  }
}

void TSelectDirDlg::SetEditable(bool Value) {
  if (Value == FEditable) return;
  FEditable = Value;
  DirEdit->setVisible(Value);
  DirLabel->setVisible(!Value);
  if (Value) DirEdit->selectAll();
}

void TSelectDirDlg::SetHelpContext(int Value) {
  FHelpContext = Value;
  HelpButton->setVisible(Value != 0);
  PlaceControls();
}

void TSelectDirDlg::ScaleBy(int M, int D) {
  FScaleM *= M;
  FScaleD *= D;
  QFont scaled = font();
  scaled.setPixelSize(mulDiv(kFontPixels, FScaleM, FScaleD));
  setFont(scaled);
  const int textHeight = fontMetrics().height();
  DirList->SetItemHeight(std::max(mulDiv(kDirListItemHeight, FScaleM, FScaleD), textHeight));
  FileList->SetItemHeight(std::max(mulDiv(kFileListItemHeight, FScaleM, FScaleD), textHeight));
  setGrayText(FileList);
  PlaceControls();
}

void TSelectDirDlg::CenterOnScreen() {
  const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
  if (!s) return;
  FCentring.centre(*this, s->geometry(), TFrameCentring::Rounding::HalveEach);
}

bool TSelectDirDlg::event(QEvent* event) {
  FCentring.seen(*this, *event);
  return QDialog::event(event);
}

void TSelectDirDlg::DirListChange(TObject*) {
  const std::string& directory = DirList->Directory();
  DirLabel->SetText(directory);
  FileList->ApplyFilePath(directory);
  DirEdit->setText(toQString(directory));
  DirEdit->selectAll();
}

void TSelectDirDlg::DriveListChange(TObject*) { DirList->SetDrive(DriveList->Drive()); }

void TSelectDirDlg::NetClick() {
  if (FNetConnect) FNetConnect(uintptr_t(winId()), 1);
}

void TSelectDirDlg::OKClick() {
  if (FEditable && FConfirm && !platform::directoryExists(Directory()) &&
      application().messageDlg("The specified directory does not exist. Create it?", TMsgDlgType::mtConfirmation,
                               buttonSet({mbYes, mbNo}), 0) != mrYes)
    return;
  accept();
}

void TSelectDirDlg::HelpButtonClick() { ShowHelpTopic(FHelpContext); }

void SetHelpViewer(THelpViewer viewer) { helpViewer() = std::move(viewer); }

void ShowHelpTopic(int HelpContext) {
  if (helpViewer()) {
    helpViewer()(HelpContext);
    return;
  }
  application().messageDlg("No help is available for topic " + std::to_string(HelpContext) + ".",
                           TMsgDlgType::mtInformation, buttonSet({mbOK}), 0);
}
