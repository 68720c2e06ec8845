#pragma once
// Alignment of a control within its parent: the control keeps to one edge of
// the parent's client area, or fills it, and follows every resize.
#include <QObject>
#include <QPointer>
#include <QWidget>

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

// The geometry a control of the given size takes with align in a parent of
// parentSize (alNone: the current geometry).
QRect alignedGeometry(TAlign align, const QRect& current, const QSize& parentSize);

// Keeps a control aligned: placed at once and after every resize of its parent.
class AlignKeeper : public QObject {
  Q_OBJECT

 public:
  explicit AlignKeeper(QWidget* control);
  void setAlign(TAlign align);
  TAlign align() const { return FAlign; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void place();

  QWidget* FControl;
  QPointer<QWidget> FParent;
  TAlign FAlign = alNone;
};
