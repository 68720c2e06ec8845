#include "controls/directory_list_box.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <algorithm>
#include <cctype>

#include "controls/drive_combo_box.h"
#include "controls/file_ctrl_text.h"
#include "controls/file_list_box.h"
#include "controls/flag_scope.h"
#include "controls/owner_draw_delegate.h"
#include "controls/resolve_entered_path.h"
#include "controls/shorten_path.h"
#include "framework/core/path_utils.h"
#include "framework/gui/raise_later.h"
#include "platform/current_dir.h"
#include "platform/drives.h"
#include "platform/files.h"
#include "platform/find.h"
#include "platform/volumes.h"

namespace {

char upperChar(char c) { return char(std::toupper((unsigned char)c)); }

// The visible sub-directories of a directory: neither hidden nor system, not
// "." or "..", sorted by name.
// A name that cannot be a component of a Windows-form path (a separator, a
// drive colon, a wildcard, a control character) could not be opened from the
// list, so it is not offered.
bool writableInWindowsForm(const std::string& name) {
  for (unsigned char c : name)
    if (c < 0x20 || c == '\\' || c == ':' || c == '*' || c == '?') return false;
  return true;
}

std::vector<std::string> listSubdirectories(const std::string& directory) {
  std::vector<std::string> names;
  platform::FindData found;
  platform::FindHandle search = platform::findFirstFile(fw::withTrailingBackslash(directory) + "*.*", found);
  for (bool more = search != nullptr; more; more = platform::findNextFile(search, found)) {
    const uint32_t a = found.attributes;
    if (!(a & platform::kAttrDirectory) || (a & (platform::kAttrHidden | platform::kAttrSystem))) continue;
    if (found.name == "." || found.name == ".." || !writableInWindowsForm(found.name)) continue;
    names.push_back(found.name);
  }
  platform::findClose(search);
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return compareNames(toQString(a), toQString(b)) < 0; });
  return names;
}

}  // namespace

TDirectoryListBox::TDirectoryListBox(QWidget* parent) : QListWidget(parent) {
  setUpOwnerDrawnList(
      this, [this](QPainter* p, int i, const QRect& r, bool selected) { DrawItem(p, i, r, selected); },
      [this] { return FItemHeight; });
  ResetItemHeight();
  FDirectory = platform::getCurrentDirectory();
  BuildList();
}

void TDirectoryListBox::SetDirectory(const std::string& NewDirectory) {
  if (NewDirectory.empty()) return;
  if (FCaseSensitive ? NewDirectory == FDirectory : fw::sameText(NewDirectory, FDirectory)) return;
  const TResolvedPath resolved = ResolveEnteredPath(NewDirectory);
  if (upperChar(resolved.Drive) != upperChar(Drive())) {
    FlagScope inDriveChange(FInSetDir);
    if (FDriveCombo) FDriveCombo->SetDrive(resolved.Drive);
    // A drive box that already shows the drive passes nothing on.
    if (upperChar(resolved.Drive) != upperChar(Drive())) DriveChange(resolved.Drive);
  }
  if (platform::directoryExists(FDirectory)) fw::changeDirectory(FDirectory);
  fw::changeDirectory(resolved.DirPart);
  FDirectory = platform::getCurrentDirectory();
  BuildList();
  Change();
}

void TDirectoryListBox::SetDrive(char Value) {
  if (Value && upperChar(Value) != upperChar(Drive())) SetDirectory(std::string(1, Value) + ":");
}

void TDirectoryListBox::DriveChange(char NewDrive) {
  if (upperChar(NewDrive) == upperChar(Drive())) return;
  if (NewDrive) {
    fw::changeDirectory(std::string(1, NewDrive) + ":");
    FDirectory = platform::getCurrentDirectory();
  }
  if (!FInSetDir) {
    BuildList();
    Change();
  }
}

std::string TDirectoryListBox::GetItemPath(int Index) const { return directoryItemPath(FDirectory, FItems, Index); }

void TDirectoryListBox::OpenItem(int Index) {
  if (Index < 0 || Index >= int(FItems.size())) return;
  SetDirectory(GetItemPath(Index));
}

void TDirectoryListBox::SetItemHeight(int Value) {
  if (Value <= 0 || Value == FItemHeight) return;
  FItemHeight = Value;
  scheduleDelayedItemsLayout();
  ApplyIntegralHeight();
  update();
}

void TDirectoryListBox::SetIntegralHeight(bool Value) {
  FIntegralHeight = Value;
  ApplyIntegralHeight();
}

void TDirectoryListBox::SetDirLabel(QLabel* Value) { FDirLabel = Value; }

void TDirectoryListBox::SetFileList(TFileListBox* Value) { FFileList = Value; }

void TDirectoryListBox::ReadCaseFlags() {
  // A volume whose flags cannot be read (a network path) keeps the case of
  // its names and compares them without regard to case.
  std::string label;
  uint32_t flags = platform::kFsCasePreserved;
  if (!platform::getVolumeInformation(fw::drivePart(FDirectory) + "\\", label, flags))
    flags = platform::kFsCasePreserved;
  FPreserveCase = flags & (platform::kFsCaseSensitive | platform::kFsCasePreserved);
  FCaseSensitive = flags & platform::kFsCaseSensitive;
}

void TDirectoryListBox::BuildList() {
  setUpdatesEnabled(false);
  clear();
  ReadCaseFlags();
  FItems = buildDirectoryItems(FDirectory, listSubdirectories(FDirectory));
  for (const auto& item : FItems) addItem(toQString(item.Text));
  setCurrentRow(openDirectoryIndex(FItems));
  setUpdatesEnabled(true);
}

void TDirectoryListBox::Change() {
  if (FFileList) FFileList->ApplyFilePath(FDirectory);
  if (FDirLabel)
    FDirLabel->setText(toQString(ShortenPathToWidth(FDirectory, FDirLabel->fontMetrics(), FDirLabel->width())));
  OnChange(this);
}

void TDirectoryListBox::DrawItem(QPainter* Painter, int Index, const QRect& Rect, bool Selected) const {
  if (Index < 0 || Index >= int(FItems.size())) return;
  const TDirectoryItem& item = FItems[size_t(Index)];
  const QPalette& pal = palette();
  Painter->fillRect(Rect, pal.color(Selected ? QPalette::Highlight : QPalette::Base));
  const int indent = directoryItemIndent(FItems, Index);
  const QImage& glyph = glyphForDrawing(item.Glyph);
  if (!glyph.isNull())
    Painter->drawImage(Rect.left() + indent, Rect.top() + (Rect.height() - glyph.height()) / 2, glyph);
  QString text = toQString(item.Text);
  if (!FPreserveCase) text = text.toLower();
  const int left = Rect.left() + glyphWidth(item.Glyph) + indent + 4;
  Painter->setPen(pal.color(Selected ? QPalette::HighlightedText : QPalette::Text));
  Painter->drawText(QRect(left, Rect.top(), Rect.right() - left + 1, Rect.height()),
                    Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
}

void TDirectoryListBox::mouseDoubleClickEvent(QMouseEvent* event) {
  QListWidget::mouseDoubleClickEvent(event);
  const QModelIndex index = indexAt(event->position().toPoint());
  if (index.isValid()) OpenLater(index.row());
}

void TDirectoryListBox::OpenLater(int Index) {
  callRaisingLater([&] { OpenItem(Index); });
}

void TDirectoryListBox::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    // A window with a default button takes Enter for that button.
    for (const QPushButton* button : window()->findChildren<QPushButton*>())
      if (button->isDefault() && button->isVisible() && button->isEnabled()) {
        event->ignore();
        return;
      }
    OpenLater(currentRow());
    return;
  }
  // Space opens the highlighted item too: in a dialog whose OK takes Enter it
  // is the keyboard's double-click. While a name is being typed (the last
  // letter came within the keyboard's input interval) it is the name's blank.
  const bool typing = FTypeAhead.isValid() && FTypeAhead.elapsed() < QApplication::keyboardInputInterval();
  if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier && !typing) {
    OpenLater(currentRow());
    return;
  }
  if (!event->text().isEmpty() && event->text().at(0).isPrint()) FTypeAhead.start();
  QListWidget::keyPressEvent(event);
}

void TDirectoryListBox::changeEvent(QEvent* event) {
  QListWidget::changeEvent(event);
  if (event->type() == QEvent::FontChange) ResetItemHeight();
}

void TDirectoryListBox::resizeEvent(QResizeEvent* event) {
  QListWidget::resizeEvent(event);
  ApplyIntegralHeight();
}

void TDirectoryListBox::ResetItemHeight() {
  const int folderHeight = glyphForDrawing(TGlyph::OpenFolder).height();
  SetItemHeight(std::max(fontMetrics().height(), folderHeight + 1));
}

void TDirectoryListBox::ApplyIntegralHeight() {
  if (!FIntegralHeight || FItemHeight <= 0) return;
  const int frame = 2 * frameWidth();
  const int rows = std::max(1, (height() - frame) / FItemHeight);
  const int wanted = rows * FItemHeight + frame;
  if (wanted != height()) resize(width(), wanted);
}
