#pragma once
// Keeps the keyboard with the wizard. The wizard is shown while the background
// window is being mapped, and a window manager gives the focus to the window
// mapped last; when a box over the wizard closes, it may give the focus to the
// background window too. Either way keys would go to a window without controls
// until the user found the wizard with the mouse. So the wizard is activated
// when it is shown and when a modal window that was over it closes, and once
// more should the background window take the activation before the wizard has
// had it with every window of the program on screen (the wizard is mapped
// first and activated, then the background window is mapped and takes the
// focus). A window the user activates later keeps the focus.
#include <QObject>
#include <QPointer>
#include <QWidget>

class WizardFocus : public QObject {
  Q_OBJECT

 public:
  // Watches the application's windows on behalf of wizard.
  explicit WizardFocus(QWidget* wizard);
  ~WizardFocus() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Activates the wizard once control is back in an event loop, unless it is
  // hidden or a modal window (that blocks it) is still open.
  void takeLater();

  QPointer<QWidget> FWizard;
  // The wizard asked for the activation and has not had it yet.
  bool FPending = false;
};
