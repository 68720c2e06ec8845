#pragma once
// The style the program draws with: the platform's own, with a focus
// rectangle a keyboard user can see. Fusion, Qt's style where the desktop
// names none, draws the focus of a button like the default button's frame,
// draws it only after a key has moved the focus, and draws the focus of a
// list item in the highlight colour, on the item's highlight. Here the focused
// control always gets a dotted rectangle in the text colour of what it is
// drawn on (the highlighted-text colour on a highlighted item).
#include <QProxyStyle>

class TFocusStyle : public QProxyStyle {
 public:
  TFocusStyle() = default;

  // The focus rectangle (lists and item views ask for it).
  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
  // A focused push button gets the focus rectangle inside its frame.
  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget = nullptr) const override;
};
