#pragma once
// The wizard window TForm2: four pages (Welcome, Destination, Installing,
// Finish) in Notebook1, with Cancel, Next and Back below them. Created hidden
// from its stored layout; shown modeless, on top and centred by TForm1.
#include <memory>

#include "framework/gui/form.h"
#include "ui_unit2.h"

class TForm2 : public TForm {
  Q_OBJECT

 public:
  explicit TForm2(QWidget* parent = nullptr);
  ~TForm2() override;

  // The controls of the stored layout, by their names (ui->Label1, ui->Edit1).
  std::unique_ptr<Ui::TForm2> ui;
};

// The wizard of the running program.
extern TForm2* Form2;
