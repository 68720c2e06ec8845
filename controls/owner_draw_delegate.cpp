#include "controls/owner_draw_delegate.h"

#include <QPainter>
#include <QStyle>
#include <QWidget>

TOwnerDrawDelegate::TOwnerDrawDelegate(QObject* parent, DrawItem drawItem, std::function<int()> itemHeight)
    : QStyledItemDelegate(parent), drawItem_(std::move(drawItem)), itemHeight_(std::move(itemHeight)) {}

void TOwnerDrawDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  painter->save();
  painter->setClipRect(option.rect);
  painter->setFont(option.font);
  drawItem_(painter, index.row(), option.rect, option.state & QStyle::State_Selected);
  painter->restore();
  // The focused item carries the dotted focus frame, as in any list.
  if ((option.state & QStyle::State_HasFocus) && option.widget) {
    QStyleOptionFocusRect focus;
    focus.QStyleOption::operator=(option);
    focus.backgroundColor =
        option.palette.color((option.state & QStyle::State_Selected) ? QPalette::Highlight : QPalette::Base);
    option.widget->style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, option.widget);
  }
}

QSize TOwnerDrawDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
  return QSize(option.rect.width() > 0 ? option.rect.width() : 1, itemHeight_());
}

void setUpOwnerDrawnList(QListWidget* list, TOwnerDrawDelegate::DrawItem drawItem, std::function<int()> itemHeight) {
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setUniformItemSizes(true);
  list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list->setItemDelegate(new TOwnerDrawDelegate(list, std::move(drawItem), std::move(itemHeight)));
}
