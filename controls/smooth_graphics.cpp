#include "controls/smooth_graphics.h"

#include <QPainter>

namespace {

constexpr uint32_t rgb(uint32_t r, uint32_t g, uint32_t b) { return r | (g << 8) | (b << 16); }

constexpr uint32_t kCustomColors[ccNone] = {
    rgb(79, 69, 47),   rgb(135, 119, 65), rgb(200, 144, 0),   rgb(30, 96, 60), rgb(48, 152, 96),  rgb(91, 204, 142),
    rgb(47, 69, 79),   rgb(66, 96, 111),  rgb(94, 128, 157),  rgb(30, 44, 96), rgb(48, 80, 152),  rgb(91, 126, 204),
    rgb(69, 47, 79),   rgb(103, 66, 111), rgb(137, 94, 157),  rgb(96, 30, 60), rgb(152, 48, 96),  rgb(204, 91, 142),
    rgb(25, 136, 141), rgb(21, 82, 85),   rgb(176, 169, 151), rgb(64, 60, 49), rgb(52, 122, 100), rgb(41, 97, 79),
};

int channel(uint32_t rgbValue, int shift) { return int((rgbValue >> shift) & 0xFF); }

}  // namespace

uint32_t SystemColorToRGB(TColor color) {
  if (color >= kSystemColorFlag && color <= kSystemColorFlag + 24) return systemColorRGB(int(color & 0xFF));
  return color;
}

uint32_t CustomColorToRGB(int color) {
  if (color < 0 || color >= ccNone) return 0;
  return kCustomColors[color];
}

QImage MakeGradientBitmap(uint32_t startRGB, uint32_t endRGB, const QRect& rect, int steps, TGradientStyle style) {
  const int width = rect.width();
  const int height = rect.height();
  if (width <= 0 || height <= 0) return QImage();
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(Qt::black);
  if (steps < 0) return image;

  const int64_t start[3] = {channel(startRGB, 0), channel(startRGB, 8), channel(startRGB, 16)};
  const int64_t delta[3] = {channel(endRGB, 0) - start[0], channel(endRGB, 8) - start[1],
                            channel(endRGB, 16) - start[2]};
  const int64_t extent = style == gsHorizontal ? width : height;
  const int64_t bands = int64_t(steps) + 1;

  QPainter painter(&image);
  for (int64_t i = 0; i <= steps; ++i) {
    int64_t c[3];
    // One step gives no colour distance to divide: the single band keeps the start colour.
    for (int k = 0; k < 3; ++k) c[k] = steps == 0 ? start[k] : start[k] + (i * delta[k]) / steps;
    const int from = int((extent * i) / bands);
    const int to = int((extent * (i + 1)) / bands);
    if (to <= from) continue;
    const QColor colour{int(c[0]), int(c[1]), int(c[2])};
    if (style == gsHorizontal)
      painter.fillRect(QRect(from, 0, to - from, height), colour);
    else
      painter.fillRect(QRect(0, from, width, to - from), colour);
  }
  return image;
}
