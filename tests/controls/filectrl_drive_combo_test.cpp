// The drive box: texts and glyphs of the drives, selecting drives, the link
// to a directory list, and drawing.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <string>
#include <utility>
#include <vector>

#include "controls/directory_list_box.h"
#include "controls/drive_combo_box.h"
#include "framework/core/exceptions.h"
#include "platform/volumes.h"
#include "tests/controls/filectrl_fixture.h"
#include "tests/support/expect_message.h"

namespace {

using Items = std::vector<std::pair<std::string, TGlyph>>;

Items itemsOf(const TDriveComboBox& box) {
  Items items;
  for (int i = 0; i < box.count(); ++i) items.emplace_back(box.itemText(i).toStdString(), box.ItemGlyph(i));
  return items;
}

class DriveCombo : public FileCtrlFixture {};

TEST_F(DriveCombo, TextsAndGlyphsOfEveryKindOfDrive) {
  TDriveComboBox box;
  const Items lower = {
      {"a:", TGlyph::Floppy},   // removable: the letter only, no disk access
      {"b:", TGlyph::Floppy},   // even with a labelled medium in it
      {"c: []", TGlyph::Hard},  // no label
      {"d: [data]", TGlyph::Hard},
      {"e: [setup_cd]", TGlyph::CdRom},
      {"m: [lost]", TGlyph::Network},  // no connection name: the label
      {"n: \\\\server\\share", TGlyph::Network},
      {"r: []", TGlyph::Ram},
  };
  EXPECT_EQ(itemsOf(box), lower);
  EXPECT_EQ(box.Drive(), 'c');
  EXPECT_EQ(box.currentText(), "c: []");
  EXPECT_EQ(platform::setErrorMode(0), 0u);  // the error mode is put back after reading labels
  // Upper case: the same texts in capitals, the drive stays selected.
  Items upper = lower;
  for (auto& item : upper) item.first = QString::fromStdString(item.first).toUpper().toStdString();
  box.SetTextCase(tcUpperCase);
  EXPECT_EQ(itemsOf(box), upper);
  EXPECT_EQ(box.Drive(), 'C');
  EXPECT_EQ(box.currentText(), "C: []");
}

TEST_F(DriveCombo, SelectingDrives) {
  TDriveComboBox box;
  int changes = 0;
  box.OnChange = TNotifyEvent([&](TObject* sender) {
    EXPECT_EQ(sender, &box);
    ++changes;
  });
  struct Step {
    char drive;
    char expectDrive;
    const char* expectText;  // the selected item, empty for none
    int expectChanges;
  } steps[] = {
      {'D', 'd', "d: [data]", 1},  // stored in the box's letter case
      {'d', 'd', "d: [data]", 1},  // the same drive: nothing happens
      {'Q', 'q', "d: [data]", 2},  // no item: kept as Drive, the selection stays
      {0, 0, "", 3},               // none
      {'e', 'e', "e: [setup_cd]", 4},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(std::string(1, step.drive ? step.drive : '0'));
    box.SetDrive(step.drive);
    EXPECT_EQ(box.Drive(), step.expectDrive);
    EXPECT_EQ(box.currentText().toStdString(), step.expectText);
    EXPECT_EQ(changes, step.expectChanges);
  }
}

TEST_F(DriveCombo, LinkedDirectoryListFollows) {
  enter("D:\\docs");
  enter("C:\\Windows");
  TDirectoryListBox list;
  TDriveComboBox box;
  box.SetDirList(&list);
  box.SetDrive('d');
  EXPECT_EQ(list.Directory(), "D:\\docs");
  // A drive that cannot be entered: the list keeps its directory, the box
  // shows the picked drive, and picking it again does nothing.
  EXPECT_THROW_MESSAGE(box.SetDrive('a'), EInOutError, "I/O error 21");
  EXPECT_EQ(list.Directory(), "D:\\docs");
  EXPECT_EQ(box.currentText(), "a:");
  box.SetDrive('a');
  // Opening a directory on the drive the box already shows still changes
  // the list's drive.
  EXPECT_THROW_MESSAGE(list.SetDirectory("A:\\"), EInOutError, "I/O error 21");
  EXPECT_EQ(list.Directory(), "D:\\docs");
  box.SetDrive('c');
  EXPECT_EQ(list.Directory(), "C:\\Windows");
  // The list's own drive change goes through the box.
  list.SetDirectory("D:\\docs\\letters");
  EXPECT_EQ(box.Drive(), 'd');
}

TEST_F(DriveCombo, DrawsGlyphAndText) {
  TDriveComboBox box;
  const int height = box.ItemHeight();
  EXPECT_EQ(height, std::max(box.fontMetrics().height(), 11));
  const QColor base = box.palette().color(QPalette::Base);
  QImage image(150, height, QImage::Format_ARGB32);
  image.fill(Qt::magenta);
  {
    QPainter painter(&image);
    box.DrawItem(&painter, 3, QRect(0, 0, 150, height), false);  // d: [data]
  }
  const int top = (height - 11) / 2;
  expectGlyphAt(image, TGlyph::Hard, 2, top, base);
  // The text starts 6 pixels after the glyph.
  bool ink = false;
  for (int y = 0; y < height; ++y) {
    EXPECT_EQ(image.pixel(18 + 3, y), base.rgb());  // the gap between glyph and text
    for (int x = 24; x < 30; ++x) ink = ink || image.pixel(x, y) != base.rgb();
  }
  EXPECT_TRUE(ink);
}

}  // namespace
