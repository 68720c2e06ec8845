#pragma once
// The item delegate of the owner-drawn list and combo boxes: it hands the
// painting of an item to its control and gives every item the control's
// fixed item height.
#include <QListWidget>
#include <QStyledItemDelegate>
#include <functional>

class TOwnerDrawDelegate : public QStyledItemDelegate {
  Q_OBJECT
 public:
  // Paints item `index` into `rect`; `selected` asks for highlight colours.
  using DrawItem = std::function<void(QPainter* painter, int index, const QRect& rect, bool selected)>;

  TOwnerDrawDelegate(QObject* parent, DrawItem drawItem, std::function<int()> itemHeight);

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  DrawItem drawItem_;
  std::function<int()> itemHeight_;
};

// Makes a list widget an owner-drawn single-selection list of fixed-height
// items that the user cannot edit.
void setUpOwnerDrawnList(QListWidget* list, TOwnerDrawDelegate::DrawItem drawItem, std::function<int()> itemHeight);
