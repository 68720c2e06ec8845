#include "app/install_display.h"

#include <QCoreApplication>
#include <QEvent>
#include <QScreen>
#include <algorithm>

#include "framework/gui/application.h"

namespace {

// One frame of the page's screen; 60 Hz when the screen does not say.
std::chrono::steady_clock::duration framePeriod(const QWidget* page) {
  const QScreen* screen = page->screen();
  double rate = screen ? screen->refreshRate() : 60.0;
  if (!(rate >= 24.0 && rate <= 480.0)) rate = 60.0;
  return std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(1.0 / rate));
}

}  // namespace

InstallDisplay::InstallDisplay(QWidget* page, QLabel* autoSized)
    : FPage(page), FAutoSized(autoSized), FFrame(framePeriod(page)), FLastPainted(Clock::now()) {
  // The page, just shown, is painted once before its updates are held: the
  // window keeps those pixels, so a disk prompt that comes before the first
  // frame, or moves over the page, still leaves it drawn. Held updates are not
  // lost: enabling them again repaints the whole page.
  FPage->repaint();
  FPage->setUpdatesEnabled(false);
  QCoreApplication::instance()->installEventFilter(this);
  if (TApplication* app = TApplication::instance()) app->setMessageInterval(FFrame);
}

InstallDisplay::~InstallDisplay() {
  if (TApplication* app = TApplication::instance()) app->setMessageInterval(std::chrono::nanoseconds(0));
  if (FAutoSized) FAutoSized->adjustSize();
  if (FPage) FPage->setUpdatesEnabled(true);
}

bool InstallDisplay::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Show && watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow())
    paintNow();
  return false;
}

void InstallDisplay::frame() {
  if (Clock::now() - FLastPainted >= FFrame) paintNow();
}

void InstallDisplay::paintNow() {
  if (FAutoSized) FAutoSized->adjustSize();
  if (!FPage) return;
  FPage->setUpdatesEnabled(true);
  FPage->repaint();
  FPage->setUpdatesEnabled(false);
  FLastPainted = Clock::now();
}
