#include "framework/gui/application.h"

#include <QDialog>
#include <QEventLoop>
#include <QFile>
#include <QFont>
#include <QIcon>
#include <new>
#include <utility>

#include "framework/core/exceptions.h"
#include "framework/core/message_box.h"
#include "framework/core/path_utils.h"
#include "framework/gui/focus_style.h"
#include "framework/gui/form.h"
#include "framework/gui/message_dialog.h"
#include "framework/gui/text.h"
#include "platform/module.h"

void substituteWindowsFonts() {
  QFont::insertSubstitution("Arial", "Liberation Sans");
  for (const char* family : {"Tahoma", "MS Sans Serif", "MS Shell Dlg", "MS Shell Dlg 2"})
    QFont::insertSubstitutions(family, {"Liberation Sans", "DejaVu Sans"});
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
  FExeName = platform::moduleFileName();
  FTitle = applicationTitleFromPath(FExeName.empty() ? fromQString(QCoreApplication::applicationFilePath()) : FExeName);
  setApplicationName(toQString(FTitle));
  setQuitOnLastWindowClosed(false);  // only the main window's close ends the program
  substituteWindowsFonts();
  setStyle(new TFocusStyle);  // the platform's style, with a focus a keyboard user sees
  if (QFile::exists(":/MAINICON")) setWindowIcon(QIcon(":/MAINICON"));
  FPreviousServices = setApplicationServices(this);
}

TApplication::~TApplication() { setApplicationServices(FPreviousServices); }

TApplication* TApplication::instance() { return qobject_cast<TApplication*>(QCoreApplication::instance()); }

std::string TApplication::ProgramDirectory() const { return fw::directoryPart(FExeName); }

void TApplication::processMessages() {
  if (FMessageInterval.count() > 0) {
    const auto now = std::chrono::steady_clock::now();
    if (!FMessagesDue && now - FLastMessages < FMessageInterval) return;
    FMessagesDue = false;
    FLastMessages = now;
    if (FBeforeMessages) FBeforeMessages();
  }
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TApplication::setMessageInterval(std::chrono::nanoseconds interval, std::function<void()> beforeMessages) {
  FMessageInterval = interval;
  FBeforeMessages = std::move(beforeMessages);
  // The next call handles the queue, however near the clock is to its epoch
  // (the steady clock counts from boot).
  FMessagesDue = true;
}

int TApplication::messageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons, int) {
  // A box asked for after a request to end still shows and works (the
  // installation that the request waits for may need its answer); one that
  // the request closed counts as cancelled.
  const bool endRequestedBefore = FTerminated;
  int result = showMessageBox(text, messageBoxCaption(type, FTitle), messageIconOf(type), buttons);
  return FTerminated && !endRequestedBefore ? cancelResult(buttons) : result;
}

void TApplication::ShowErrorBox(const std::string& message) {
  showMessageBox(applicationErrorText(message), FTitle, MessageIcon::Error, buttonSet({mbOK}));
}

int TApplication::Run(TForm* mainForm) {
  FMainForm = mainForm;
  if (FTerminated) return 0;
  if (mainForm) mainForm->Show();
  QEventLoop loop;
  FMainLoop = &loop;
  if (!FTerminated) loop.exec();
  FMainLoop = nullptr;
  return 0;
}

void TApplication::Terminate() {
  FTerminated = true;
  // Modal boxes that are open end as if cancelled.
  for (QWidget* w : topLevelWidgets())
    if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->isVisible() && dialog->isModal()) dialog->reject();
  // The main loop ends once the handler in progress has returned to it.
  if (FMainLoop) FMainLoop->exit(0);
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const Exception& e) {
    ShowErrorBox(e.message());
  } catch (const std::bad_alloc&) {
    ShowErrorBox(EOutOfMemory().message());
  } catch (const std::exception& e) {
    ShowErrorBox(e.what());
  } catch (...) {
    ShowErrorBox("Unknown error");
  }
  return false;
}
