#include "framework/gui/colors.h"

#include <QApplication>
#include <QPalette>

namespace {

struct PaletteEntry {
  QPalette::ColorGroup group;
  QPalette::ColorRole role;
  bool none;  // an unused entry: black
};

// The one mapping from system colour entries to palette colours.
constexpr PaletteEntry kSystemColors[kSystemColorCount] = {
    {QPalette::Active, QPalette::Button, false},             // 0 scroll bar
    {QPalette::Active, QPalette::Dark, false},               // 1 desktop background
    {QPalette::Active, QPalette::Highlight, false},          // 2 active caption
    {QPalette::Inactive, QPalette::Highlight, false},        // 3 inactive caption
    {QPalette::Active, QPalette::Window, false},             // 4 menu
    {QPalette::Active, QPalette::Base, false},               // 5 window
    {QPalette::Active, QPalette::Shadow, false},             // 6 window frame
    {QPalette::Active, QPalette::WindowText, false},         // 7 menu text
    {QPalette::Active, QPalette::WindowText, false},         // 8 window text
    {QPalette::Active, QPalette::HighlightedText, false},    // 9 caption text
    {QPalette::Active, QPalette::Window, false},             // 10 active border
    {QPalette::Active, QPalette::Window, false},             // 11 inactive border
    {QPalette::Active, QPalette::Dark, false},               // 12 application workspace
    {QPalette::Active, QPalette::Highlight, false},          // 13 highlight
    {QPalette::Active, QPalette::HighlightedText, false},    // 14 highlight text
    {QPalette::Active, QPalette::Button, false},             // 15 button face
    {QPalette::Active, QPalette::Dark, false},               // 16 button shadow
    {QPalette::Disabled, QPalette::Text, false},             // 17 grey text
    {QPalette::Active, QPalette::ButtonText, false},         // 18 button text
    {QPalette::Inactive, QPalette::HighlightedText, false},  // 19 inactive caption text
    {QPalette::Active, QPalette::Light, false},              // 20 button highlight
    {QPalette::Active, QPalette::Shadow, false},             // 21 3D dark shadow
    {QPalette::Active, QPalette::Midlight, false},           // 22 3D light
    {QPalette::Active, QPalette::ToolTipText, false},        // 23 tooltip text
    {QPalette::Active, QPalette::ToolTipBase, false},        // 24 tooltip background
    {QPalette::Active, QPalette::NoRole, true},              // 25 unused
    {QPalette::Active, QPalette::Link, false},               // 26 hot-tracked item
    {QPalette::Active, QPalette::Highlight, false},          // 27 active caption gradient
    {QPalette::Inactive, QPalette::Highlight, false},        // 28 inactive caption gradient
    {QPalette::Active, QPalette::Highlight, false},          // 29 menu highlight
    {QPalette::Active, QPalette::Window, false},             // 30 menu bar
};

}  // namespace

uint32_t systemColorRGB(int index) {
  if (index < 0 || index >= kSystemColorCount || kSystemColors[index].none) return 0;
  const PaletteEntry& e = kSystemColors[index];
  return qColorToRGB(QApplication::palette().color(e.group, e.role));
}

uint32_t colorToRGB(TColor color) {
  if ((color & 0xFF000000u) == kSystemColorFlag && (color & 0x00FFFF00u) == 0) return systemColorRGB(int(color & 0xFF));
  return color & 0x00FFFFFFu;
}

QColor rgbToQColor(uint32_t rgb) { return QColor(int(rgb & 0xFF), int((rgb >> 8) & 0xFF), int((rgb >> 16) & 0xFF)); }

uint32_t qColorToRGB(const QColor& color) {
  return uint32_t(color.red()) | (uint32_t(color.green()) << 8) | (uint32_t(color.blue()) << 16);
}
