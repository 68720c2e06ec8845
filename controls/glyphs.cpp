#include "controls/glyphs.h"

#include <array>

// Resources of a static library must be registered explicitly.
static void initGlyphResources() { Q_INIT_RESOURCE(file_ctrl_glyphs); }

namespace {

constexpr std::array<const char*, 11> kNames = {
    "",           "FLOPPY",        "HARD",         "NETWORK",    "CDROM",       "RAM",
    "OPENFOLDER", "CURRENTFOLDER", "CLOSEDFOLDER", "EXECUTABLE", "UNKNOWNFILE",
};

QImage transparentImage(const QImage& stored) {
  if (stored.isNull()) return {};
  QImage image = stored.convertToFormat(QImage::Format_ARGB32);
  const QRgb transparent = image.pixel(0, image.height() - 1);
  for (int y = 0; y < image.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x)
      if (line[x] == transparent) line[x] = qRgba(0, 0, 0, 0);
  }
  return image;
}

}  // namespace

const char* glyphName(TGlyph glyph) { return kNames[size_t(glyph)]; }

QImage glyphImage(TGlyph glyph) {
  if (glyph == TGlyph::None) return {};
  static bool registered = (initGlyphResources(), true);
  (void)registered;
  return QImage(QStringLiteral(":/filectrl/") + QLatin1String(glyphName(glyph)), "BMP");
}

const QImage& glyphForDrawing(TGlyph glyph) {
  static std::array<QImage, kNames.size()> cache;
  static std::array<bool, kNames.size()> made{};
  size_t i = size_t(glyph);
  if (!made[i]) {
    cache[i] = transparentImage(glyphImage(glyph));
    made[i] = true;
  }
  return cache[i];
}

int glyphWidth(TGlyph glyph) {
  const QImage& p = glyphForDrawing(glyph);
  return p.isNull() ? 16 : p.width();
}
