#pragma once
// What the wizard's stored layout does not give a screen reader or a keyboard
// user: names for the controls whose visible text does not say what they are
// (the side pictures, the destination field, the progress bar; the copy
// animation stays unnamed), the bevel as a separator, and Enter as well as
// Space pressing the focused button. No button becomes the default one: with
// the focus elsewhere Enter does nothing, as before. Captions and texts are
// not changed.
#include "ui_unit2.h"

void describeWizard(Ui::TForm2& ui);
