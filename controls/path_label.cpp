#include "controls/path_label.h"

#include <QPainter>

#include "framework/gui/text.h"
#include "controls/shorten_path.h"

TPathLabel::TPathLabel(QWidget* parent) : QWidget(parent) {}

void TPathLabel::SetText(const std::string& Value) {
  if (Value == FText) return;
  FText = Value;
  update();
}

void TPathLabel::SetAlignment(TAlignment Value) {
  if (Value == FAlignment) return;
  FAlignment = Value;
  update();
}

void TPathLabel::SetTransparent(bool Value) {
  if (Value == FTransparent) return;
  FTransparent = Value;
  update();
}

std::string TPathLabel::ShownText() const { return ShortenPathToWidth(FText, fontMetrics(), width()); }

void TPathLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect area = rect();
  if (!FTransparent) painter.fillRect(area, palette().color(backgroundRole()));
  const Qt::Alignment horizontal = FAlignment == taRightJustify ? Qt::AlignRight
                                   : FAlignment == taCenter     ? Qt::AlignHCenter
                                                                : Qt::AlignLeft;
  painter.setPen(palette().color(foregroundRole()));
  painter.drawText(area, horizontal | Qt::AlignTop | Qt::TextSingleLine, toQString(ShownText()));
}
