#include "app/wizard_access.h"

void describeWizard(Ui::TForm2& ui) {
  ui.Image1->setAccessibleName(QStringLiteral("Picture: a computer and sheets of paper"));
  ui.Image2->setAccessibleName(QStringLiteral("Picture: two folders, an arrow into the lower one"));
  ui.Image3->setAccessibleName(QStringLiteral("Picture: a check mark"));
  // Label3 says "the directory listed in the box below"; the box itself has
  // no label of its own.
  ui.Edit1->setAccessibleName(QStringLiteral("Destination directory"));
  ui.ProgressBar1->setAccessibleName(QStringLiteral("Installation progress"));
  // Outside a dialog a Qt button takes only Space; auto-default buttons take
  // Enter too while they have the focus, without being a default button.
  for (QPushButton* button : {ui.Button1, ui.Button2, ui.Button3, ui.Button4}) button->setAutoDefault(true);
}
