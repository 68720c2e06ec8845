// The directory chooser: opening the initial directory, the result of OK and
// Cancel, the options, the layout and the failure paths.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QShortcutEvent>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "controls/choose_directory.h"
#include "controls/directory_list_box.h"
#include "controls/drive_combo_box.h"
#include "controls/file_list_box.h"
#include "controls/path_label.h"
#include "controls/select_dir_dlg.h"
#include "framework/core/exceptions.h"
#include "platform/current_dir.h"
#include "tests/controls/filectrl_fixture.h"
#include "tests/support/expect_message.h"
#include "tests/support/fake_application.h"
#include "tests/support/modal.h"

namespace {

std::vector<std::string> dirItems(const TSelectDirDlg& dlg) {
  std::vector<std::string> texts;
  for (const auto& item : dlg.DirList->Items()) texts.push_back(item.Text);
  return texts;
}

std::vector<std::string> fileItems(const TSelectDirDlg& dlg) {
  std::vector<std::string> texts;
  for (int i = 0; i < dlg.FileList->count(); ++i) texts.push_back(dlg.FileList->item(i)->text().toStdString());
  return texts;
}

class Chooser : public FileCtrlFixture {
 protected:
  // Runs ChooseDirectory; `inside` runs while the dialog is shown and closes
  // it (a dialog left open is cancelled after a few seconds).
  static bool choose(std::string& dir, TSelectDirOpts options, int helpContext,
                     std::function<void(TSelectDirDlg&)> inside) {
    whenModalShown([inside = std::move(inside)](QWidget* w) {
      auto* dlg = qobject_cast<TSelectDirDlg*>(w);
      if (!dlg) {
        ADD_FAILURE() << "the modal window is no chooser";
        w->close();
        return;
      }
      QPointer<TSelectDirDlg> guard(dlg);
      QTimer::singleShot(5000, dlg, [guard] {
        if (guard && guard->isVisible()) guard->reject();
      });
      inside(*dlg);
    });
    return ChooseDirectory(dir, options, helpContext);
  }

  static void ok(TSelectDirDlg& dlg) { dlg.OKButton->click(); }
};

TEST_F(Chooser, InitialDirectoriesAndTheResultOfOK) {
  struct Row {
    const char* initial;
    const char* result;
  } rows[] = {
      {"C:\\Windows\\System", "C:\\Windows\\System"},
      {"c:\\windows\\system\\", "C:\\Windows\\System"},  // in the form the platform reports
      {"System", "C:\\Windows\\System"},                 // relative to the current directory
      {"C:\\Windows\\Missing", "C:\\Windows"},           // does not exist: the current directory
      {"C:\\Nope\\Deeper", "C:\\Windows"},               // nor does its parent
      {"", "C:\\Windows"},                               // empty
      {"\\\\server\\share\\dir", "C:\\Windows"},         // a network path is ignored
      {"D:\\", "D:\\docs"},                              // a root opens the drive's current directory
      {"D:\\docs\\letters", "D:\\docs\\letters"},
      {"D:\\docs\\gone", "D:\\docs"},  // missing on another drive: that drive's current directory
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.initial);
    enter("D:\\docs");
    enter("C:\\Windows");
    std::string dir = row.initial;
    std::string shown;
    char drive = 0;
    bool ran = false;
    EXPECT_TRUE(choose(dir, 0, 0, [&](TSelectDirDlg& dlg) {
      ran = true;
      shown = dlg.DirLabel->Text();
      drive = dlg.DriveList->Drive();
      EXPECT_EQ(dlg.DirList->Directory(), shown);
      EXPECT_EQ(dlg.FileList->Directory(), shown);
      ok(dlg);
    }));
    EXPECT_TRUE(ran);
    EXPECT_EQ(dir, row.result);
    EXPECT_EQ(shown, row.result);
    EXPECT_EQ(drive, char(std::tolower(row.result[0])));
    EXPECT_EQ(platform::getCurrentDirectory(), row.result);  // left where the list was
  }
}

TEST_F(Chooser, ShowsTheOpenDirectoryItsFilesAndDrive) {
  std::string dir = "C:\\Windows\\System";
  choose(dir, 0, 0, [&](TSelectDirDlg& dlg) {
    EXPECT_EQ(dirItems(dlg), (std::vector<std::string>{"C:\\", "Windows", "System", "color", "Drivers", "Zeta"}));
    EXPECT_EQ(dlg.DirList->currentRow(), 2);
    EXPECT_EQ(fileItems(dlg), (std::vector<std::string>{"A.exe", "b.dll", "c.txt"}));
    EXPECT_EQ(dlg.DriveList->currentText(), "c: []");
    EXPECT_EQ(dlg.DirEdit->text(), "C:\\Windows\\System");
    EXPECT_TRUE(dlg.DirLabel->isVisible());
    EXPECT_FALSE(dlg.DirEdit->isVisible());
    EXPECT_EQ(dlg.focusWidget(), dlg.DirList);
    // Help context 0: no Help button, OK and Cancel one place to the right.
    EXPECT_FALSE(dlg.HelpButton->isVisible());
    EXPECT_FALSE(dlg.NetButton->isVisible());
    EXPECT_EQ(dlg.OKButton->geometry(), QRect(256, 224, 77, 27));
    EXPECT_EQ(dlg.CancelButton->geometry(), QRect(340, 224, 77, 27));
    ok(dlg);
  });
}

TEST_F(Chooser, CancelEscapeAndCloseBoxKeepTheText) {
  struct Row {
    const char* name;
    std::function<void(TSelectDirDlg&)> close;
  } rows[] = {
      {"Cancel", [](TSelectDirDlg& dlg) { dlg.CancelButton->click(); }},
      {"Escape",
       [](TSelectDirDlg& dlg) {
         QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
         QApplication::sendEvent(&dlg, &escape);
       }},
      {"close box", [](TSelectDirDlg& dlg) { dlg.close(); }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    enter("C:\\");
    std::string dir = "C:\\Windows";
    EXPECT_FALSE(choose(dir, 0, 0, [&](TSelectDirDlg& dlg) {
      dlg.DirList->OpenItem(2);  // System
      row.close(dlg);
    }));
    EXPECT_EQ(dir, "C:\\Windows");
    // The directories opened stay current after Cancel too.
    EXPECT_EQ(platform::getCurrentDirectory(), "C:\\Windows\\System");
  }
}

TEST_F(Chooser, OKReturnsTheOpenDirectoryNotTheHighlightedOne) {
  std::string dir = "C:\\Windows";
  EXPECT_TRUE(choose(dir, 0, 0, [](TSelectDirDlg& dlg) {
    dlg.DirList->setCurrentRow(2);  // System highlighted with one click
    ok(dlg);
  }));
  EXPECT_EQ(dir, "C:\\Windows");
  EXPECT_TRUE(choose(dir, 0, 0, [](TSelectDirDlg& dlg) {
    dlg.DirList->OpenItem(2);  // double-clicked
    EXPECT_EQ(dlg.DirLabel->Text(), "C:\\Windows\\System");
    EXPECT_EQ(fileItems(dlg), (std::vector<std::string>{"A.exe", "b.dll", "c.txt"}));
    ok(dlg);
  }));
  EXPECT_EQ(dir, "C:\\Windows\\System");
}

TEST_F(Chooser, MissingDriveFailsBeforeAnyDialog) {
  struct Row {
    const char* initial;
    const char* message;
  } rows[] = {{"Q:\\Setup", "I/O error 15"}, {"A:\\Setup", "I/O error 21"}};
  for (const auto& row : rows) {
    std::string dir = row.initial;
    EXPECT_THROW_MESSAGE(ChooseDirectory(dir, 0, 0), EInOutError, row.message);
    EXPECT_EQ(dir, row.initial);
    for (QWidget* w : QApplication::topLevelWidgets()) EXPECT_EQ(qobject_cast<TSelectDirDlg*>(w), nullptr);
  }
}

TEST_F(Chooser, ADriveThatCannotBeEnteredLeavesTheLists) {
  std::string dir = "C:\\Windows";
  EXPECT_TRUE(choose(dir, 0, 0, [](TSelectDirDlg& dlg) {
    EXPECT_THROW_MESSAGE(dlg.DriveList->SetDrive('a'), EInOutError, "I/O error 21");
    EXPECT_EQ(dlg.DirList->Directory(), "C:\\Windows");
    EXPECT_EQ(dlg.DirLabel->Text(), "C:\\Windows");
    EXPECT_EQ(dlg.FileList->Directory(), "C:\\Windows");
    EXPECT_EQ(dlg.DriveList->currentText(), "a:");  // still shows the drive picked
    dlg.DriveList->SetDrive('a');                   // the same drive again: nothing
    // A pick with the mouse is applied once the drop-down list has closed.
    emit dlg.DriveList->activated(3);  // d: [data]
    QApplication::processEvents();
    EXPECT_EQ(dlg.DirList->Directory(), "D:\\");
    EXPECT_EQ(dlg.DirLabel->Text(), "D:\\");
    EXPECT_EQ(dlg.FileList->Directory(), "D:\\");
    ok(dlg);
  }));
  EXPECT_EQ(dir, "D:\\");
}

TEST_F(Chooser, HelpContext) {
  int shown = 0;
  SetHelpViewer([&](int context) { shown = context; });
  std::string dir = "C:\\";
  choose(dir, 0, 7, [](TSelectDirDlg& dlg) {
    EXPECT_TRUE(dlg.HelpButton->isVisible());
    EXPECT_EQ(dlg.OKButton->x(), 172);  // the places of the Layout test
    dlg.HelpButton->click();
    dlg.CancelButton->click();
  });
  SetHelpViewer(nullptr);
  EXPECT_EQ(shown, 7);
}

TEST_F(Chooser, EditableName) {
  std::string dir = "C:\\Windows";
  EXPECT_TRUE(choose(dir, EditableName | CreateOnOK, 0, [](TSelectDirDlg& dlg) {
    EXPECT_TRUE(dlg.DirEdit->isVisible());
    EXPECT_FALSE(dlg.DirLabel->isVisible());
    EXPECT_EQ(dlg.DirEdit->text(), "C:\\Windows");
    dlg.DirList->OpenItem(2);
    EXPECT_EQ(dlg.DirEdit->selectedText(), "C:\\Windows\\System");  // follows the list, all selected
    dlg.DirEdit->setText("C:\\New\\Deeper");
    ok(dlg);
  }));
  EXPECT_EQ(dir, "C:\\New\\Deeper");
  EXPECT_TRUE(std::filesystem::is_directory(tmp.file("c/New/Deeper")));  // created with its parent

  EXPECT_TRUE(choose(dir, EditableName, 0, [](TSelectDirDlg& dlg) {
    dlg.DirEdit->setText("C:\\Other");
    ok(dlg);
  }));
  EXPECT_EQ(dir, "C:\\Other");
  EXPECT_FALSE(std::filesystem::exists(tmp.file("c/Other")));  // typed, not created
}

TEST_F(Chooser, CreateOnOKWithAnEmptyNameFails) {
  std::string dir = "C:\\Windows";
  EXPECT_THROW_MESSAGE(choose(dir, EditableName | CreateOnOK, 0,
                              [](TSelectDirDlg& dlg) {
                                dlg.DirEdit->clear();
                                ok(dlg);
                              }),
                       Exception, "Unable to create directory");
  for (QWidget* w : QApplication::topLevelWidgets()) EXPECT_EQ(qobject_cast<TSelectDirDlg*>(w), nullptr);
}

TEST_F(Chooser, ConfirmNewAsksForMissingTypedDirectories) {
  FakeApplication app;
  app.answers = {mrNo, mrYes};
  std::string dir = "C:\\Windows";
  EXPECT_TRUE(choose(dir, EditableName | ConfirmNew, 0, [](TSelectDirDlg& dlg) {
    dlg.DirEdit->setText("C:\\Windows\\System");  // exists: no question
    dlg.OKClick();
    EXPECT_FALSE(dlg.isVisible());
    dlg.show();
  }));
  EXPECT_TRUE(app.boxes.empty());
  EXPECT_TRUE(choose(dir, EditableName | ConfirmNew, 0, [](TSelectDirDlg& dlg) {
    dlg.DirEdit->setText("C:\\Fresh");
    ok(dlg);  // No: the dialog stays
    EXPECT_TRUE(dlg.isVisible());
    ok(dlg);  // Yes
  }));
  ASSERT_EQ(app.boxes.size(), 2u);
  EXPECT_EQ(app.boxes[0].text, "The specified directory does not exist. Create it?");
  EXPECT_EQ(app.boxes[0].type, TMsgDlgType::mtConfirmation);
  EXPECT_EQ(app.boxes[0].buttons, buttonSet({mbYes, mbNo}));
  EXPECT_EQ(dir, "C:\\Fresh");
  EXPECT_FALSE(std::filesystem::exists(tmp.file("c/Fresh")));

  // Without EditableName the flag asks nothing.
  EXPECT_TRUE(choose(dir, ConfirmNew, 0, [](TSelectDirDlg& dlg) { ok(dlg); }));
  EXPECT_EQ(app.boxes.size(), 2u);
}

TEST_F(Chooser, Layout) {
  TSelectDirDlg dlg;
  EXPECT_EQ(dlg.windowTitle(), "Select Directory");
  EXPECT_EQ(dlg.size(), QSize(424, 255));
  EXPECT_EQ(dlg.minimumSize(), dlg.maximumSize());  // a fixed-size frame
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(dlg.pos(), QPoint(screen.width() / 2 - 424 / 2, screen.height() / 2 - 255 / 2));
  EXPECT_EQ(dlg.font().family(), "MS Sans Serif");
  EXPECT_EQ(dlg.font().pixelSize(), 11);
  struct Row {
    QWidget* control;
    QRect geometry;
  } rows[] = {
      {dlg.DirEdit, QRect(8, 24, 313, 20)},        {dlg.DirLabel, QRect(8, 24, 313, 20)},
      {dlg.FileList, QRect(232, 72, 185, 93)},     {dlg.DriveList, QRect(232, 192, 185, 19)},
      {dlg.NetButton, QRect(8, 224, 77, 27)},      {dlg.OKButton, QRect(172, 224, 77, 27)},
      {dlg.CancelButton, QRect(256, 224, 77, 27)}, {dlg.HelpButton, QRect(340, 224, 77, 27)},
  };
  for (const auto& row : rows)
    EXPECT_EQ(row.control->geometry(), row.geometry) << row.control->metaObject()->className();
  // The directory list shows whole items of 17 pixels only.
  EXPECT_EQ(dlg.DirList->pos(), QPoint(8, 72));
  EXPECT_EQ(dlg.DirList->width(), 213);
  EXPECT_EQ(dlg.DirList->ItemHeight(), 17);
  EXPECT_EQ((dlg.DirList->height() - 2 * dlg.DirList->frameWidth()) % 17, 0);
  EXPECT_LE(dlg.DirList->height(), 138);
  EXPECT_GT(dlg.DirList->height(), 138 - 17);
  EXPECT_EQ(dlg.FileList->ItemHeight(), 13);
  EXPECT_EQ(dlg.FileList->Mask(), "*.*");
  EXPECT_EQ(dlg.FileList->FileType(), fileTypeOf({ftNormal}));
  EXPECT_FALSE(dlg.FileList->ShowGlyphs());
  // Labels: their text, their place, their own size, their target.
  struct LabelRow {
    QLabel* label;
    const char* text;
    QPoint pos;
    QWidget* target;
  } labels[] = {
      {dlg.Label1, "Directory &Name:", {8, 8}, dlg.DirEdit},
      {dlg.Label3, "&Directories:", {8, 56}, dlg.DirList},
      {dlg.Label4, "&Files: (*.*)", {232, 56}, dlg.FileList},
      {dlg.Label2, "D&rives:", {232, 176}, dlg.DriveList},
  };
  for (const auto& l : labels) {
    SCOPED_TRACE(l.text);
    EXPECT_EQ(l.label->text(), l.text);
    EXPECT_EQ(l.label->pos(), l.pos);
    EXPECT_EQ(l.label->size(), l.label->sizeHint());
    EXPECT_EQ(l.label->buddy(), l.target);
  }
  EXPECT_TRUE(dlg.OKButton->isDefault());
  EXPECT_EQ(dlg.NetButton->text(), "Ne&twork...");
  EXPECT_EQ(dlg.HelpButton->text(), "&Help");
}

TEST_F(Chooser, TabOrderSkipsHiddenControls) {
  TSelectDirDlg dlg;
  dlg.SetHelpContext(1);
  dlg.show();
  QApplication::setActiveWindow(&dlg);
  QApplication::processEvents();
  auto order = [&dlg] {
    std::vector<QWidget*> seen;
    QWidget* w = dlg.DirList;
    do {
      seen.push_back(w);
      w = w->nextInFocusChain();
      while (w != dlg.DirList && !(w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus)))
        w = w->nextInFocusChain();
    } while (w != dlg.DirList && seen.size() < 20);
    return seen;
  };
  EXPECT_EQ(order(), (std::vector<QWidget*>{dlg.DirList, dlg.DriveList, dlg.OKButton, dlg.CancelButton, dlg.FileList,
                                            dlg.HelpButton}));
  dlg.SetEditable(true);
  EXPECT_EQ(order(), (std::vector<QWidget*>{dlg.DirList, dlg.DirEdit, dlg.DriveList, dlg.OKButton, dlg.CancelButton,
                                            dlg.FileList, dlg.HelpButton}));
}

TEST_F(Chooser, AccessKeysMoveTheFocusToVisibleTargets) {
  TSelectDirDlg dlg;
  dlg.show();
  QApplication::setActiveWindow(&dlg);
  QApplication::processEvents();
  auto press = [](QLabel* label, const char* keys) {
    QShortcutEvent shortcut(QKeySequence(QString::fromLatin1(keys)), 0);
    QApplication::sendEvent(label, &shortcut);
  };
  EXPECT_EQ(dlg.focusWidget(), dlg.DirList);
  press(dlg.Label2, "Alt+R");
  EXPECT_EQ(dlg.focusWidget(), dlg.DriveList);
  press(dlg.Label4, "Alt+F");
  EXPECT_EQ(dlg.focusWidget(), dlg.FileList);
  press(dlg.Label1, "Alt+N");  // the edit field is hidden: nothing
  EXPECT_EQ(dlg.focusWidget(), dlg.FileList);
  dlg.SetEditable(true);
  press(dlg.Label1, "Alt+N");
  EXPECT_EQ(dlg.focusWidget(), dlg.DirEdit);
  press(dlg.Label3, "Alt+D");
  EXPECT_EQ(dlg.focusWidget(), dlg.DirList);
}

}  // namespace
