#include "framework/gui/frame_centring.h"

#include <QEvent>
#include <QWidget>

void TFrameCentring::centre(QWidget& window, const QRect& area) {
  FArea = area;
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
  window.move(FArea.x() + (FArea.width() - outer.width()) / 2, FArea.y() + (FArea.height() - outer.height()) / 2);
}
