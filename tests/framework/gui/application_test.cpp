// The application object: the error box for exceptions that escape an event
// handler, the deferred end of the main loop, and modal loops that end as if
// cancelled when the end is requested.
#include "framework/gui/application.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <new>
#include <stdexcept>

#include "framework/core/exceptions.h"
#include "framework/gui/form.h"
#include "tests/support/modal.h"

namespace {

TApplication& app() { return *TApplication::instance(); }

// An object whose handler of a user event raises the given failure.
class Thrower : public QObject {
 public:
  std::function<void()> raise;
  int delivered = 0;

 protected:
  bool event(QEvent* e) override {
    if (e->type() != QEvent::User) return QObject::event(e);
    ++delivered;
    raise();
    return true;
  }
};

struct ErrorBoxView {
  std::string caption, text;
  bool icon = false;
  std::vector<std::string> buttons;
};

ErrorBoxView sendAndLook(Thrower& thrower) {
  ErrorBoxView view;
  whenModalShown([&view](QWidget* box) {
    view.caption = box->windowTitle().toStdString();
    view.text = box->findChild<QLabel*>("Message")->text().toStdString();
    view.icon = box->findChild<QLabel*>("Image") != nullptr;
    for (QPushButton* b : box->findChildren<QPushButton*>()) view.buttons.push_back(b->text().toStdString());
    box->findChild<QPushButton*>("OK")->click();
  });
  QEvent event(QEvent::User);
  QCoreApplication::sendEvent(&thrower, &event);
  return view;
}

// The text rule itself is checked in tests/framework/core; here every kind of
// failure reaches the box.
TEST(ApplicationErrorBox, ShowsTheMessageOfEveryKindOfFailure) {
  struct Row {
    const char* name;
    std::function<void()> raise;
    std::string text;
  };
  const Row rows[] = {
      {"ends in a letter", [] { throw Exception("Cannot read archive"); }, "Cannot read archive."},
      {"ends in a digit", [] { throw EInOutError(1117); }, "I/O error 1117."},
      {"empty message", [] { throw Exception(""); }, ""},
      {"standard exception", [] { throw std::runtime_error("bad thing"); }, "bad thing."},
      {"memory exhausted", [] { throw std::bad_alloc(); }, "Out of memory."},
  };
  for (const Row& row : rows) {
    Thrower thrower;
    thrower.raise = row.raise;
    ErrorBoxView view = sendAndLook(thrower);
    EXPECT_EQ(view.text, row.text) << row.name;
    EXPECT_EQ(view.caption, app().title()) << row.name;
    EXPECT_TRUE(view.icon) << row.name;
    EXPECT_EQ(view.buttons, std::vector<std::string>{"OK"}) << row.name;
  }
}

// A click handler that fails: the box appears, and the button works again.
TEST(ApplicationErrorBox, ClickHandlerFailureLeavesTheButtonUsable) {
  QPushButton button("Browse...");
  button.resize(75, 25);
  button.show();
  int clicks = 0;
  QObject::connect(&button, &QPushButton::clicked, [&clicks] {
    if (++clicks == 1) throw EInOutError(15);
  });
  auto clickOnce = [&button] {
    const QPointF at(10, 10);
    QMouseEvent press(QEvent::MouseButtonPress, at, button.mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, button.mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(&button, &press);
    QCoreApplication::sendEvent(&button, &release);
  };
  std::string text;
  whenModalShown([&text](QWidget* box) {
    text = box->findChild<QLabel*>("Message")->text().toStdString();
    box->findChild<QPushButton*>("OK")->click();
  });
  clickOnce();
  EXPECT_EQ(text, ioErrorMessage(15) + (ioErrorMessage(15).back() > '.' ? "." : ""));
  EXPECT_FALSE(button.isDown());
  clickOnce();
  EXPECT_EQ(clicks, 2);
}

// The end requested while a handler runs a nested modal box: the box ends as
// if cancelled, later boxes still show and give their answers, the handler
// runs to its end with the main window still shown, and only then the main
// loop ends.
TEST(ApplicationTermination, TakesEffectBackInTheMainLoop) {
  TForm mainForm;
  TForm other;
  other.show();
  std::vector<std::string> trace;

  QTimer::singleShot(0, &mainForm, [&] {
    whenModalShown([&](QWidget*) {
      trace.push_back("box shown");
      other.close();  // a window that is not the main one only hides
      trace.push_back(app().Terminated() ? "ended by other" : "other closed");
      mainForm.close();
      trace.push_back(mainForm.isVisible() ? "main still shown" : "main hidden");
    });
    int first = application().messageDlg("Insert disk 2", TMsgDlgType::mtInformation, buttonSet({mbOK, mbCancel}), 0);
    trace.push_back("first box " + std::to_string(first));
    whenModalShown([&](QWidget* box) {
      trace.push_back("second box shown");
      box->findChild<QPushButton*>("Yes")->click();
    });
    int second = application().messageDlg("Really?", TMsgDlgType::mtConfirmation, buttonSet({mbYes, mbNo}), 0);
    trace.push_back("second box " + std::to_string(second));
    application().processMessages();
    trace.push_back(mainForm.isVisible() ? "handler ends, main shown" : "handler ends, main hidden");
  });
  const int exitCode = app().Run(&mainForm);
  trace.push_back("loop ended");

  EXPECT_EQ(exitCode, 0);
  EXPECT_FALSE(other.isVisible());
  const std::vector<std::string> expected = {
      "box shown",        "other closed", "main still shown",         "first box 2",
      "second box shown", "second box 6", "handler ends, main shown", "loop ended"};
  EXPECT_EQ(trace, expected);
  app().ClearTerminated();
}

// With an interval, the queue is handled by the first call and then not
// before the interval has passed; the hook runs just before each handling.
TEST(ApplicationMessages, AnIntervalHandlesTheQueueOncePerIntervalAfterItsHook) {
  std::vector<std::string> trace;
  Thrower receiver;
  receiver.raise = [&] { trace.push_back("event"); };
  auto post = [&] { QCoreApplication::postEvent(&receiver, new QEvent(QEvent::User)); };
  app().setMessageInterval(std::chrono::hours(1), [&] { trace.push_back("hook"); });
  post();
  application().processMessages();
  post();
  application().processMessages();  // within the interval: nothing
  trace.push_back("interval ended");
  app().setMessageInterval(std::chrono::nanoseconds(0));
  application().processMessages();
  const std::vector<std::string> expected = {"hook", "event", "interval ended", "event"};
  EXPECT_EQ(trace, expected);
}

TEST(ApplicationTermination, RequestBeforeRunEndsAtOnce) {
  TForm mainForm;
  app().Terminate();
  EXPECT_EQ(app().Run(&mainForm), 0);
  EXPECT_FALSE(mainForm.isVisible());
  // A box asked for after the request still shows and gives its answer.
  bool shown = false;
  whenModalShown([&](QWidget* box) {
    shown = true;
    box->findChild<QPushButton*>("No")->click();
  });
  EXPECT_EQ(application().messageDlg("x", TMsgDlgType::mtConfirmation, buttonSet({mbYes, mbNo}), 0), mrNo);
  EXPECT_TRUE(shown);
  app().ClearTerminated();
}

}  // namespace
