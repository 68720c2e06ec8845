// The program setup: creates the application, the background window Form1
// (the main window) and the hidden wizard Form2, and runs the main loop until
// the main window is closed. The exit status says how the installation ended
// (TForm2::ExitStatus).
#include <memory>

#include "app/bundled_runtime.h"
#include "app/private_copy.h"
#include "app/screen_reader.h"
#include "app/unit1.h"
#include "app/unit2.h"
#include "framework/gui/application.h"
#include "platform/dos_time.h"

int main(int, char** argv) {
  // Off a medium of several disks the program runs from a private copy, so
  // that disk 1 can be taken out; this may not return.
  startup::runOffTheMedium(argv);
  startup::useBundledRuntime(startup::runningProgramFolder());
  // Every restored file gets its date through a local time conversion.
  platform::loadLocalZoneOnce();
  // A screen reader's bus, when the session has one, hears the windows.
  startup::useScreenReaderBus();

  // The program takes no arguments: Qt sees the program name only.
  int argc = 1;
  TApplication application(argc, argv);

  auto form1 = std::make_unique<TForm1>();
  Form1 = form1.get();
  auto form2 = std::make_unique<TForm2>();
  Form2 = form2.get();

  int exitCode = application.Run(Form1);
  // A script that starts the wizard learns how the installation ended.
  if (exitCode == 0) exitCode = Form2->ExitStatus();

  Form2 = nullptr;
  form2.reset();
  Form1 = nullptr;
  form1.reset();
  return exitCode;
}
