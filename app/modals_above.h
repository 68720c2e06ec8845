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
