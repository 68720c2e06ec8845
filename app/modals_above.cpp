#include "app/modals_above.h"

#include <QApplication>
#include <QEvent>
#include <QWindow>

bool showAboveOnWayland(TForm* window, QWidget* below) {
  if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) return false;
  QPointer<TForm> shown(window);
  QPointer<QWidget> parent(below);
  QMetaObject::invokeMethod(
      below,
      [shown, parent] {
        if (!shown || !parent) return;
        shown->winId();  // makes the native window, to name its parent
        if (QWindow* handle = shown->windowHandle()) handle->setTransientParent(parent->windowHandle());
        shown->Show();
      },
      Qt::QueuedConnection);
  return true;
}

ModalsAbove::ModalsAbove(QWidget* window) : QObject(window), FWindow(window) { qApp->installEventFilter(this); }

ModalsAbove::~ModalsAbove() {
  if (qApp) qApp->removeEventFilter(this);
}

bool ModalsAbove::eventFilter(QObject* watched, QEvent* event) {
  // The show event comes before the native window is mapped, so the flags and
  // the transient parent are in place when the window manager first sees it.
  if (event->type() != QEvent::Show || !FWindow || !FWindow->isVisible()) return false;
  auto* widget = qobject_cast<QWidget*>(watched);
  if (!widget || widget == FWindow || !widget->isWindow() || !widget->isModal()) return false;
  if (!(FWindow->windowFlags() & Qt::WindowStaysOnTopHint)) return false;
  QWindow* box = widget->windowHandle();
  QWindow* above = FWindow->windowHandle();
  if (!box || !above) return false;
  if (!box->transientParent()) box->setTransientParent(above);
  box->setFlags(box->flags() | Qt::WindowStaysOnTopHint);
  return false;
}
