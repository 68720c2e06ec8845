#pragma once
// TDriveComboBox: a drop-down list of the drives, each with its glyph and a
// text: the letter, a colon and, but for removable drives, the volume label
// in brackets or the network connection's remote name ("c: [system]").
#include <QComboBox>
#include <QPointer>

#include "controls/file_ctrl_types.h"
#include "controls/glyphs.h"

class TDirectoryListBox;

class TDriveComboBox : public QComboBox, public TObject {
  Q_OBJECT
 public:
  // Builds the list and selects the drive of the process's current directory
  // (none when that is a network path).
  explicit TDriveComboBox(QWidget* parent = nullptr);

  // The selected drive letter in the box's letter case, 0 for none.
  char Drive() const { return FDrive; }
  // Selects a drive (0: none), tells the linked directory list and fires
  // OnChange. Nothing happens when that drive is already selected. A letter
  // without an item is kept as Drive while the selection stays as it was.
  // Raises what the linked list or OnChange raise (EInOutError for a drive
  // that cannot be entered); the box keeps showing the new drive then.
  void SetDrive(char NewDrive);

  TTextCase TextCase() const { return FTextCase; }
  // Changes the letter case of the texts; rebuilds the list.
  void SetTextCase(TTextCase Value);

  // Reads the drives again and selects the stored Drive.
  void BuildList();

  // The glyph of item `Index`.
  TGlyph ItemGlyph(int Index) const;

  // The fixed height of every item: the font's text height or the floppy
  // glyph's height, whichever is larger, until set.
  int ItemHeight() const { return FItemHeight; }
  void SetItemHeight(int Value);

  // A directory list that follows the selected drive. Not owned.
  TDirectoryListBox* DirList() const { return FDirList; }
  void SetDirList(TDirectoryListBox* Value);

  TNotifyEvent OnChange;

  // Paints item `Index` into `Rect` (the box's owner-draw routine).
  void DrawItem(QPainter* Painter, int Index, const QRect& Rect, bool Selected) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void SelectStoredDrive();
  void ResetItemHeight();

  char FDrive = 0;
  TTextCase FTextCase = tcLowerCase;
  int FItemHeight = 11;
  QPointer<TDirectoryListBox> FDirList;
};
