#include "app/unit2.h"

#include "framework/gui/colors.h"

TForm2* Form2 = nullptr;

TForm2::TForm2(QWidget* parent) : TForm(parent), ui(std::make_unique<Ui::TForm2>()) {
  ui->setupUi(this);
  setName("Form2");
  ApplyStoredSettings();

  // The destination field is painted in the menu-bar colour, read-only.
  QPalette palette = ui->Edit1->palette();
  palette.setColor(QPalette::Base, rgbToQColor(colorToRGB(clMenuBar)));
  ui->Edit1->setPalette(palette);
}

TForm2::~TForm2() = default;
