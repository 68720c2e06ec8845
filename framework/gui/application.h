#pragma once
// The application object on Qt: title and icon, the main loop with a deferred
// end, "process pending messages", the modal message box, and the error box
// for exceptions that escape an event handler. It installs itself as the
// application services of the engine while it lives.
#include <QApplication>
#include <QPointer>
#include <chrono>
#include <exception>
#include <functional>
#include <string>

#include "framework/core/application_services.h"
#include "framework/gui/form.h"

class TApplication : public QApplication, public ApplicationServices {
  Q_OBJECT

 public:
  // Derives the title from the program file's name, substitutes the font
  // families this host lacks, loads the icon resource ":/MAINICON" when the
  // program has one, and installs the object as the application services.
  TApplication(int& argc, char** argv);
  ~TApplication() override;

  // The application object, or null when none exists.
  static TApplication* instance();

  // Handles every pending event, then returns. With a message interval set,
  // a call that comes sooner than the interval after the last handling
  // returns at once, so that frequent callers (the decoder, after every
  // chunk) pay for the queue only once per interval.
  void processMessages() override;
  // Sets that interval; 0 (the default) handles the queue on every call. The
  // next call handles it in any case. `beforeMessages`, when given, runs every time the queue is handled with
  // the interval set, just before it (a window that shows progress paints
  // there, once per interval).
  void setMessageInterval(std::chrono::nanoseconds interval, std::function<void()> beforeMessages = {});
  // The modal message box: caption and icon by type. A box that a request to
  // end closes gives the cancel result; boxes asked for after the request
  // show as usual.
  int messageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext) override;
  std::string title() const override { return FTitle; }

  // The program's own file as a Windows-form path, and its directory with the
  // trailing backslash (empty when the host does not report the file).
  const std::string& ExeName() const { return FExeName; }
  std::string ProgramDirectory() const;

  // Makes mainForm the main window, shows it (by its stored window state) and
  // runs the main loop until an end is requested. Returns the exit code, 0.
  // A request made before the call makes it return without showing anything.
  int Run(TForm* mainForm);
  TForm* MainForm() const { return FMainForm; }

  // Asks the application to end. The request is remembered: modal boxes that
  // are open end as if cancelled, later ones still show and work, and the
  // main loop ends when control is back in it. The main window stays shown.
  void Terminate();
  bool Terminated() const { return FTerminated; }
  // Forgets an earlier request, for hosts that run the main loop more than
  // once (the test runner).
  void ClearTerminated() { FTerminated = false; }

  // The application error box: the message with the "." rule, the error icon,
  // an OK button and the title as caption.
  void ShowErrorBox(const std::string& message);

  // Delivers an event; an exception that escapes the receiver's handler is
  // shown in the error box and delivery goes on with the next event.
  bool notify(QObject* receiver, QEvent* event) override;

 private:
  std::string FTitle;
  std::string FExeName;
  QPointer<TForm> FMainForm;
  bool FTerminated = false;
  class QEventLoop* FMainLoop = nullptr;
  ApplicationServices* FPreviousServices = nullptr;
  std::chrono::nanoseconds FMessageInterval{0};
  std::chrono::steady_clock::time_point FLastMessages{};
  bool FMessagesDue = true;
  std::function<void()> FBeforeMessages;
};

// Replaces font families that this host lacks by metric-compatible ones.
void substituteWindowsFonts();
