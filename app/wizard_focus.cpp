#include "app/wizard_focus.h"

#include <QApplication>
#include <QEvent>
#include <QMetaObject>
#include <QWindow>

WizardFocus::WizardFocus(QWidget* wizard) : QObject(wizard), FWizard(wizard) { qApp->installEventFilter(this); }

WizardFocus::~WizardFocus() {
  if (qApp) qApp->removeEventFilter(this);
}

void WizardFocus::takeLater() {
  FPending = true;
  // Queued: a closing box is still the modal window while its hide event is
  // delivered, and a window that is not yet mapped is activated when it is.
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (FPending && FWizard && FWizard->isVisible() && !QApplication::activeModalWidget())
          FWizard->activateWindow();
      },
      Qt::QueuedConnection);
}

namespace {

// Whether every other shown window of the program is on screen: until then
// the window manager may still hand the focus to one that is being mapped.
bool othersOnScreen(const QWidget* wizard) {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w != wizard && w->isVisible() && !(w->windowHandle() && w->windowHandle()->isExposed())) return false;
  return true;
}

}  // namespace

bool WizardFocus::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type != QEvent::Show && type != QEvent::Hide && type != QEvent::WindowActivate) return false;
  auto* widget = qobject_cast<QWidget*>(watched);
  if (!widget || !widget->isWindow() || !FWizard) return false;
  if (widget == FWizard) {
    if (type == QEvent::Show && !event->spontaneous()) takeLater();
    if (type == QEvent::WindowActivate && othersOnScreen(FWizard)) FPending = false;
    return false;
  }
  if (!FWizard->isVisible()) return false;
  const bool boxClosed = type == QEvent::Hide && widget->isModal() && !event->spontaneous();
  const bool focusTakenAway = type == QEvent::WindowActivate && FPending && !widget->isModal();
  // A box over the wizard closed, or the window manager gave the focus to
  // the background window.
  if (boxClosed || focusTakenAway) takeLater();
  return false;
}
