#pragma once
// Centres a top-level window in an area of the screen with the window
// manager's frame counted. The frame shows in the window's geometry only once
// the window manager has taken the window: the window is placed as if it had
// none at first, and centred again, with its frame, when the frame comes. A
// window without a frame stays where it was put.
#include <QRect>

class QEvent;
class QWidget;

class TFrameCentring {
 public:
  // How an odd difference rounds: half the difference of the sizes, or half
  // the area less half the window (the chooser's placement), each truncated.
  enum class Rounding { HalveDifference, HalveEach };
  // Centres `window` in `area` now, and again with its frame once known.
  void centre(QWidget& window, const QRect& area, Rounding rounding = Rounding::HalveDifference);
  // Called from the window's event(): centres it again when its frame first
  // shows in a move or resize.
  void seen(QWidget& window, const QEvent& event);

 private:
  void centreBox(QWidget& window, QSize outer) const;

  bool FPending = false;
  Rounding FRounding = Rounding::HalveDifference;
  QRect FArea;
};
