#pragma once
// Keeps modal windows above a stay-on-top window. A message box or chooser
// opened while the wizard (a stay-on-top window) is on screen would otherwise
// open in the normal layer, beneath the wizard, and the user could not see the
// box that blocks the program. While installed, every modal top-level window
// shown while `window` is visible becomes a transient of it and stays on top
// itself.
#include <QObject>
#include <QPointer>
#include <QWidget>

#include "framework/gui/form.h"

// On Wayland a program can neither keep a window on top nor place it: there
// `window` (a TForm) is shown as a transient of `below`, which the
// compositor keeps above it and places over it, once `below` is on screen
// (called from below's show event, before its surface exists). Returns false
// elsewhere, and does nothing: the window manager keeps a stay-on-top window
// above, and the window centres itself.
bool showAboveOnWayland(TForm* window, QWidget* below);

class ModalsAbove : public QObject {
  Q_OBJECT

 public:
  // Watches the application's show events on behalf of window.
  explicit ModalsAbove(QWidget* window);
  ~ModalsAbove() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QPointer<QWidget> FWindow;
};
