#pragma once
// Colour routines of the gradient control: system and named colours as RGB
// values ($00BBGGRR, red in the low byte), and the banded gradient image.
#include <QImage>
#include <QRect>
#include <cstdint>

#include "framework/gui/colors.h"

enum TGradientStyle { gsHorizontal, gsVertical };

enum TCustomColor {
  ccLeather,
  ccOldGold,
  ccBuffedGold,
  ccBottleGreen,
  ccEmerald,
  ccGlass,
  ccNight,
  ccGirder,
  ccBrushedSteel,
  ccTwilight,
  ccSapphire,
  ccSky,
  ccRoyalPurple,
  ccShadows,
  ccPastels,
  ccRoyal,
  ccRuby,
  ccRose,
  ccAquaMarine,
  ccTeal,
  ccManuscript,
  ccChocolate,
  ccMoss,
  ccLichen,
  ccNone,
};

// For a system colour $FF000000 + n with n from 0 to 24, the current system
// colour n; every other value unchanged (so its low three bytes read as red,
// green and blue, and a system colour above index 24 is not looked up).
uint32_t SystemColorToRGB(TColor color);

// The RGB value of a named colour; black for a value outside ccLeather..ccLichen.
uint32_t CustomColorToRGB(int color);

// An image of rect's width x height, filled with steps + 1 bands from
// startRGB to endRGB: band i has channel c = start + (i * (end - start)) /
// steps and spans (extent * i) / (steps + 1) up to (extent * (i + 1)) /
// (steps + 1), exclusive, across the width (gsHorizontal) or the height
// (gsVertical); quotients are rounded toward zero. With steps below 0 no band
// is drawn; with steps 0 the single band has the start colour. A rectangle
// without area gives a null image.
QImage MakeGradientBitmap(uint32_t startRGB, uint32_t endRGB, const QRect& rect, int steps, TGradientStyle style);
