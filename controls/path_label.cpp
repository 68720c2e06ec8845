#include "controls/path_label.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPainter>

#include "controls/shorten_path.h"
#include "framework/gui/text.h"

namespace {

// A screen reader hears the label as a static text, named by the full path
// (the painted text may be shortened with "...").
class PathLabelAccessible : public QAccessibleWidget {
 public:
  explicit PathLabelAccessible(TPathLabel* label) : QAccessibleWidget(label, QAccessible::StaticText) {}
  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Name) return toQString(static_cast<const TPathLabel*>(widget())->Text());
    return QAccessibleWidget::text(t);
  }
};

QAccessibleInterface* pathLabelAccessible(const QString& className, QObject* object) {
  if (className == QLatin1String("TPathLabel") && object && object->isWidgetType())
    return new PathLabelAccessible(static_cast<TPathLabel*>(object));
  return nullptr;
}

}  // namespace

TPathLabel::TPathLabel(QWidget* parent) : QWidget(parent) {
  static const bool registered = (QAccessible::installFactory(pathLabelAccessible), true);
  (void)registered;
}

void TPathLabel::SetText(const std::string& Value) {
  if (Value == FText) return;
  FText = Value;
  update();
  QAccessibleEvent changed(this, QAccessible::NameChanged);
  QAccessible::updateAccessibility(&changed);
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
  painter.drawText(area, int(horizontal | Qt::AlignTop | Qt::TextSingleLine), toQString(ShownText()));
}
