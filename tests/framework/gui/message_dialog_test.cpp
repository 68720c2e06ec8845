// The modal message box: captions and icons by type, buttons in order with
// their results, default and cancel rules, wrapping and placement.
#include "framework/gui/message_dialog.h"

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <string>
#include <utility>
#include <vector>

#include "framework/gui/application.h"
#include "tests/support/modal.h"

namespace {

struct BoxView {
  std::string caption;
  bool hasIcon = false;
  std::vector<std::string> captions;  // button captions in display order
  std::string defaultButton;          // object name
  QRect messageGeometry;
  QRect boxGeometry;
  int messageLineHeight = 0;
};

BoxView look(QWidget* box) {
  BoxView v;
  v.caption = box->windowTitle().toStdString();
  v.hasIcon = box->findChild<QLabel*>("Image") != nullptr;
  QList<QPushButton*> buttons = box->findChildren<QPushButton*>();
  std::sort(buttons.begin(), buttons.end(), [](QPushButton* a, QPushButton* b) { return a->x() < b->x(); });
  for (QPushButton* b : buttons) {
    v.captions.push_back(b->text().toStdString());
    if (b->isDefault()) v.defaultButton = b->objectName().toStdString();
  }
  auto* message = box->findChild<QLabel*>("Message");
  v.messageGeometry = message->geometry();
  v.messageLineHeight = message->fontMetrics().lineSpacing();
  v.boxGeometry = box->geometry();
  return v;
}

void pressEscape(QWidget* box) {
  QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(box, &press);
}

// Shows a box through the application services, looks at it, then ends it
// by answer (which clicks a button or presses a key).
int showAndAnswer(TMsgDlgType type, TMsgDlgButtons buttons, BoxView& view, std::function<void(QWidget*)> answer,
                  const std::string& text = "Message text") {
  whenModalShown([&view, answer = std::move(answer)](QWidget* box) {
    view = look(box);
    answer(box);
  });
  return application().messageDlg(text, type, buttons, 0);
}

std::function<void(QWidget*)> click(const char* name) {
  return [name](QWidget* box) { box->findChild<QPushButton*>(name)->click(); };
}

TEST(MessageBox, CaptionAndIconFollowTheType) {
  struct Row {
    TMsgDlgType type;
    std::string caption;
    bool icon;
  };
  const std::string title = application().title();
  const Row rows[] = {
      {TMsgDlgType::mtWarning, "Warning", true},
      {TMsgDlgType::mtError, "Error", true},
      {TMsgDlgType::mtInformation, "Information", true},
      {TMsgDlgType::mtConfirmation, "Confirm", true},
      {TMsgDlgType::mtCustom, title, false},
  };
  for (const Row& row : rows) {
    BoxView view;
    showAndAnswer(row.type, buttonSet({mbOK}), view, click("OK"));
    EXPECT_EQ(view.caption, row.caption);
    EXPECT_EQ(view.hasIcon, row.icon) << row.caption;
  }
}

TEST(MessageBox, ButtonsOrderDefaultAndCancel) {
  struct Row {
    const char* name;
    TMsgDlgButtons buttons;
    std::vector<std::string> captions;
    std::string defaultButton;
    int escapeResult;
  };
  const Row rows[] = {
      {"ok cancel", buttonSet({mbCancel, mbOK}), {"OK", "Cancel"}, "OK", mrCancel},
      {"yes no", buttonSet({mbNo, mbYes}), {"&Yes", "&No"}, "Yes", mrNo},
      {"yes no cancel", buttonSet({mbYes, mbNo, mbCancel}), {"&Yes", "&No", "Cancel"}, "Yes", mrCancel},
      {"ok only", buttonSet({mbOK}), {"OK"}, "OK", mrOk},
      {"abort retry ignore",
       buttonSet({mbAbort, mbRetry, mbIgnore}),
       {"&Abort", "&Retry", "&Ignore"},
       "Retry",
       mrCancel},
      {"all eleven",
       buttonSet({mbHelp, mbYesToAll, mbNoToAll, mbAll, mbIgnore, mbRetry, mbAbort, mbCancel, mbOK, mbNo, mbYes}),
       {"&Yes", "&No", "OK", "Cancel", "&Abort", "&Retry", "&Ignore", "&All", "N&o to All", "Yes to &All", "&Help"},
       "OK",
       mrCancel},
  };
  for (const Row& row : rows) {
    BoxView view;
    int result = showAndAnswer(TMsgDlgType::mtConfirmation, row.buttons, view, pressEscape);
    EXPECT_EQ(view.captions, row.captions) << row.name;
    EXPECT_EQ(view.defaultButton, row.defaultButton) << row.name;
    EXPECT_EQ(result, row.escapeResult) << row.name;
  }
}

TEST(MessageBox, EachButtonGivesItsResult) {
  struct Row {
    const char* name;
    int result;
  };
  const Row rows[] = {
      {"Yes", mrYes},     {"No", mrNo},         {"OK", mrOk},   {"Cancel", mrCancel},   {"Abort", mrAbort},
      {"Retry", mrRetry}, {"Ignore", mrIgnore}, {"All", mrAll}, {"NoToAll", mrNoToAll}, {"YesToAll", mrYesToAll}};
  const TMsgDlgButtons all =
      buttonSet({mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll, mbHelp});
  for (const Row& row : rows) {
    BoxView view;
    EXPECT_EQ(showAndAnswer(TMsgDlgType::mtInformation, all, view, click(row.name)), row.result) << row.name;
  }
}

TEST(MessageBox, HelpLeavesTheBoxOpen) {
  bool stillOpen = false;
  whenModalShown([&stillOpen](QWidget* box) {
    box->findChild<QPushButton*>("Help")->click();
    QApplication::processEvents();
    stillOpen = box->isVisible();
    box->findChild<QPushButton*>("No")->click();
  });
  EXPECT_EQ(application().messageDlg("Help?", TMsgDlgType::mtConfirmation, buttonSet({mbYes, mbNo, mbHelp}), 0), mrNo);
  EXPECT_TRUE(stillOpen);
}

TEST(MessageBox, TextWrapsAtHalfTheScreenWidthAndTheBoxIsCentred) {
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  std::string longText;
  for (int i = 0; i < 60; ++i) longText += "word" + std::to_string(i) + " ";
  longText += "end";

  BoxView shortView;
  showAndAnswer(TMsgDlgType::mtInformation, buttonSet({mbOK}), shortView, click("OK"), "Short");
  EXPECT_EQ(shortView.messageGeometry.height(), shortView.messageLineHeight);

  BoxView longView;
  showAndAnswer(TMsgDlgType::mtInformation, buttonSet({mbOK}), longView, click("OK"), longText);
  EXPECT_LE(longView.messageGeometry.width(), screen.width() / 2);
  EXPECT_GT(longView.messageGeometry.width(), screen.width() / 2 - 80);  // filled up to the limit, less one word
  EXPECT_GE(longView.messageGeometry.height(), 3 * longView.messageLineHeight);

  const QPoint offset = longView.boxGeometry.center() - screen.center();
  // The window frame is placed, so the client area sits off centre by the frame's margins.
  EXPECT_LE(std::abs(offset.x()), 3);
  EXPECT_LE(std::abs(offset.y()), 3);
}

}  // namespace
