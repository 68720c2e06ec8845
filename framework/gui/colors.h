#pragma once
// Colours: a TColor is either a direct colour $00BBGGRR (red in the low byte)
// or a system colour $FF0000nn naming entry nn of the system colour table,
// which this host derives from the application palette.
#include <QColor>
#include <cstdint>

using TColor = uint32_t;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clNavy = 0x800000;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clAqua = 0xFFFF00;
inline constexpr TColor clWhite = 0xFFFFFF;

inline constexpr TColor kSystemColorFlag = 0xFF000000;
constexpr TColor systemColor(int index) { return kSystemColorFlag | TColor(index); }
inline constexpr TColor clScrollBar = systemColor(0);
inline constexpr TColor clWindow = systemColor(5);
inline constexpr TColor clWindowText = systemColor(8);
inline constexpr TColor clBtnFace = systemColor(15);
inline constexpr TColor clInfoBk = systemColor(24);
inline constexpr TColor clMenuBar = systemColor(30);

// The number of entries of the system colour table (indices 0 to 30).
inline constexpr int kSystemColorCount = 31;

// Entry index of the system colour table as $00BBGGRR, read from the current
// application palette; black for an index outside the table.
uint32_t systemColorRGB(int index);

// A TColor as $00BBGGRR: system colours (any index in the table) looked up,
// direct colours with their top byte cleared.
uint32_t colorToRGB(TColor color);

// $00BBGGRR as a QColor, and back.
QColor rgbToQColor(uint32_t rgb);
uint32_t qColorToRGB(const QColor& color);
