// main() of the GUI test binaries: runs the program's application object on
// Qt's offscreen platform at 96 dpi without high-dpi scaling, so that pixel
// checks are exact. The application object is the engine's application
// services here as in the program: its message boxes are real modal dialogs
// (tests answer them through tests/support/modal.h).
#include <gtest/gtest.h>

#include "framework/gui/application.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
  ::testing::InitGoogleTest(&argc, argv);
  TApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
