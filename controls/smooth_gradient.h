#pragma once
// TSmoothGradient: a control that fills its whole area with a banded
// two-colour gradient (256 bands) and can draw a one-line caption over it.
// It is opaque and holds no child controls. Every setter stores the value and
// asks for a repaint, also when the value does not change; drawing happens
// only when the control is painted.
#include <QString>
#include <QWidget>

#include "controls/smooth_graphics.h"
#include "framework/gui/align.h"

enum TLayout { glLeft, glCenter, glRight };

class TSmoothGradient : public QWidget {
  Q_OBJECT
  Q_PROPERTY(QString Caption READ Caption WRITE setCaption)
  Q_PROPERTY(TColor StartColor READ StartColor WRITE setStartColor)
  Q_PROPERTY(TColor EndColor READ EndColor WRITE setEndColor)
  Q_PROPERTY(TCustomColor StartCustomColor READ StartCustomColor WRITE setStartCustomColor)
  Q_PROPERTY(TCustomColor EndCustomColor READ EndCustomColor WRITE setEndCustomColor)
  Q_PROPERTY(TGradientStyle GradientStyle READ GradientStyle WRITE setGradientStyle)
  Q_PROPERTY(TLayout Layout READ Layout WRITE setLayout)
  Q_PROPERTY(TAlign Align READ Align WRITE setAlign)

 public:
  // Stored layouts name the enumerators through the class.
  using enum TGradientStyle;
  using enum TCustomColor;
  using enum TLayout;
  using enum TAlign;

  // A 100 x 100 control with the defaults: no caption, blue to navy,
  // no named colours, gsHorizontal, glLeft. The owner becomes its parent.
  explicit TSmoothGradient(QWidget* owner = nullptr);

  QString Caption() const { return FCaption; }
  TColor StartColor() const { return FStartColor; }
  TColor EndColor() const { return FEndColor; }
  TCustomColor StartCustomColor() const { return FStartCustomColor; }
  TCustomColor EndCustomColor() const { return FEndCustomColor; }
  TGradientStyle GradientStyle() const { return FGradientStyle; }
  TLayout Layout() const { return FLayout; }
  TAlign Align() const { return FAlignKeeper->align(); }

  void setCaption(const QString& value);
  void setStartColor(TColor value);
  void setEndColor(TColor value);
  void setStartCustomColor(TCustomColor value);
  void setEndCustomColor(TCustomColor value);
  void setGradientStyle(TGradientStyle value);
  void setLayout(TLayout value);
  // Keeps the control at an edge of its parent or filling it.
  void setAlign(TAlign value);

  // The RGB values the gradient runs between: a named colour when set,
  // otherwise the TColor property with system colours looked up anew.
  uint32_t startRGB() const;
  uint32_t endRGB() const;

  // The top-left corner of a caption of textWidth x textHeight in a control of
  // width x height: top (height - textHeight) / 2; left 4 (glLeft),
  // (width - textWidth) / 2 (glCenter) or width - 4 - textWidth (glRight);
  // quotients rounded toward zero.
  static QPoint CaptionOrigin(int width, int height, int textWidth, int textHeight, TLayout layout);

 protected:
  void paintEvent(QPaintEvent* event) override;
  // Draws the gradient image and the caption onto the control.
  void Paint(class QPainter& canvas);

 private:
  QString FCaption;
  TColor FStartColor = clBlue;
  TColor FEndColor = clNavy;
  TCustomColor FStartCustomColor = ccNone;
  TCustomColor FEndCustomColor = ccNone;
  TGradientStyle FGradientStyle = gsHorizontal;
  TLayout FLayout = glLeft;
  AlignKeeper* FAlignKeeper;
};
