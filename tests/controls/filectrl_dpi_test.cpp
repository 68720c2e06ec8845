// The chooser on a screen of 120 pixels per inch. This binary has its own
// main(): the screen must be configured before the application starts.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <string>

#include "controls/choose_directory.h"
#include "controls/directory_list_box.h"
#include "controls/drive_combo_box.h"
#include "controls/file_list_box.h"
#include "controls/path_label.h"
#include "controls/select_dir_dlg.h"
#include "framework/gui/application.h"
#include "framework/gui/colors.h"
#include "tests/controls/filectrl_fixture.h"
#include "tests/support/modal.h"

namespace {

class ChooserAt120 : public FileCtrlFixture {};

TEST_F(ChooserAt120, ScalesAndCentresTheDialog) {
  ASSERT_EQ(qRound(QGuiApplication::primaryScreen()->logicalDotsPerInch()), 120);
  std::string dir = "C:\\Windows\\System";
  bool ran = false;
  whenModalShown([&](QWidget* w) {
    auto* dlg = qobject_cast<TSelectDirDlg*>(w);
    if (!dlg) {
      w->close();
      return;
    }
    ran = true;
    // Every place and size times 1.25, rounded.
    EXPECT_EQ(dlg->size(), QSize(530, 319));
    EXPECT_EQ(dlg->pos(), QPoint(1280 / 2 - 530 / 2, 1024 / 2 - 319 / 2));
    struct Row {
      QWidget* control;
      QRect geometry;
    } rows[] = {
        {dlg->DirLabel, QRect(10, 30, 391, 25)},   {dlg->DirEdit, QRect(10, 30, 391, 25)},
        {dlg->FileList, QRect(290, 90, 231, 116)}, {dlg->DriveList, QRect(290, 240, 231, 24)},
        {dlg->OKButton, QRect(320, 280, 96, 34)},  {dlg->CancelButton, QRect(425, 280, 96, 34)},
    };
    for (const auto& row : rows)
      EXPECT_EQ(row.control->geometry(), row.geometry) << row.control->metaObject()->className();
    EXPECT_EQ(dlg->Label1->pos(), QPoint(10, 10));
    EXPECT_EQ(dlg->Label3->pos(), QPoint(10, 70));
    EXPECT_EQ(dlg->Label4->pos(), QPoint(290, 70));
    EXPECT_EQ(dlg->Label2->pos(), QPoint(290, 220));
    EXPECT_EQ(dlg->DirList->pos(), QPoint(10, 90));
    EXPECT_EQ(dlg->DirList->width(), 266);
    EXPECT_LE(dlg->DirList->height(), 173);
    // The font and the item heights grow with it; the file list keeps its
    // grey text.
    EXPECT_EQ(dlg->font().pixelSize(), 14);
    EXPECT_EQ(dlg->FileList->font().pixelSize(), 14);
    const int text = dlg->fontMetrics().height();
    EXPECT_EQ(dlg->DirList->ItemHeight(), std::max(21, text));
    EXPECT_EQ(dlg->FileList->ItemHeight(), std::max(16, text));
    EXPECT_EQ((dlg->DirList->height() - 2 * dlg->DirList->frameWidth()) % dlg->DirList->ItemHeight(), 0);
    EXPECT_EQ(dlg->FileList->palette().color(QPalette::Text), rgbToQColor(colorToRGB(systemColor(17))));
    EXPECT_EQ(dlg->DirLabel->Text(), "C:\\Windows\\System");
    dlg->OKButton->click();
  });
  EXPECT_TRUE(ChooseDirectory(dir, 0, 0));
  EXPECT_TRUE(ran);
  EXPECT_EQ(dir, "C:\\Windows\\System");
}

}  // namespace

int main(int argc, char** argv) {
  QTemporaryDir scratch;
  const QString config = scratch.filePath("screen.json");
  QFile file(config);
  if (!file.open(QIODevice::WriteOnly)) return 2;
  file.write(R"({"screens":[{"name":"S","x":0,"y":0,"width":1280,"height":1024,)"
             R"("logicalDpi":120,"logicalBaseDpi":96,"dpr":1}]})");
  file.close();
  qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config).toLocal8Bit());
  qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
  ::testing::InitGoogleTest(&argc, argv);
  TApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
