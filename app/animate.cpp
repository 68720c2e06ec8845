#include "app/animate.h"

#include <QBitmap>
#include <QPainter>
#include <algorithm>

TAnimate::TAnimate(QWidget* parent) : QWidget(parent) {}

TAnimate::~TAnimate() = default;

void TAnimate::setFileName(const QString& fileName) {
  setActive(false);
  FFileName = fileName;
  FMovie.reset();
  if (!fileName.isEmpty()) {
    FMovie = std::make_unique<QMovie>(fileName);
    if (!FMovie->isValid()) {
      FMovie.reset();
    } else {
      FMovie->setCacheMode(QMovie::CacheAll);
      connect(FMovie.get(), &QMovie::frameChanged, this, &TAnimate::FrameChanged);
      FMovie->jumpToFrame(0);
      resize(FrameSize());
    }
  }
  update();
}

void TAnimate::setCenter(bool value) {
  FCenter = value;
  update();
}

void TAnimate::setTransparent(bool value) {
  FTransparent = value;
  setAutoFillBackground(!value);
  update();
}

void TAnimate::setActive(bool value) {
  if (value == FActive) return;
  FActive = value;
  if (!FMovie) return;
  if (value) {
    FMovie->jumpToFrame(std::clamp(FStartFrame - 1, 0, std::max(0, FrameCount() - 1)));
    FMovie->start();
  } else {
    FMovie->setPaused(true);
  }
}

int TAnimate::FrameCount() const { return FMovie ? FMovie->frameCount() : 0; }

QSize TAnimate::FrameSize() const { return FMovie ? FMovie->frameRect().size() : QSize(); }

int TAnimate::CurrentFrame() const { return FMovie ? FMovie->currentFrameNumber() : 0; }

void TAnimate::FrameChanged(int frame) {
  // Loop over the play range: past StopFrame the clip goes back to StartFrame.
  if (FActive && FStopFrame > 0 && frame > FStopFrame - 1)
    FMovie->jumpToFrame(std::clamp(FStartFrame - 1, 0, std::max(0, FrameCount() - 1)));
  update();
}

void TAnimate::paintEvent(QPaintEvent*) {
  if (!FMovie) return;
  QPixmap frame = FMovie->currentPixmap();
  if (FTransparent && !frame.isNull()) {
    // The clip's background is the colour of its top-left pixel; it is left
    // out so that the parent's background shows through.
    const QImage image = frame.toImage();
    frame.setMask(QBitmap::fromImage(image.createMaskFromColor(image.pixel(0, 0), Qt::MaskInColor)));
  }
  QPoint at(0, 0);
  if (FCenter) at = QPoint((width() - frame.width()) / 2, (height() - frame.height()) / 2);
  QPainter(this).drawPixmap(at, frame);
}
