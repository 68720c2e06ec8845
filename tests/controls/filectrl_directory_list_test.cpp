// The directory list over a drive table: items from the disk, opening items,
// drive changes, failures and drawing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "controls/directory_list_box.h"
#include "controls/file_list_box.h"
#include "framework/core/exceptions.h"
#include "platform/current_dir.h"
#include "tests/controls/filectrl_fixture.h"
#include "tests/support/expect_message.h"
#include "tests/support/modal.h"

namespace {

using Items = std::vector<std::pair<std::string, TGlyph>>;

Items itemsOf(const TDirectoryListBox& list) {
  Items items;
  for (const auto& item : list.Items()) items.emplace_back(item.Text, item.Glyph);
  EXPECT_EQ(list.count(), int(items.size()));
  return items;
}

class DirectoryList : public FileCtrlFixture {
 protected:
  // Double-clicks an item with the mouse.
  static void doubleClick(TDirectoryListBox& list, int row) {
    list.resize(240, 400);
    list.show();
    QApplication::processEvents();
    const QPoint at = list.visualItemRect(list.item(row)).center();
    QMouseEvent press(QEvent::MouseButtonPress, at, list.viewport()->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, list.viewport()->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QMouseEvent twice(QEvent::MouseButtonDblClick, at, list.viewport()->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(list.viewport(), &press);
    QApplication::sendEvent(list.viewport(), &release);
    QApplication::sendEvent(list.viewport(), &twice);
  }
};

TEST_F(DirectoryList, DeepDirectoryFromTheDisk) {
  enter("C:\\Windows\\System");
  TDirectoryListBox list;
  EXPECT_EQ(list.Directory(), "C:\\Windows\\System");
  // Hidden directories are left out; the rest sorted without regard to case.
  EXPECT_EQ(itemsOf(list), (Items{{"C:\\", TGlyph::OpenFolder},
                                  {"Windows", TGlyph::OpenFolder},
                                  {"System", TGlyph::CurrentFolder},
                                  {"color", TGlyph::ClosedFolder},
                                  {"Drivers", TGlyph::ClosedFolder},
                                  {"Zeta", TGlyph::ClosedFolder}}));
  EXPECT_EQ(list.currentRow(), 2);
  EXPECT_EQ(list.item(0)->text(), "C:\\");
}

TEST_F(DirectoryList, DoubleClickOpensItems) {
  enter("C:\\Windows\\System");
  TDirectoryListBox list;
  int changes = 0;
  list.OnChange = TNotifyEvent([&](TObject* sender) {
    EXPECT_EQ(sender, &list);
    ++changes;
  });
  struct Step {
    int row;
    const char* opens;
  } steps[] = {
      {1, "C:\\Windows"},          // an ancestor
      {2, "C:\\Windows\\System"},  // a sub-directory
      {0, "C:\\"},                 // the first item: the drive root
      {1, "C:\\Program Files"},
      {1, "C:\\Program Files"},  // the open directory itself: nothing changes
  };
  int expectedChanges = 0;
  for (const auto& step : steps) {
    SCOPED_TRACE(step.opens);
    const bool opensAnother = list.GetItemPath(step.row) != list.Directory();
    doubleClick(list, step.row);
    if (opensAnother) ++expectedChanges;
    EXPECT_EQ(list.Directory(), step.opens);
    EXPECT_EQ(platform::getCurrentDirectory(), step.opens);  // the list works through the current directory
    EXPECT_EQ(changes, expectedChanges);
    EXPECT_EQ(list.item(list.currentRow())->text().toStdString(),
              list.Items()[size_t(openDirectoryIndex(list.Items()))].Text);
  }
}

TEST_F(DirectoryList, EachDriveOpensAtItsOwnCurrentDirectory) {
  enter("D:\\docs\\letters");
  enter("C:\\Windows");
  TDirectoryListBox list;
  int changes = 0;
  list.OnChange = TNotifyEvent([&](TObject*) { ++changes; });
  list.SetDrive('d');
  EXPECT_EQ(list.Directory(), "D:\\docs\\letters");
  EXPECT_EQ(changes, 1);
  list.DriveChange('C');
  EXPECT_EQ(list.Directory(), "C:\\Windows");
  list.DriveChange('c');  // the same drive: nothing happens
  EXPECT_EQ(changes, 2);
  list.SetDrive('E');  // never visited: its root
  EXPECT_EQ(list.Directory(), "E:\\");
  EXPECT_EQ(itemsOf(list), (Items{{"E:\\", TGlyph::CurrentFolder}}));
}

TEST_F(DirectoryList, FailuresLeaveTheListAsItWas) {
  enter("C:\\Windows");
  TDirectoryListBox list;
  int changes = 0;
  list.OnChange = TNotifyEvent([&](TObject*) { ++changes; });
  const Items before = itemsOf(list);
  struct Row {
    const char* name;
    std::function<void()> action;
    const char* message;
  } rows[] = {
      {"drive without medium", [&] { list.SetDrive('A'); }, "I/O error 21"},
      {"drive change without medium", [&] { list.DriveChange('a'); }, "I/O error 21"},
      {"drive that does not exist", [&] { list.SetDrive('Q'); }, "I/O error 15"},
      {"missing directory", [&] { list.SetDirectory("C:\\Windows\\Missing"); }, "File not found"},
      {"missing parent", [&] { list.SetDirectory("C:\\Nope\\Deeper"); }, "File not found"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_THROW_MESSAGE(row.action(), EInOutError, row.message);
    EXPECT_EQ(list.Directory(), "C:\\Windows");
    EXPECT_EQ(itemsOf(list), before);
    EXPECT_EQ(platform::getCurrentDirectory(), "C:\\Windows");
  }
  EXPECT_EQ(changes, 0);
}

// A directory removed after it was listed cannot be entered. Its error
// leaves the list's own code (a double-click, Enter, Space) without an
// exception and comes from the event loop to the application's error box;
// the list stays as it was.
// The list's viewport events handed to it directly, as its viewport's filter
// does, without the application's notify around them.
struct ListOpened : TDirectoryListBox {
  using TDirectoryListBox::viewportEvent;
};

TEST_F(DirectoryList, ADirectoryThatCannotBeEnteredReportsFromTheEventLoop) {
  const std::function<void(ListOpened&, int)> opens[] = {
      [](ListOpened& list, int row) {
        list.resize(240, 400);
        QApplication::processEvents();
        const QPoint at = list.visualItemRect(list.item(row)).center();
        QMouseEvent twice(QEvent::MouseButtonDblClick, at, list.viewport()->mapToGlobal(at), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        list.viewportEvent(&twice);
      },
      [](ListOpened& list, int row) {
        list.setCurrentRow(row);
        QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
        static_cast<QObject&>(list).event(&space);
      },
  };
  for (const auto& open : opens) {
    std::filesystem::create_directories(tmp.file("c/Windows/Gone"));
    enter("C:\\Windows");
    ListOpened list;
    list.show();
    const int gone = int(std::find_if(list.Items().begin(), list.Items().end(),
                                      [](const TDirectoryItem& i) { return i.Text == "Gone"; }) -
                         list.Items().begin());
    ASSERT_LT(gone, list.count());
    std::filesystem::remove(tmp.file("c/Windows/Gone"));
    std::string boxText;
    whenModalShown([&](QWidget* box) {
      for (QLabel* label : box->findChildren<QLabel*>()) boxText += label->text().toStdString();
      box->close();
    });
    EXPECT_NO_THROW(open(list, gone));
    EXPECT_EQ(list.Directory(), "C:\\Windows");
    QElapsedTimer waited;
    waited.start();
    while (boxText.empty() && waited.elapsed() < 5000) QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(boxText, "File not found.");
    EXPECT_EQ(list.Directory(), "C:\\Windows");
  }
}

// Typing a name moves the highlight; a blank typed within it belongs to the
// name, and Space opens the highlighted directory only when no name is
// being typed.
TEST_F(DirectoryList, ABlankTypedInANameIsPartOfIt) {
  for (const char* d : {"c/Apps/DemoApp", "c/Apps/DemoApp (x86)", "c/Apps/Other"})
    std::filesystem::create_directories(tmp.file(d));
  enter("C:\\Apps");
  TDirectoryListBox list;
  list.show();
  auto type = [&](const QString& text) {
    for (QChar c : text) {
      QKeyEvent key(QEvent::KeyPress, c == ' ' ? Qt::Key_Space : Qt::Key(c.toUpper().unicode()), Qt::NoModifier,
                    QString(c));
      QApplication::sendEvent(&list, &key);
    }
  };
  type("DemoApp (");
  EXPECT_EQ(list.Directory(), "C:\\Apps");
  EXPECT_EQ(list.currentItem()->text(), "DemoApp (x86)");
}

// Names that no Windows-form path can hold could not be opened: not offered.
TEST_F(DirectoryList, NamesThatCannotBeWrittenAreLeftOut) {
  for (const char* name : {"back\\slash", "co:lon", "st*r", "what?", "tab\there", "ok"})
    std::filesystem::create_directories(tmp.file(std::string("d/odd/") + name));
  enter("D:\\odd");
  TDirectoryListBox list;
  EXPECT_EQ(itemsOf(list),
            (Items{{"D:\\", TGlyph::OpenFolder}, {"odd", TGlyph::CurrentFolder}, {"ok", TGlyph::ClosedFolder}}));
}

TEST_F(DirectoryList, CaseFlagsOfTheVolume) {
  // A volume that neither preserves nor tells case shows names in lower case.
  platform::installDriveTable({drive('C', "c", platform::kDriveFixed, ""),
                               drive('E', "e", platform::kDriveCdRom, "", "", true, platform::kFsCasePreserved),
                               drive('F', "c", platform::kDriveFixed, "", "", true, 0)});
  struct Row {
    const char* dir;
    bool preserve;
    bool sensitive;
  } rows[] = {{"C:\\", true, true}, {"E:\\", true, false}, {"F:\\", false, false}};
  TDirectoryListBox list;
  for (const auto& row : rows) {
    list.SetDirectory(row.dir);
    EXPECT_EQ(list.PreserveCase(), row.preserve) << row.dir;
    EXPECT_EQ(list.CaseSensitive(), row.sensitive) << row.dir;
  }
  // On F:, the same directory in other letters is the open one: no change.
  list.SetDirectory("F:\\Windows");
  int changes = 0;
  list.OnChange = TNotifyEvent([&](TObject*) { ++changes; });
  list.SetDirectory("f:\\WINDOWS");
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(list.Directory(), "F:\\Windows");
}

TEST_F(DirectoryList, LinkedFileListFollows) {
  enter("C:\\Windows");
  TDirectoryListBox list;
  TFileListBox files;
  list.SetFileList(&files);
  list.SetDirectory("System");
  EXPECT_EQ(files.Directory(), "C:\\Windows\\System");
  EXPECT_EQ(files.count(), 3);
}

TEST_F(DirectoryList, DrawsGlyphsAtTheirIndents) {
  enter("C:\\Windows\\System");
  TDirectoryListBox list;
  list.SetItemHeight(17);
  const QColor base = list.palette().color(QPalette::Base);
  const QColor highlight = list.palette().color(QPalette::Highlight);
  struct Row {
    int index;
    bool selected;
    int indent;
  } rows[] = {{0, false, 2}, {1, false, 6}, {2, true, 10}, {3, false, 14}, {5, false, 14}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.index);
    QImage image(200, 17, QImage::Format_ARGB32);
    image.fill(Qt::magenta);
    {
      QPainter painter(&image);
      list.DrawItem(&painter, row.index, QRect(0, 0, 200, 17), row.selected);
    }
    const TGlyph glyph = list.Items()[size_t(row.index)].Glyph;
    const QColor background = row.selected ? highlight : base;
    expectGlyphAt(image, glyph, row.indent, 1, background);  // 15 pixels high, centred in 17
    EXPECT_EQ(image.pixel(row.indent - 1, 8), background.rgb());
    EXPECT_EQ(image.pixel(199, 0), background.rgb());  // the whole item is filled
  }
}

}  // namespace
