#include "framework/gui/focus_style.h"

#include <QPainter>
#include <QStyleOption>

void TFocusStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                const QWidget* widget) const {
  if (element != PE_FrameFocusRect) {
    QProxyStyle::drawPrimitive(element, option, painter, widget);
    return;
  }
  const auto* focus = qstyleoption_cast<const QStyleOptionFocusRect*>(option);
  const bool onHighlight =
      focus && focus->backgroundColor.isValid() && focus->backgroundColor == option->palette.color(QPalette::Highlight);
  painter->save();
  painter->setRenderHint(QPainter::Antialiasing, false);
  painter->setPen(
      QPen(option->palette.color(onHighlight ? QPalette::HighlightedText : QPalette::WindowText), 0, Qt::DotLine));
  painter->setBrush(Qt::NoBrush);
  painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
  painter->restore();
}

void TFocusStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                              const QWidget* widget) const {
  QProxyStyle::drawControl(element, option, painter, widget);
  if (element != CE_PushButton || !(option->state & State_HasFocus)) return;
  QStyleOptionFocusRect focus;
  focus.QStyleOption::operator=(*option);
  focus.rect = option->rect.adjusted(4, 4, -4, -4);
  drawPrimitive(PE_FrameFocusRect, &focus, painter, widget);
}
