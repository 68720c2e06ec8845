// The wizard's pages and buttons without an archive: Back and Next, Browse,
// the progress handler, what happens during an installation (Cancel, the
// close box, an early 100), and the stored layout of pictures, animation
// and BackupFile1.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QWindow>

#include "app/animate.h"
#include "controls/select_dir_dlg.h"
#include "tests/app/wizard_fixture.h"

namespace {

using State = WizardScenario::State;


TEST(WizardPages, BackAndNextFollowTheStateTable) {
  WizardScenario s;
  Ui::TForm2& ui = *s.form2->ui;
  struct Step {
    const char* name;
    QPushButton* button;
    State after;
  } steps[] = {
      {"Next on Welcome", ui.Button2, kDestination},
      {"Back on Destination", ui.Button3, kWelcome},
      {"Next again", ui.Button2, kDestination},
      {"Browse stays on Destination", nullptr, kDestination},
  };
  EXPECT_EQ(s.state(), kWelcome);
  for (const Step& step : steps) {
    if (step.button) s.click(step.button);
    EXPECT_EQ(s.state(), step.after) << step.name;
  }
}

TEST(WizardPages, BrowseReplacesTheDestinationOnlyOnOK) {
  struct Row {
    const char* name;
    std::function<void(TSelectDirDlg&)> inChooser;  // null: no chooser expected
    std::string start, end;
    std::vector<std::string> boxes;
  };
  const std::string title = TApplication::instance()->title();
  const Row rows[] = {
      {"OK on another directory",
       [](TSelectDirDlg& d) {
         d.SetDirectory("C:\\apps\\target");
         d.OKButton->click();
       },
       "C:\\apps",
       "C:\\apps\\target",
       {""}},
      {"Cancel keeps the text",
       [](TSelectDirDlg& d) {
         d.SetDirectory("C:\\apps\\target");
         d.CancelButton->click();
       },
       "C:\\apps",
       "C:\\apps",
       {""}},
      {"a drive that does not exist: error box, text kept",
       nullptr,
       "Q:\\apps",
       "Q:\\apps",
       {title + ": I/O error 15."}},
  };
  for (const Row& row : rows) {
    WizardScenario s;
    s.dir.write("apps/target/file.txt", "x");
    ModalAnswers answers({[&row](QWidget* w) {
      if (auto* chooser = qobject_cast<TSelectDirDlg*>(w); chooser && row.inChooser)
        row.inChooser(*chooser);
      else if (auto* b = w->findChild<QPushButton*>("OK"))
        b->click();
    }});
    s.run(row.start, [&] {
      s.click(s.form2->ui->Button2);
      s.click(s.form2->ui->Button4);
      // Ends once the chooser or the error box is over.
      QTimer::singleShot(50, s.form1.get(), [&] { s.click(s.form2->ui->Button1); });
    });
    EXPECT_EQ(fromQString(s.form2->ui->Edit1->text()), row.end) << row.name;
    EXPECT_TRUE(s.form2->ui->Edit1->isReadOnly()) << row.name;
    EXPECT_EQ(s.state(), kDestination) << row.name;
    std::vector<std::string> seen;
    for (const SeenBox& b : answers.seen) seen.push_back(row.inChooser ? b.text : b.caption + ": " + b.text);
    EXPECT_EQ(seen, row.boxes) << row.name;
  }
}

TEST(WizardPages, ProgressFillsTheBarAndAt100ShowsTheFinishPage) {
  struct Row {
    int percent;
    int bar;
    State after;
  } rows[] = {{0, 0, kDestination}, {99, 99, kDestination}, {100, 100, kFinish}, {255, 100, kFinish}};
  for (const Row& row : rows) {
    WizardScenario s;
    s.click(s.form2->ui->Button2);
    bool go = true;
    s.form2->BackupFile1Progress(s.form2->BackupFile1, "", TPercentage(row.percent), go);
    EXPECT_TRUE(go) << row.percent;
    EXPECT_EQ(s.form2->ui->ProgressBar1->value(), row.bar) << row.percent;
    EXPECT_EQ(s.state(), row.after) << row.percent;
  }
}

// Something done while the installation runs, after its first file.
TEST(WizardPages, DuringTheInstallation) {
  struct Row {
    const char* name;
    std::function<void(WizardScenario&)> action;
    bool endsWithoutFinish;  // the program ends on its own after the installation
    bool wizardVisible;
  } rows[] = {
      {"Cancel: the installation goes on, then the program ends",
       [](WizardScenario& s) { s.click(s.form2->ui->Button1); }, true, true},
      {"the close box hides the wizard; the installation goes on", [](WizardScenario& s) { s.form2->close(); }, false,
       false},
      {"an early 100: Finish is clicked while files are still written",
       [](WizardScenario& s) {
         bool go = true;
         s.form2->BackupFile1Progress(s.form2->BackupFile1, "", 100, go);
         s.click(s.form2->ui->Button2);
       },
       true, true},
  };
  for (const Row& row : rows) {
    WizardScenario s;
    ASSERT_EQ(s.makeMedium(0), 1u);
    int files = 0;
    TFileRestoredEvent wizardHandler = s.form2->BackupFile1->OnFileRestored;
    s.form2->BackupFile1->OnFileRestored =
        TFileRestoredEvent([&](TObject* sender, std::string& name, TFileStream*& stream) {
          wizardHandler(sender, name, stream);
          if (++files == 1) row.action(s);
        });
    bool terminatedAfterInstall = false;
    State after{};
    s.run("C:\\dest", [&] {
      s.click(s.form2->ui->Button2);
      s.click(s.form2->ui->Button2);
      after = s.state();
      terminatedAfterInstall = TApplication::instance()->Terminated();
      if (!terminatedAfterInstall) s.form1->close();  // the background window's own close
    });
    EXPECT_EQ(files, 3) << row.name;
    for (const char* name : {"app.dat", "guide.txt", "readme.txt"})
      EXPECT_TRUE(s.dir.exists(std::string("dest/") + name)) << row.name << ": " << name;
    EXPECT_EQ(terminatedAfterInstall, row.endsWithoutFinish) << row.name;
    EXPECT_EQ(after, kFinish) << row.name;
    EXPECT_EQ(s.form2->isVisible(), row.wizardVisible) << row.name;
  }
}

// A box opened while the stay-on-top wizard is shown stays above it.
TEST(WizardPages, ModalBoxesOpenAboveTheWizard) {
  WizardScenario s;
  QWindow* parent = nullptr;
  bool onTop = false;
  ModalAnswers answers({[&](QWidget* box) {
    parent = box->windowHandle()->transientParent();
    onTop = box->windowHandle()->flags() & Qt::WindowStaysOnTopHint;
    box->findChild<QPushButton*>("OK")->click();
  }});
  s.run("", [&] {
    application().messageDlg("Please insert disk 2 and click OK to continue.", TMsgDlgType::mtInformation,
                             buttonSet({mbOK, mbCancel}), 0);
    s.click(s.form2->ui->Button1);
  });
  ASSERT_EQ(answers.seen.size(), 1u);
  EXPECT_EQ(parent, s.form2->windowHandle());
  EXPECT_TRUE(onTop);
}

TEST(WizardLayout, PicturesAnimationAndBackupFile1) {
  WizardScenario s;
  Ui::TForm2& ui = *s.form2->ui;
  struct Picture {
    QLabel* image;
    const char* resource;
    QSize size;
  } pictures[] = {{ui.Image1, ":/pictures/side1.bmp", {117, 263}},
                  {ui.Image2, ":/pictures/side2.bmp", {117, 263}},
                  {ui.Image3, ":/pictures/side3.bmp", {117, 231}}};
  for (const Picture& p : pictures) {
    const QImage stored(p.resource);
    EXPECT_EQ(stored.size(), p.size) << p.resource;
    EXPECT_EQ(stored.format(), QImage::Format_Indexed8) << p.resource;
    EXPECT_EQ(stored.colorCount(), 256) << p.resource;
    // Drawn unscaled from the control's top-left corner, clipped by it.
    const QImage shown = p.image->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage expected = stored.convertToFormat(QImage::Format_RGB32);
    for (QPoint at : {QPoint(0, 0), QPoint(116, 0), QPoint(50, p.image->height() - 1), QPoint(116, 200)})
      EXPECT_EQ(shown.pixel(at), expected.pixel(at)) << p.resource << " at " << at.x() << "," << at.y();
    EXPECT_FALSE(p.image->hasScaledContents()) << p.resource;
  }

  const auto* animate = s.form2->findChild<TAnimate*>("Animate1");
  ASSERT_NE(animate, nullptr);
  EXPECT_EQ(animate->geometry(), QRect(88, 64, 272, 60));
  EXPECT_EQ(animate->FrameSize(), QSize(272, 60));
  EXPECT_EQ(animate->FrameCount(), 32);
  EXPECT_EQ(animate->CurrentFrame(), 0);
  EXPECT_FALSE(animate->Active());
  // The clip's background colour is left out: the page shows through.
  const QImage clip = QImage(":/pictures/copyfiles.gif");
  const QImage shownClip = s.form2->ui->Installing->grab(animate->geometry()).toImage();
  EXPECT_EQ(QColor(shownClip.pixel(0, 0)), s.form2->ui->Installing->palette().color(QPalette::Window));
  EXPECT_NE(QColor(shownClip.pixel(0, 0)), QColor(clip.pixel(0, 0)));

  // The stored settings are those the component writes back, handlers by name.
  QFile stored(":/unit2.backupfile1.layout");
  ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
  const std::string text = stored.readAll().toStdString();
  EXPECT_EQ(layoutToText(*s.form2->BackupFile1, s.form2->BackupFile1->writeLayout()),
            text.substr(0, text.find("Version")) + "Name = 'BackupFile1'\nTag = 0\n" +
                text.substr(text.find("Version")));
  EXPECT_EQ(s.form2->BackupFile1->designLeft, 128);
  EXPECT_EQ(s.form2->BackupFile1->designTop, 48);
  EXPECT_EQ(s.form2->BackupFile1->owner(), s.form2.get());
}

}  // namespace
