#pragma once
// Colours as 0x00BBGGRR values, and reading them from images, for pixel checks.
#include <QImage>

#include <cstdint>

constexpr uint32_t rgb(int r, int g, int b) { return uint32_t(r) | uint32_t(g) << 8 | uint32_t(b) << 16; }

inline uint32_t pixel(const QImage& image, int x, int y) {
  const QRgb p = image.pixel(x, y);
  return rgb(qRed(p), qGreen(p), qBlue(p));
}
