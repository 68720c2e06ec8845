#pragma once
// The base of the program's windows. A window's layout (a Qt Designer file)
// carries, besides its controls, form settings as dynamic properties of its
// root widget, applied by ApplyStoredSettings after setupUi:
//   BorderStyle  bsSizeable (default) | bsDialog: fixed size, title and close box only
//   FormStyle    fsNormal (default) | fsStayOnTop
//   Position     poDesigned (default; at Left, Top when stored) | poScreenCenter |
//                poDesktopCenter (the area all screens span)
//   WindowState  wsNormal (default) | wsMaximized
// and on any widget of the layout:
//   FontHeight   the font's character height in pixels
#include <QWidget>

#include "framework/core/component.h"
#include "framework/core/event.h"
#include "framework/gui/frame_centring.h"

class TForm : public QWidget, public TComponent {
  Q_OBJECT

 public:
  explicit TForm(QWidget* parent = nullptr);

  // Applies the stored form settings and font heights (see above).
  void ApplyStoredSettings();

  // Shows the window: placed by Position on its first show (a centred window
  // is centred with the window manager's frame once the frame is known),
  // maximised when WindowState says so.
  void Show();

  // Runs while the window is being shown, before it is first drawn.
  TEvent<TObject*> OnShow;

 protected:
  bool event(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  // Closing the main window asks the application to end and leaves the window
  // on screen; closing any other window hides it.
  void closeEvent(QCloseEvent* event) override;

 private:
  bool FPlaced = false;
  TFrameCentring FCentring;
};
