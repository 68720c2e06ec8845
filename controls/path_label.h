#pragma once
// TPathLabel: a one-line label that shows a path, shortened with "..." in
// place of leading directories until it fits the label's width.
#include <QWidget>
#include <string>

#include "controls/file_ctrl_types.h"

class TPathLabel : public QWidget, public TObject {
  Q_OBJECT
 public:
  explicit TPathLabel(QWidget* parent = nullptr);

  // The full path; painting shortens it.
  const std::string& Text() const { return FText; }
  void SetText(const std::string& Value);

  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment Value);

  // A transparent label leaves its background unpainted.
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool Value);

  // The text as painted at the current width.
  std::string ShownText() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::string FText;
  TAlignment FAlignment = taLeftJustify;
  bool FTransparent = false;
};
