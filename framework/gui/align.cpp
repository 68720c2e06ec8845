#include "framework/gui/align.h"

#include <QEvent>

QRect alignedGeometry(TAlign align, const QRect& current, const QSize& parentSize) {
  switch (align) {
    case alTop: return QRect(0, 0, parentSize.width(), current.height());
    case alBottom: return QRect(0, parentSize.height() - current.height(), parentSize.width(), current.height());
    case alLeft: return QRect(0, 0, current.width(), parentSize.height());
    case alRight: return QRect(parentSize.width() - current.width(), 0, current.width(), parentSize.height());
    case alClient: return QRect(QPoint(0, 0), parentSize);
    case alNone: break;
  }
  return current;
}

AlignKeeper::AlignKeeper(QWidget* control) : QObject(control), FControl(control) {}

void AlignKeeper::setAlign(TAlign align) {
  FAlign = align;
  QWidget* parent = FControl->parentWidget();
  if (parent != FParent) {
    if (FParent) FParent->removeEventFilter(this);
    FParent = parent;
    if (FParent) FParent->installEventFilter(this);
  }
  place();
}

bool AlignKeeper::eventFilter(QObject* watched, QEvent* event) {
  if (watched == FParent && event->type() == QEvent::Resize) place();
  return false;
}

void AlignKeeper::place() {
  if (FAlign != alNone && FParent)
    FControl->setGeometry(alignedGeometry(FAlign, FControl->geometry(), FParent->size()));
}
