#pragma once
// TDirectoryListBox: the directory tree of one drive as a column of the open
// directory's ancestors, the open directory and its sub-directories, each
// with a folder glyph and indented by level. It works through the process's
// current directory: the directory it opens becomes current.
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <string>
#include <vector>

#include "controls/directory_items.h"
#include "controls/file_ctrl_types.h"

class TDriveComboBox;
class TFileListBox;

class TDirectoryListBox : public QListWidget, public TObject {
  Q_OBJECT
 public:
  // Starts on the process's current directory.
  explicit TDirectoryListBox(QWidget* parent = nullptr);

  // The open directory, in the form the platform reports the current
  // directory ("C:\" for a root, "C:\dir" otherwise).
  const std::string& Directory() const { return FDirectory; }
  // Opens a directory given in any form ResolveEnteredPath accepts, makes it
  // current, rebuilds the items and fires the change. Nothing happens for an
  // empty text or the open directory itself. Raises EInOutError when the
  // directory or its drive cannot be entered; the list stays as it was.
  void SetDirectory(const std::string& NewDirectory);

  // The drive letter of the open directory.
  char Drive() const { return FDirectory.empty() ? '\0' : FDirectory[0]; }
  // Opens the current directory of another drive ("D:"); raises EInOutError
  // when the drive cannot be entered.
  void SetDrive(char Value);

  // A drive box reports a new drive (0 for none): opens that drive's current
  // directory. Raises EInOutError when it cannot be entered.
  void DriveChange(char NewDrive);

  // The directory an item stands for (see directoryItemPath).
  std::string GetItemPath(int Index) const;
  // Opens the directory of an item, as a double-click on it does.
  void OpenItem(int Index);

  // Whether names are drawn in their own case (the volume keeps case), and
  // whether they are compared case-sensitively.
  bool PreserveCase() const { return FPreserveCase; }
  bool CaseSensitive() const { return FCaseSensitive; }

  // The fixed height of every item; the font's text height or the folder
  // glyph's height plus 1, whichever is larger, until set.
  int ItemHeight() const { return FItemHeight; }
  void SetItemHeight(int Value);
  // Shrinks the list's height to show whole items only.
  bool IntegralHeight() const { return FIntegralHeight; }
  void SetIntegralHeight(bool Value);

  // The items as data, in the order shown.
  const std::vector<TDirectoryItem>& Items() const { return FItems; }

  // Links: a file list that follows the open directory, a label that shows
  // it shortened to its width. Not owned.
  void SetFileList(TFileListBox* Value);
  void SetDirLabel(QLabel* Value);

  // Fired after every change of directory or drive, not when the list first
  // builds itself.
  TNotifyEvent OnChange;

  // Paints item `Index` into `Rect` (the list's owner-draw routine).
  void DrawItem(QPainter* Painter, int Index, const QRect& Rect, bool Selected) const;

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // Opens an item from Qt's event code: an exception is raised again from
  // the event loop, not through Qt's code.
  void OpenLater(int Index);

  friend class TDriveComboBox;  // sets FDriveCombo through its DirList link
  void ReadCaseFlags();
  void BuildList();
  void Change();
  void ResetItemHeight();
  void ApplyIntegralHeight();

  std::string FDirectory;
  bool FPreserveCase = true;
  bool FCaseSensitive = false;
  bool FInSetDir = false;  // passing a drive change on: no rebuild yet
  int FItemHeight = 16;
  bool FIntegralHeight = false;
  // Since the last printable key of a type-ahead search.
  QElapsedTimer FTypeAhead;
  std::vector<TDirectoryItem> FItems;
  QPointer<TFileListBox> FFileList;
  QPointer<QLabel> FDirLabel;
  QPointer<TDriveComboBox> FDriveCombo;
};
