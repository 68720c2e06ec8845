#pragma once
// What the engine and the program need of "the application": processing
// pending messages, the modal message box and the application title. The GUI
// installs its own; the console default serves the command-line tool and tests.
#include <string>

#include "framework/core/message_box.h"

class ApplicationServices {
 public:
  virtual ~ApplicationServices() = default;
  // Handles every pending message, then returns.
  virtual void processMessages() = 0;
  // Shows a modal message box and returns the result of the button chosen.
  virtual int messageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext) = 0;
  // The application title (program file name, first letter kept, rest lower case).
  virtual std::string title() const = 0;
};

// The services in force; the console default until another is installed.
ApplicationServices& application();
// Installs services (null restores the console default). Returns the previous.
ApplicationServices* setApplicationServices(ApplicationServices* services);

// The application title of a program path: the part after the last "\" or "/",
// cut before its first ".", every letter after the first in lower case.
std::string applicationTitleFromPath(const std::string& programPath);

// Console services: messages go to standard error. On a terminal the box asks
// for a button by its letter; without one it answers with its cancel button.
class ConsoleApplication : public ApplicationServices {
 public:
  void processMessages() override {}
  int messageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext) override;
  std::string title() const override;
};
