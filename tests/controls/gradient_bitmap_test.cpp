// The gradient image and the colour routines: band edges, band colours,
// named and system colours.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPalette>

#include "controls/smooth_graphics.h"
#include "tests/support/pixels.h"

namespace {


TEST(GradientBitmap, NarrowHorizontalShowsOneBandPerColumn) {
  // From black to red 255 band i has red i, so a column's red is its band.
  const QImage image = MakeGradientBitmap(rgb(0, 0, 0), rgb(255, 0, 0), QRect(0, 0, 100, 2), 255, gsHorizontal);
  struct Row {
    int column, band;
  };
  const Row rows[] = {{0, 2}, {1, 5}, {2, 7}, {50, 130}, {98, 253}, {99, 255}};
  for (const Row& row : rows) {
    EXPECT_EQ(pixel(image, row.column, 0), rgb(row.band, 0, 0)) << "column " << row.column;
    EXPECT_EQ(pixel(image, row.column, 1), rgb(row.band, 0, 0)) << "column " << row.column;
  }
}

TEST(GradientBitmap, ChannelsRoundTowardZero) {
  // Green runs from 128 to 0 over 255 steps: 128 + (i * -128) / 255.
  const QImage image = MakeGradientBitmap(rgb(0, 128, 255), rgb(0, 0, 0), QRect(0, 0, 1, 256), 255, gsVertical);
  struct Row {
    int band, green;
  };
  const Row rows[] = {{0, 128}, {1, 128}, {2, 127}, {3, 127}, {4, 126}, {254, 1}, {255, 0}};
  for (const Row& row : rows) EXPECT_EQ(pixel(image, 0, row.band), rgb(0, row.green, 255 - row.band)) << row.band;
}

TEST(GradientBitmap, DegenerateInputs) {
  struct Row {
    const char* name;
    uint32_t start, end;
    QRect rect;
    int steps;
    bool null;
    uint32_t everywhere;  // the one colour of every pixel, when not null
  };
  const Row rows[] = {
      {"equal colours", rgb(10, 20, 30), rgb(10, 20, 30), QRect(0, 0, 40, 300), 255, false, rgb(10, 20, 30)},
      {"zero width", rgb(0, 0, 255), 0, QRect(0, 0, 0, 100), 255, true, 0},
      {"zero height", rgb(0, 0, 255), 0, QRect(0, 0, 100, 0), 255, true, 0},
      {"offset rectangle keeps its size", rgb(1, 2, 3), rgb(1, 2, 3), QRect(50, 60, 7, 9), 255, false, rgb(1, 2, 3)},
      {"one step only: the start colour", rgb(200, 100, 50), rgb(0, 0, 0), QRect(0, 0, 30, 30), 0, false,
       rgb(200, 100, 50)},
  };
  for (const Row& row : rows) {
    const QImage image = MakeGradientBitmap(row.start, row.end, row.rect, row.steps, gsVertical);
    EXPECT_EQ(image.isNull(), row.null) << row.name;
    if (row.null) continue;
    EXPECT_EQ(image.size(), row.rect.size()) << row.name;
    bool uniform = true;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) uniform = uniform && pixel(image, x, y) == row.everywhere;
    EXPECT_TRUE(uniform) << row.name;
  }
}

TEST(GradientColours, CustomColoursAndValuesOutsideTheTable) {
  struct Row {
    int color;
    uint32_t rgbValue;
  };
  const Row rows[] = {{ccLeather, rgb(79, 69, 47)}, {ccLichen, rgb(41, 97, 79)}, {ccNone, 0}, {-1, 0}, {25, 0}};
  for (const Row& row : rows) EXPECT_EQ(CustomColorToRGB(row.color), row.rgbValue) << row.color;
}

TEST(GradientColours, SystemColoursUpToIndex24AreLookedUp) {
  const QPalette saved = QApplication::palette();
  QPalette palette = saved;
  palette.setColor(QPalette::Base, QColor(1, 2, 3));
  palette.setColor(QPalette::ToolTipBase, QColor(4, 5, 6));
  palette.setColor(QPalette::Button, QColor(7, 8, 9));
  QApplication::setPalette(palette);

  struct Row {
    const char* name;
    TColor color;
    uint32_t rgbValue;
  };
  const Row rows[] = {
      {"window", 0xFF000005, rgb(1, 2, 3)},
      {"button face", 0xFF00000F, rgb(7, 8, 9)},
      {"tooltip background, the last looked up", 0xFF000018, rgb(4, 5, 6)},
      {"index 25 passes unchanged", 0xFF000019, 0xFF000019},
      {"menu bar passes unchanged", 0xFF00001E, 0xFF00001E},
      {"direct colour", rgb(30, 40, 50), rgb(30, 40, 50)},
  };
  for (const Row& row : rows) EXPECT_EQ(SystemColorToRGB(row.color), row.rgbValue) << row.name;

  // A system colour above 24 then reads as its low bytes: red 30.
  const QImage image = MakeGradientBitmap(SystemColorToRGB(0xFF00001E), SystemColorToRGB(0xFF00001E), QRect(0, 0, 1, 1),
                                          255, gsVertical);
  EXPECT_EQ(pixel(image, 0, 0), rgb(30, 0, 0));
  QApplication::setPalette(saved);
}

}  // namespace
