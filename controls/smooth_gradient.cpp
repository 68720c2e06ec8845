#include "controls/smooth_gradient.h"

#include <QFontMetrics>
#include <QPainter>

namespace {
constexpr int kSteps = 255;        // 256 bands
constexpr int kCaptionMargin = 4;  // caption distance from the left and right edges
}  // namespace

TSmoothGradient::TSmoothGradient(QWidget* owner) : QWidget(owner), FAlignKeeper(new AlignKeeper(this)) {
  setAttribute(Qt::WA_OpaquePaintEvent);  // every pixel is painted: no background clearing
  resize(100, 100);
}

void TSmoothGradient::setCaption(const QString& value) {
  FCaption = value;
  update();
}

void TSmoothGradient::setStartColor(TColor value) {
  FStartColor = value;
  update();
}

void TSmoothGradient::setEndColor(TColor value) {
  FEndColor = value;
  update();
}

void TSmoothGradient::setStartCustomColor(TCustomColor value) {
  FStartCustomColor = value;
  update();
}

void TSmoothGradient::setEndCustomColor(TCustomColor value) {
  FEndCustomColor = value;
  update();
}

void TSmoothGradient::setGradientStyle(TGradientStyle value) {
  FGradientStyle = value;
  update();
}

void TSmoothGradient::setLayout(TLayout value) {
  FLayout = value;
  update();
}

void TSmoothGradient::setAlign(TAlign value) { FAlignKeeper->setAlign(value); }

uint32_t TSmoothGradient::startRGB() const {
  return FStartCustomColor != ccNone ? CustomColorToRGB(FStartCustomColor) : SystemColorToRGB(FStartColor);
}

uint32_t TSmoothGradient::endRGB() const {
  return FEndCustomColor != ccNone ? CustomColorToRGB(FEndCustomColor) : SystemColorToRGB(FEndColor);
}

QPoint TSmoothGradient::CaptionOrigin(int width, int height, int textWidth, int textHeight, TLayout layout) {
  const int y = (height - textHeight) / 2;
  switch (layout) {
    case glCenter: return {(width - textWidth) / 2, y};
    case glRight: return {width - kCaptionMargin - textWidth, y};
    case glLeft: break;
  }
  return {kCaptionMargin, y};
}

void TSmoothGradient::paintEvent(QPaintEvent*) {
  QPainter canvas(this);
  Paint(canvas);
}

void TSmoothGradient::Paint(QPainter& canvas) {
  // A new image every paint: system colours may have changed since the last.
  const QImage image = MakeGradientBitmap(startRGB(), endRGB(), rect(), kSteps, FGradientStyle);
  if (!image.isNull()) canvas.drawImage(0, 0, image);
  if (FCaption.isEmpty()) return;

  QFont font = this->font();
  font.setStyleStrategy(QFont::PreferAntialias);
  canvas.setFont(font);
  canvas.setBackgroundMode(Qt::TransparentMode);
  // The font colour whether or not the control is enabled: a disabled
  // control paints exactly like an enabled one.
  canvas.setPen(palette().color(QPalette::Active, QPalette::WindowText));
  const QFontMetrics metrics(font);
  const QPoint origin =
      CaptionOrigin(width(), height(), metrics.horizontalAdvance(FCaption), metrics.height(), FLayout);
  canvas.drawText(origin.x(), origin.y() + metrics.ascent(), FCaption);
}
