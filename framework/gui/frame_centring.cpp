#include "framework/gui/frame_centring.h"

#include <QEvent>
#include <QWidget>

void TFrameCentring::centre(QWidget& window, const QRect& area, Rounding rounding) {
  FArea = area;
  FRounding = rounding;
  FPending = true;
  centreBox(window, window.size());
}

void TFrameCentring::seen(QWidget& window, const QEvent& event) {
  if (!FPending || (event.type() != QEvent::Move && event.type() != QEvent::Resize) || !window.isVisible()) return;
  const QSize frame = window.frameGeometry().size();
  if (frame == window.size()) return;
  FPending = false;
  centreBox(window, frame);
}

void TFrameCentring::centreBox(QWidget& window, QSize outer) const {
  if (FRounding == Rounding::HalveEach)
    window.move(FArea.x() + FArea.width() / 2 - outer.width() / 2, FArea.y() + FArea.height() / 2 - outer.height() / 2);
  else
    window.move(FArea.x() + (FArea.width() - outer.width()) / 2, FArea.y() + (FArea.height() - outer.height()) / 2);
}
