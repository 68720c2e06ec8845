#include "app/install_display.h"

#include <QCoreApplication>
#include <QEvent>
#include <QScreen>
#include <chrono>

#include "framework/core/printable.h"
#include "framework/gui/application.h"
#include "framework/gui/text.h"

namespace {

// One frame of the page's screen; 60 Hz when the screen does not say.
std::chrono::steady_clock::duration framePeriod(const QWidget* page) {
  const QScreen* screen = page->screen();
  double rate = screen ? screen->refreshRate() : 60.0;
  if (!(rate >= 24.0 && rate <= 480.0)) rate = 60.0;
  return std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(1.0 / rate));
}

}  // namespace

InstallDisplay::InstallDisplay(QWidget* page, QLabel* fileLabel, QProgressBar* bar)
    : FPage(page), FFileLabel(fileLabel), FBar(bar), FValue(bar->value()) {
  QCoreApplication::instance()->installEventFilter(this);
  if (TApplication* app = TApplication::instance()) app->setMessageInterval(framePeriod(page), [this] { paintNow(); });
}

InstallDisplay::~InstallDisplay() {
  if (TApplication* app = TApplication::instance()) app->setMessageInterval(std::chrono::nanoseconds(0));
  apply();
}

void InstallDisplay::showFile(const std::string& name) {
  FFile = name;
  FFileChanged = true;
}

void InstallDisplay::showProgress(int value) { FValue = value; }

QString InstallDisplay::fileText() const {
  if (FFileChanged) return toQString(fw::printable(FFile));
  return FFileLabel ? FFileLabel->text() : QString();
}

bool InstallDisplay::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Show && watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow())
    paintNow();
  return false;
}

void InstallDisplay::apply() {
  if (FFileChanged && FFileLabel) {
    FFileLabel->setText(toQString(fw::printable(FFile)));
    FFileLabel->adjustSize();
  }
  FFileChanged = false;
  // The bar repaints itself at once when the change shows by its own rule
  // (the fill has moved by a chunk of its style, or reached an end), and that
  // one paint takes the label's change too. Painting every small step as well
  // (an update() before setValue) costs a bar paint a frame: close to a
  // millisecond with the Fusion style.
  if (FBar) FBar->setValue(FValue);
}

void InstallDisplay::paintNow() {
  apply();
  // What the label and the bar changed is painted now, in one pass: the
  // window's pending update request is delivered (it is found empty when the
  // bar has just painted everything).
  if (FPage) QCoreApplication::sendPostedEvents(FPage->window(), QEvent::UpdateRequest);
}
