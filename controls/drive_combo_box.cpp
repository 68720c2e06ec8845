#include "controls/drive_combo_box.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QPainter>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <algorithm>
#include <cctype>

#include "controls/directory_list_box.h"
#include "controls/file_ctrl_text.h"
#include "controls/owner_draw_delegate.h"
#include "platform/current_dir.h"
#include "platform/drives.h"
#include "platform/volumes.h"

namespace {

constexpr int kGlyphRole = Qt::UserRole + 1;

char upperChar(char c) { return char(std::toupper((unsigned char)c)); }
char lowerChar(char c) { return char(std::tolower((unsigned char)c)); }

// Suppresses the platform's critical-error boxes for a scope.
class ErrorModeScope {
 public:
  ErrorModeScope() : previous_(platform::setErrorMode(platform::kSemFailCriticalErrors)) {}
  ~ErrorModeScope() { platform::setErrorMode(previous_); }
  ErrorModeScope(const ErrorModeScope&) = delete;
  ErrorModeScope& operator=(const ErrorModeScope&) = delete;

 private:
  uint32_t previous_;
};

// "[label]", empty brackets when the label cannot be read.
QString bracketedLabel(const std::string& root) {
  std::string label;
  uint32_t flags = 0;
  ErrorModeScope noBoxes;
  if (!platform::getVolumeInformation(root, label, flags)) label.clear();
  return QStringLiteral("[") + toQString(label) + QStringLiteral("]");
}

}  // namespace

TDriveComboBox::TDriveComboBox(QWidget* parent) : QComboBox(parent) {
  setEditable(false);
  setItemDelegate(new TOwnerDrawDelegate(
      this, [this](QPainter* p, int i, const QRect& r, bool selected) { DrawItem(p, i, r, selected); },
      [this] { return FItemHeight; }));
  ResetItemHeight();
  const std::string current = platform::getCurrentDirectory();
  if (current.size() >= 2 && current[1] == ':')
    FDrive = FTextCase == tcUpperCase ? upperChar(current[0]) : lowerChar(current[0]);
  BuildList();
  // A pick is applied once the drop-down list has closed, so that a drive
  // that cannot be entered reports its error outside the list's own code.
  connect(this, &QComboBox::activated, this, [this](int index) {
    QMetaObject::invokeMethod(
        this,
        [this, index] {
          if (index >= 0 && index < count()) SetDrive(fromQString(itemText(index)).front());
        },
        Qt::QueuedConnection);
  });
}

void TDriveComboBox::BuildList() {
  clear();
  const uint32_t mask = platform::getLogicalDrives();
  for (int bit = 0; bit < 26; ++bit) {
    if (!(mask & (1u << bit))) continue;
    const char letter = char('a' + bit);
    const std::string root = std::string(1, letter) + ":\\";
    const bool upperCase = FTextCase == tcUpperCase;
    const QString shown = QString(QChar(upperCase ? upperChar(letter) : letter)) + QStringLiteral(":");
    QString second;
    TGlyph glyph = TGlyph::None;
    switch (platform::getDriveType(root)) {
      case platform::kDriveRemovable:
        glyph = TGlyph::Floppy;  // no label: reading it would spin up the drive
        break;
      case platform::kDriveFixed:
        glyph = TGlyph::Hard;
        second = bracketedLabel(root);
        break;
      case platform::kDriveRemote: {
        glyph = TGlyph::Network;
        std::string remote;
        second = platform::getRemoteName(std::string(1, upperChar(letter)) + ":", remote) ? toQString(remote)
                                                                                          : bracketedLabel(root);
        break;
      }
      case platform::kDriveCdRom:
        glyph = TGlyph::CdRom;
        second = bracketedLabel(root);
        break;
      case platform::kDriveRamDisk:
        glyph = TGlyph::Ram;
        second = bracketedLabel(root);
        break;
      default: continue;
    }
    QString text = shown;
    if (glyph != TGlyph::Floppy) text += QStringLiteral(" ") + (upperCase ? second.toUpper() : second.toLower());
    addItem(text);
    setItemData(count() - 1, int(glyph), kGlyphRole);
  }
  SelectStoredDrive();
  update();
}

void TDriveComboBox::SelectStoredDrive() {
  if (!FDrive) {
    setCurrentIndex(-1);
    return;
  }
  for (int i = 0; i < count(); ++i) {
    const QString text = itemText(i);
    if (text.size() >= 2 && text[1] == QLatin1Char(':') && text[0].toUpper() == QChar(upperChar(FDrive))) {
      setCurrentIndex(i);
      return;
    }
  }
}

void TDriveComboBox::SetDrive(char NewDrive) {
  if (currentIndex() >= 0 && upperChar(NewDrive) == upperChar(FDrive)) return;
  if (!NewDrive) {
    FDrive = 0;
    setCurrentIndex(-1);
  } else {
    FDrive = FTextCase == tcUpperCase ? upperChar(NewDrive) : lowerChar(NewDrive);
    SelectStoredDrive();
  }
  update();
  if (FDirList) FDirList->DriveChange(FDrive);
  OnChange(this);
}

void TDriveComboBox::SetTextCase(TTextCase Value) {
  if (Value == FTextCase) return;
  FTextCase = Value;
  if (FDrive) FDrive = FTextCase == tcUpperCase ? upperChar(FDrive) : lowerChar(FDrive);
  BuildList();
}

TGlyph TDriveComboBox::ItemGlyph(int Index) const {
  const QVariant v = itemData(Index, kGlyphRole);
  return v.isValid() ? TGlyph(v.toInt()) : TGlyph::None;
}

void TDriveComboBox::SetItemHeight(int Value) {
  if (Value <= 0 || Value == FItemHeight) return;
  FItemHeight = Value;
  view()->doItemsLayout();
  update();
}

void TDriveComboBox::SetDirList(TDirectoryListBox* Value) {
  if (FDirList) FDirList->FDriveCombo = nullptr;
  FDirList = Value;
  if (FDirList) FDirList->FDriveCombo = this;
}

void TDriveComboBox::DrawItem(QPainter* Painter, int Index, const QRect& Rect, bool Selected) const {
  const QPalette& pal = palette();
  Painter->fillRect(Rect, pal.color(Selected ? QPalette::Highlight : QPalette::Base));
  if (Index < 0 || Index >= count()) return;
  const TGlyph glyph = ItemGlyph(Index);
  const QImage& image = glyphForDrawing(glyph);
  if (!image.isNull()) Painter->drawImage(Rect.left() + 2, Rect.top() + (Rect.height() - image.height()) / 2, image);
  const int left = Rect.left() + glyphWidth(glyph) + 6;
  Painter->setPen(pal.color(Selected ? QPalette::HighlightedText : QPalette::Text));
  Painter->drawText(QRect(left, Rect.top(), Rect.right() - left + 1, Rect.height()),
                    Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, itemText(Index));
}

void TDriveComboBox::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  QStyleOptionComboBox option;
  initStyleOption(&option);
  option.currentText.clear();
  option.currentIcon = QIcon();
  painter.drawComplexControl(QStyle::CC_ComboBox, option);
  const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
  painter.save();
  painter.setClipRect(field);
  DrawItem(&painter, currentIndex(), field, hasFocus());
  painter.restore();
}

void TDriveComboBox::changeEvent(QEvent* event) {
  QComboBox::changeEvent(event);
  if (event->type() == QEvent::FontChange) ResetItemHeight();
}

void TDriveComboBox::ResetItemHeight() {
  SetItemHeight(std::max(fontMetrics().height(), glyphForDrawing(TGlyph::Floppy).height()));
}
