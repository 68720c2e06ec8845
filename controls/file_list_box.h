#pragma once
// TFileListBox: the sorted names of the entries of one directory that match
// a mask and a set of kinds, optionally with glyphs. It works through the
// process's current directory: reading a directory makes it current.
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <string>

#include "controls/file_ctrl_types.h"
#include "controls/glyphs.h"


class TFileListBox : public QListWidget, public TObject {
  Q_OBJECT
 public:
  // Starts on the process's current directory, mask "*.*", ftNormal only.
  explicit TFileListBox(QWidget* parent = nullptr);

  const std::string& Directory() const { return FDirectory; }
  // Enters a directory and reads its entries; nothing happens when it names
  // the current Directory (ignoring case). Raises EInOutError when it
  // cannot be entered.
  void SetDirectory(const std::string& Value);

  // Masks separated by ";" ("*.*" by default).
  const std::string& Mask() const { return FMask; }
  void SetMask(const std::string& Value);

  // The kinds of entries listed; ftNormal lists every entry not excluded by
  // being hidden, system, a volume label or a directory.
  TFileType FileType() const { return FFileType; }
  void SetFileType(TFileType Value);

  // Draws the glyph of each entry before its name.
  bool ShowGlyphs() const { return FShowGlyphs; }
  void SetShowGlyphs(bool Value);

  // Follows a path given in any form ResolveEnteredPath accepts: enters its
  // directory; a file part with "*" or "?" becomes the mask, another file
  // part is selected when listed. Raises EInOutError.
  void ApplyFilePath(const std::string& EditText);

  // Reads the entries of Directory again.
  void ReadFileNames();

  // The raw name of item `Index` (without the brackets of a directory) and
  // its glyph.
  std::string ItemName(int Index) const;
  TGlyph ItemGlyph(int Index) const;

  // The fixed height of every item: the font's text height (with glyphs
  // shown, at least a glyph's height plus 1), until set.
  int ItemHeight() const { return FItemHeight; }
  void SetItemHeight(int Value);

  // An edit field that shows the selected name, or the mask when nothing is
  // selected. Not owned.
  void SetFileEdit(QLineEdit* Value) { FFileEdit = Value; }

  // The index of the last selection reported by a change.
  int LastSelection() const { return FLastSel; }

  // Fired after every reading and every change of the selection.
  TNotifyEvent OnChange;

  // Paints item `Index` into `Rect` (the list's owner-draw routine).
  void DrawItem(QPainter* Painter, int Index, const QRect& Rect, bool Selected) const;

 protected:
  void changeEvent(QEvent* event) override;

 private:
  void Change();
  void ResetItemHeight();
  int InsertPosition(const QString& text) const;

  std::string FDirectory;
  std::string FMask = "*.*";
  TFileType FFileType = fileTypeOf({ftNormal});
  bool FShowGlyphs = false;
  int FItemHeight = 13;
  int FLastSel = -1;
  bool FReading = false;
  QPointer<QLineEdit> FFileEdit;
};
