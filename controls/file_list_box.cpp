#include "controls/file_list_box.h"

#include <QApplication>
#include <QLineEdit>
#include <QPainter>
#include <algorithm>

#include "controls/file_ctrl_text.h"
#include "controls/flag_scope.h"
#include "controls/owner_draw_delegate.h"
#include "controls/resolve_entered_path.h"
#include "framework/core/path_utils.h"
#include "platform/current_dir.h"
#include "platform/drives.h"
#include "platform/files.h"
#include "platform/find.h"
#include "platform/paths.h"
#include "platform/volumes.h"

namespace {

constexpr int kNameRole = Qt::UserRole + 1;
constexpr int kGlyphRole = Qt::UserRole + 2;
// Reading shows the hourglass once the list holds this many entries.
constexpr int kBusyCursorCount = 100;

bool hasWildcard(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

bool isProgram(const std::string& name) {
  const std::string lower = fw::lowerCase(name);
  auto dot = lower.find_last_of(".\\:");
  if (dot == std::string::npos || lower[dot] != '.') return false;
  const std::string ext = lower.substr(dot);
  return ext == ".exe" || ext == ".com" || ext == ".bat" || ext == ".pif";
}

// Shows the hourglass from a point on and takes it away at the end of the
// scope, also on failure.
class BusyCursor {
 public:
  BusyCursor() = default;
  ~BusyCursor() {
    if (shown_) QApplication::restoreOverrideCursor();
  }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
  void show() {
    if (shown_) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    shown_ = true;
  }

 private:
  bool shown_ = false;
};

// Whether two directory paths name the same directory by the letter-case rule
// of their volume. On a case-sensitive volume they must lead to the same host
// directory (a name in other letters still finds the one directory that
// exists, but "UPPER" and "upper" may both exist); a volume that ignores case,
// or whose flags cannot be read, compares the texts without regard to case.
bool sameDirectory(const std::string& a, const std::string& b) {
  std::string label;
  uint32_t flags = 0;
  if (platform::getVolumeInformation(fw::drivePart(a) + "\\", label, flags) && (flags & platform::kFsCaseSensitive)) {
    auto hostA = platform::hostPathOf(a);
    auto hostB = hostA ? platform::hostPathOf(b) : std::nullopt;
    return hostB && *hostA == *hostB;
  }
  return fw::sameText(a, b);
}

}  // namespace

TFileListBox::TFileListBox(QWidget* parent) : QListWidget(parent) {
  setUpOwnerDrawnList(
      this, [this](QPainter* p, int i, const QRect& r, bool selected) { DrawItem(p, i, r, selected); },
      [this] { return FItemHeight; });
  ResetItemHeight();
  connect(this, &QListWidget::currentRowChanged, this, [this](int) {
    if (!FReading) Change();
  });
  FDirectory = platform::getCurrentDirectory();
  ReadFileNames();
}

void TFileListBox::SetDirectory(const std::string& Value) {
  if (sameDirectory(Value, FDirectory)) return;
  if (platform::directoryExists(FDirectory)) fw::changeDirectory(FDirectory);
  fw::changeDirectory(Value);
  FDirectory = platform::getCurrentDirectory();
  ReadFileNames();
}

void TFileListBox::SetMask(const std::string& Value) {
  if (Value == FMask) return;
  FMask = Value;
  ReadFileNames();
}

void TFileListBox::SetFileType(TFileType Value) {
  if (Value == FFileType) return;
  FFileType = Value;
  ReadFileNames();
}

void TFileListBox::SetShowGlyphs(bool Value) {
  if (Value == FShowGlyphs) return;
  FShowGlyphs = Value;
  ResetItemHeight();
  update();
}

void TFileListBox::ApplyFilePath(const std::string& EditText) {
  const TResolvedPath resolved = ResolveEnteredPath(EditText);
  SetDirectory(resolved.Drive ? std::string(1, resolved.Drive) + ":" + resolved.DirPart : resolved.DirPart);
  if (hasWildcard(resolved.FilePart)) {
    SetMask(resolved.FilePart);
  } else if (!resolved.FilePart.empty()) {
    for (int i = 0; i < count(); ++i)
      if (fw::sameText(ItemName(i), resolved.FilePart)) {
        setCurrentRow(i);
        break;
      }
  }
}

void TFileListBox::ReadFileNames() {
  static constexpr struct {
    TFileAttr kind;
    uint32_t attribute;
  } kFilterBits[] = {
      {ftReadOnly, platform::kAttrReadOnly},   {ftHidden, platform::kAttrHidden},
      {ftSystem, platform::kAttrSystem},       {ftVolumeID, platform::kAttrVolumeId},
      {ftDirectory, platform::kAttrDirectory}, {ftArchive, platform::kAttrArchive},
  };
  uint32_t filter = 0;
  for (const auto& bit : kFilterBits)
    if (hasFileAttr(FFileType, bit.kind)) filter |= bit.attribute;
  const uint32_t excluding =
      platform::kAttrHidden | platform::kAttrSystem | platform::kAttrVolumeId | platform::kAttrDirectory;

  fw::changeDirectory(FDirectory);
  {
    FlagScope reading(FReading);
    setUpdatesEnabled(false);
    clear();
    BusyCursor busy;
    for (const std::string& mask : fw::splitNonEmpty(FMask, ';')) {
      platform::FindData found;
      platform::FindHandle search = platform::findFirstFile(mask, found);
      for (bool more = search != nullptr; more; more = platform::findNextFile(search, found)) {
        const uint32_t a = found.attributes;
        if (a & excluding & ~filter) continue;
        if (!hasFileAttr(FFileType, ftNormal) && !(a & filter)) continue;
        const bool directory = a & platform::kAttrDirectory;
        TGlyph glyph = directory ? (FShowGlyphs ? TGlyph::ClosedFolder : TGlyph::None)
                                 : (isProgram(found.name) ? TGlyph::Executable : TGlyph::UnknownFile);
        QString text = toQString(found.name);
        if (directory) text = QStringLiteral("[") + text + QStringLiteral("]");
        auto* item = new QListWidgetItem(text);
        item->setData(kNameRole, QByteArray::fromStdString(found.name));
        item->setData(kGlyphRole, int(glyph));
        insertItem(InsertPosition(text), item);
        if (count() > kBusyCursorCount) busy.show();
      }
      platform::findClose(search);
    }
    setUpdatesEnabled(true);
  }
  Change();
}

int TFileListBox::InsertPosition(const QString& text) const {
  int low = 0, high = count();
  while (low < high) {
    int mid = (low + high) / 2;
    if (compareNames(item(mid)->text(), text) <= 0)
      low = mid + 1;
    else
      high = mid;
  }
  return low;
}

std::string TFileListBox::ItemName(int Index) const {
  const QListWidgetItem* it = item(Index);
  return it ? it->data(kNameRole).toByteArray().toStdString() : std::string();
}

TGlyph TFileListBox::ItemGlyph(int Index) const {
  const QListWidgetItem* it = item(Index);
  return it ? TGlyph(it->data(kGlyphRole).toInt()) : TGlyph::None;
}

void TFileListBox::SetItemHeight(int Value) {
  if (Value <= 0 || Value == FItemHeight) return;
  FItemHeight = Value;
  scheduleDelayedItemsLayout();
  update();
}

void TFileListBox::Change() {
  FLastSel = currentRow();
  if (FFileEdit) FFileEdit->setText(FLastSel >= 0 ? toQString(ItemName(FLastSel)) : toQString(FMask));
  OnChange(this);
}

void TFileListBox::DrawItem(QPainter* Painter, int Index, const QRect& Rect, bool Selected) const {
  const QPalette& pal = palette();
  Painter->fillRect(Rect, pal.color(Selected ? QPalette::Highlight : QPalette::Base));
  const QListWidgetItem* it = item(Index);
  if (!it) return;
  int left = Rect.left() + 2;
  const TGlyph glyph = ItemGlyph(Index);
  if (FShowGlyphs && glyph != TGlyph::None) {
    const QImage& image = glyphForDrawing(glyph);
    Painter->drawImage(Rect.left() + 2, Rect.top() + (Rect.height() - image.height()) / 2, image);
    left = Rect.left() + image.width() + 6;
  }
  Painter->setPen(pal.color(Selected ? QPalette::HighlightedText : QPalette::Text));
  Painter->drawText(QRect(left, Rect.top(), Rect.right() - left + 1, Rect.height()),
                    Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, it->text());
}

void TFileListBox::changeEvent(QEvent* event) {
  QListWidget::changeEvent(event);
  if (event->type() == QEvent::FontChange) ResetItemHeight();
}

void TFileListBox::ResetItemHeight() {
  int height = fontMetrics().height();
  if (FShowGlyphs) height = std::max(height, glyphForDrawing(TGlyph::ClosedFolder).height() + 1);
  SetItemHeight(height);
}
