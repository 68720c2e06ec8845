#include "app/wizard_access.h"

#include <QAccessible>
#include <QAccessibleWidget>

namespace {

// A bevel line (a QFrame drawn as a line) is a separator; Qt would call it a
// border, which AT-SPI reports as a frame, the role of a window.
QAccessibleInterface* lineAccessible(const QString& className, QObject* object) {
  auto* frame = className == QLatin1String("QFrame") ? qobject_cast<QFrame*>(object) : nullptr;
  if (!frame || (frame->frameShape() != QFrame::HLine && frame->frameShape() != QFrame::VLine)) return nullptr;
  return new QAccessibleWidget(frame, QAccessible::Separator);
}

}  // namespace

void describeWizard(Ui::TForm2& ui) {
  static const bool registered = (QAccessible::installFactory(lineAccessible), true);
  (void)registered;
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
