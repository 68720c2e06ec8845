// The installation end to end: the program's windows over a medium, clicked
// through from the Welcome page to the end of the program.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <utility>

#include <QElapsedTimer>
#include <QEvent>
#include <QImage>
#include <QProgressBar>
#include <QWindow>

#include "app/install_display.h"
#include "platform/files.h"
#include "tests/app/wizard_fixture.h"

namespace {

using State = WizardScenario::State;

// Unwritable: one volume, and dest\app.dat is a directory, so the first file
// cannot be written.
enum class Medium { OneVolume, TwoVolumes, Damaged, Missing, TwoBytes, Unwritable };

const char* const kDiskPrompt = "Please insert disk 2 and click OK to continue.";

std::string baseName(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

class InstallRun : public WizardScenario {
 public:
  void makeMedium(Medium medium) {
    switch (medium) {
      case Medium::OneVolume: EXPECT_EQ(WizardScenario::makeMedium(0), 1u); break;
      case Medium::TwoVolumes: EXPECT_EQ(WizardScenario::makeMedium(45000), 2u); break;
      case Medium::Damaged:  // a chunk that zlib rejects: the component reports it itself
        dir.write("medium/SETUP.BIN", ArchiveBuilder()
                                          .header(5)
                                          .file("C:\\bad.txt", 0x2A614A8F, DataBlock().compressedRaw("junk!"))
                                          .end()
                                          .bytes());
        break;
      case Medium::Missing: break;
      case Medium::TwoBytes: dir.write("medium/SETUP.BIN", "EC"); break;
      case Medium::Unwritable:
        EXPECT_EQ(WizardScenario::makeMedium(0), 1u);
        dir.write("dest/app.dat/keep", "x");
        break;
    }
  }

  // Records the text Label5 shows next after every restored file; runs
  // duringInstall once, after the first file.
  void watchFiles(std::function<void()> duringInstall = {}) {
    TFileRestoredEvent wizardHandler = form2->BackupFile1->OnFileRestored;
    form2->BackupFile1->OnFileRestored = TFileRestoredEvent(
        [this, wizardHandler, duringInstall](TObject* sender, std::string& name, TFileStream*& stream) mutable {
          wizardHandler(sender, name, stream);
          const std::string shown = fromQString(form2->Label5Text());
          if (labels.empty() || labels.back() != shown) labels.push_back(shown);
          if (duringInstall) std::exchange(duringInstall, {})();
        });
  }

  // Every payload file restored flat below hostDir with its content and date.
  void expectRestoredFlat(const std::string& hostDir, const char* row) {
    for (const PayloadFile& f : kPayload) {
      const std::string target = hostDir + "/" + baseName(f.relative);
      ASSERT_TRUE(dir.exists(target.substr(dir.path().size() + 1))) << row << ": " << target;
      EXPECT_EQ(dir.read(target.substr(dir.path().size() + 1)), dir.read("payload/" + f.relative)) << row;
      EXPECT_EQ(platform::fileAge("C:" + windowsTail(target)), platform::fileAge("C:\\payload\\" + windows(f.relative)))
          << row << ": " << target;
    }
  }

  // Runs step() once no modal window is open and `boxes` have been seen (at
  // most 5 s), so that an error box posted by a handler comes first.
  void whenQuiet(const ModalAnswers& answers, size_t boxes, std::function<void()> step) {
    auto* clock = new QElapsedTimer;
    clock->start();
    auto* timer = new QTimer(form1.get());
    QObject::connect(timer, &QTimer::timeout, [&answers, boxes, step = std::move(step), timer, clock] {
      if ((QApplication::activeModalWidget() || answers.seen.size() < boxes) && clock->elapsed() < 5000) return;
      timer->stop();
      timer->deleteLater();
      delete clock;
      step();
    });
    timer->start(10);
  }

  std::string windowsTail(const std::string& host) const { return windows(host.substr(dir.path().size())); }
  static std::string windows(std::string path) {
    for (char& c : path)
      if (c == '/') c = '\\';
    return path;
  }

  std::vector<std::string> labels;
};

// Records what the Finish page's text and picture hold each time they are
// painted: what the user saw, also behind an error box.
class FinishPaints : public QObject {
 public:
  explicit FinishPaints(Ui::TForm2& ui) : FUi(ui) {
    ui.Label6->installEventFilter(this);
    ui.Image3->installEventFilter(this);
  }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Paint) return false;
    if (watched == FUi.Label6) texts.push_back(fromQString(FUi.Label6->text()));
    if (watched == FUi.Image3) completedPicture.push_back(showsCompletedPicture(FUi));
    return false;
  }
  static bool showsCompletedPicture(const Ui::TForm2& ui) {
    const QImage completed = QImage(":/pictures/side3.bmp").convertToFormat(QImage::Format_RGB32);
    return ui.Image3->pixmap().toImage().convertToFormat(QImage::Format_RGB32) == completed;
  }
  std::vector<std::string> texts;
  std::vector<bool> completedPicture;

 private:
  Ui::TForm2& FUi;
};

TEST(Install, FromWelcomeToTheEnd) {
  struct Row {
    const char* name;
    Medium medium;
    std::string destination;
    std::vector<ModalAnswers::Action> answers;
    std::vector<std::string> boxes;   // "caption: text" of each modal box, in order ({dir}: the scratch directory)
    State end;                        // once the installation and its boxes are over
    std::string restoredTo;           // host directory below dir with every file, or empty
    std::vector<std::string> labels;  // Label5 after each restored file
    bool completed;                   // the Finish text says so (else: did not complete)
    const char* absent;               // a file below dir that must not exist, or null
    int status;                       // the program's exit status (TForm2::ExitStatus)
  };
  const std::string flat[] = {"C:\\dest\\app.dat", "C:\\dest\\guide.txt", "C:\\dest\\readme.txt"};
  const std::string title = TApplication::instance()->title();
  const Row rows[] = {
      {"one volume",
       Medium::OneVolume,
       "C:\\dest",
       {},
       {},
       kFinish,
       "dest",
       {flat[0], flat[1], flat[2]},
       true,
       nullptr,
       0},
      {"two volumes, OK at the disk prompt",
       Medium::TwoVolumes,
       "C:\\dest",
       {ModalAnswers::press("OK")},
       {std::string("Information: ") + kDiskPrompt},
       kFinish,
       "dest",
       {flat[0], flat[1], flat[2]},
       true,
       nullptr,
       0},
      // app.dat ends just before the volume change, so it might continue on the disk that
      // did not come: it is not kept either.
      {"two volumes, Cancel at the disk prompt",
       Medium::TwoVolumes,
       "C:\\dest",
       {ModalAnswers::press("Cancel")},
       {std::string("Information: ") + kDiskPrompt},
       kFinish,
       "",
       {},
       false,
       "dest/app.dat",
       4},
      {"empty destination: stored paths",
       Medium::OneVolume,
       "",
       {},
       {},
       kFinish,
       "",
       {"C:\\bin\\app.dat", "C:\\docs\\guide.txt", "C:\\readme.txt"},
       true,
       nullptr,
       0},
      {"damaged chunk: the component's error box names the file",
       Medium::Damaged,
       "C:\\dest",
       {ModalAnswers::press("OK")},
       {"Error: Compression error\n{dir}/dest/bad.txt"},
       kFinish,
       "",
       {},
       false,
       "dest/bad.txt",
       2},
      {"a file that cannot be written: the box names it and the reason",
       Medium::Unwritable,
       "C:\\dest",
       {ModalAnswers::press("OK")},
       {"Error: Cannot read file\ncould not write {dir}/dest/app.dat: Is a directory"},
       kFinish,
       "",
       {},
       false,
       "dest/guide.txt",
       1},
      {"missing archive: the application error box names it",
       Medium::Missing,
       "C:\\dest",
       {ModalAnswers::press("OK")},
       {title + ": The archive \"{dir}/medium/SETUP.BIN\" was not found."},
       kInstalling,
       "",
       {},
       true,
       nullptr,
       3},
      {"two-byte archive: the application error box",
       Medium::TwoBytes,
       "C:\\dest",
       {ModalAnswers::press("OK")},
       {title + ": Cannot read archive."},
       kInstalling,
       "",
       {},
       true,
       nullptr,
       2},
  };
  for (const Row& row : rows) {
    InstallRun s;
    s.makeMedium(row.medium);
    s.watchFiles();
    FinishPaints finish(*s.form2->ui);
    ModalAnswers answers(row.answers);
    State end{};
    std::string label5;
    bool terminatedBeforeEnd = true;
    const int exitCode = s.run(row.destination, [&] {
      s.click(s.form2->ui->Button2);
      s.click(s.form2->ui->Button2);  // returns when the installation has ended
      s.whenQuiet(answers, row.boxes.size(), [&] {
        end = s.state();
        label5 = fromQString(s.form2->ui->Label5->text());
        terminatedBeforeEnd = TApplication::instance()->Terminated();
        s.click(end.page == TForm2::pgFinish ? s.form2->ui->Button2 : s.form2->ui->Button1);
      });
    });

    EXPECT_EQ(exitCode, 0) << row.name;
    EXPECT_EQ(s.form2->ExitStatus(), row.status) << row.name;
    EXPECT_FALSE(terminatedBeforeEnd) << row.name;
    EXPECT_TRUE(TApplication::instance()->Terminated()) << row.name;
    EXPECT_EQ(end, row.end) << row.name;
    std::vector<std::string> seen;
    for (const SeenBox& b : answers.seen) {
      std::string text = b.text;
      if (size_t at = text.find(s.dir.path()); at != std::string::npos) text.replace(at, s.dir.path().size(), "{dir}");
      seen.push_back(b.caption + ": " + text);
    }
    EXPECT_EQ(seen, row.boxes) << row.name;
    EXPECT_EQ(s.labels, row.labels) << row.name;
    EXPECT_EQ(label5, row.labels.empty() ? "" : row.labels.back()) << row.name;  // never a placeholder
    EXPECT_EQ(s.form2->ui->ProgressBar1->value(), row.end.page == TForm2::pgFinish ? 100 : 0) << row.name;
    if (!row.restoredTo.empty()) s.expectRestoredFlat(s.dir.file(row.restoredTo), row.name);
    if (row.absent) {
      EXPECT_FALSE(s.dir.exists(row.absent)) << row.name;
    }
    // The Finish page says how the installation ended, and it never said
    // anything else: not before the error box, nor behind it.
    const char* const outcome =
        row.completed ? "Setup is complete and " : "Setup did not complete and not every file of ";
    EXPECT_TRUE(fromQString(s.form2->ui->Label6->text()).starts_with(outcome)) << row.name;
    if (row.end.page == TForm2::pgFinish) {
      ASSERT_FALSE(finish.texts.empty() || finish.completedPicture.empty()) << row.name;
      for (const std::string& text : finish.texts) EXPECT_TRUE(text.starts_with(outcome)) << row.name << ": " << text;
      for (bool completed : finish.completedPicture) EXPECT_EQ(completed, row.completed) << row.name;
      // A screen reader hears the picture that is shown.
      EXPECT_EQ(fromQString(s.form2->ui->Image3->accessibleName()),
                row.completed ? "Picture: a check mark" : "Picture: an exclamation mark")
          << row.name;
    }
  }
}

// Cancel while volume 1 is copied: the installation still asks for disk 2,
// restores every file, and the program then ends without waiting on Finish.
TEST(Install, CancelDuringTheFirstVolumeRunsTheInstallationToItsEnd) {
  InstallRun s;
  s.makeMedium(Medium::TwoVolumes);
  // Cancel at the first chunk, while volume 1 is being copied.
  TProgressEvent wizardProgress = s.form2->BackupFile1->OnProgress;
  bool clicked = false;
  s.form2->BackupFile1->OnProgress =
      TProgressEvent([&](TObject* sender, const std::string& name, TPercentage percent, bool& go) {
        wizardProgress(sender, name, percent, go);
        if (!std::exchange(clicked, true)) s.click(s.form2->ui->Button1);
      });
  ModalAnswers answers({[&](QWidget* box) {
    EXPECT_TRUE(TApplication::instance()->Terminated());  // asked although the end was requested
    ModalAnswers::press("OK")(box);
  }});
  State after{};
  bool terminated = false;
  const int exitCode = s.run("C:\\dest", [&] {
    s.click(s.form2->ui->Button2);
    s.click(s.form2->ui->Button2);
    after = s.state();
    terminated = TApplication::instance()->Terminated();
  });
  EXPECT_EQ(exitCode, 0);
  EXPECT_TRUE(terminated);
  EXPECT_EQ(after, kFinish);
  ASSERT_EQ(answers.seen.size(), 1u);
  EXPECT_EQ(answers.seen[0].text, kDiskPrompt);
  s.expectRestoredFlat(s.dir.file("dest"), "Cancel during volume 1");
}

// Records what a label and a progress bar hold each time they are painted.
class PaintLog : public QObject {
 public:
  PaintLog(QLabel* label, QProgressBar* bar) : FLabel(label), FBar(bar) {
    label->installEventFilter(this);
    bar->installEventFilter(this);
  }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      if (watched == FLabel) labels.push_back(fromQString(FLabel->text()));
      if (watched == FBar) values.push_back(FBar->value());
    }
    return false;
  }
  std::vector<std::string> labels;
  std::vector<int> values;

 private:
  QLabel* FLabel;
  QProgressBar* FBar;
};

// What the handlers hand over is painted at the next paint, and only what
// changed. The label holds the last name once the display ends.
TEST(Install, TheDisplayPaintsWhatChangedAtEachPaint) {
  QWidget page;
  page.resize(440, 200);
  QLabel label("Installing File: %s", &page);
  label.move(8, 24);
  QProgressBar bar(&page);
  bar.setGeometry(16, 136, 409, 25);
  bar.setTextVisible(false);
  bar.setValue(0);
  page.show();
  QCoreApplication::processEvents();
  page.repaint();  // nothing left to paint
  PaintLog paints(&label, &bar);
  {
    InstallDisplay display(&page, &label, &bar);
    display.showFile("C:\\dest\\a.txt");
    display.showProgress(50);
    QCoreApplication::processEvents();
    EXPECT_TRUE(paints.labels.empty() && paints.values.empty());  // handed over, not yet shown
    EXPECT_EQ(fromQString(display.fileText()), "C:\\dest\\a.txt");
    display.paintNow();
    display.showProgress(100);
    display.paintNow();
    display.paintNow();  // nothing changed
    display.showFile("C:\\dest\\b.txt");
  }
  EXPECT_EQ(paints.labels, std::vector<std::string>{"C:\\dest\\a.txt"});
  EXPECT_EQ(paints.values, (std::vector<int>{50, 100}));
  EXPECT_EQ(fromQString(label.text()), "C:\\dest\\b.txt");
}

// Painting is coalesced while files arrive faster than frames, but the page
// is never left without showing its final state: the last file and a full
// bar are painted before the Finish page replaces it. (The bar is full with
// the last file's last chunk; the Finish page waits for the component's last
// report, after that file is finished.)
TEST(Install, AFastInstallationPaintsTheLastFileAndAFullBar) {
  for (int files : {1, 300}) {
    SCOPED_TRACE(files);
    InstallRun s;
    std::string last;
    for (int i = 0; i < files; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "many/f%04d.txt", i);
      s.dir.write(name, "file " + std::to_string(i));
      last = std::string("C:\\dest\\") + (name + 5);
    }
    setupkit::PackOptions options;
    options.archive = s.dir.file("medium/SETUP.BIN");
    options.sources = {s.dir.file("many")};
    options.threads = 1;
    setupkit::pack(options);
    s.watchFiles();
    PaintLog paints(s.form2->ui->Label5, s.form2->ui->ProgressBar1);
    std::string labelWhenLeft;
    QObject::connect(s.form2->ui->Notebook1, &QStackedWidget::currentChanged, [&](int page) {
      if (page == TForm2::pgFinish && labelWhenLeft.empty()) labelWhenLeft = fromQString(s.form2->ui->Label5->text());
    });
    State end{};
    s.run("C:\\dest", [&] {
      s.click(s.form2->ui->Button2);
      s.click(s.form2->ui->Button2);  // the whole installation
      end = s.state();
      s.click(s.form2->ui->Button2);  // Finish
    });
    EXPECT_EQ(end, kFinish);
    ASSERT_EQ(s.labels.size(), size_t(files));
    EXPECT_EQ(s.labels.back(), last);
    EXPECT_EQ(fromQString(s.form2->ui->Label5->text()), last);
    EXPECT_EQ(labelWhenLeft, last);
    ASSERT_FALSE(paints.labels.empty());
    EXPECT_EQ(paints.labels.back(), labelWhenLeft);
    ASSERT_FALSE(paints.values.empty());
    EXPECT_EQ(paints.values.back(), 100);
  }
}

}  // namespace

namespace {

// An installation by the wizard can be removed: the medium's uninstaller is
// placed in the destination beside the install record, and run there it
// removes every file the wizard wrote but the one the user changed since.
TEST(Install, TheWizardsInstallationIsRemovedByItsUninstaller) {
  InstallRun s;
  s.makeMedium(Medium::OneVolume);
  s.dir.write("medium/uninstall", readHostFile(SETUP_UNINSTALLER));
  chmod(s.dir.file("medium/uninstall").c_str(), 0755);
  s.run("C:\\dest", [&] {
    s.click(s.form2->ui->Button2);
    s.click(s.form2->ui->Button2);
    s.click(s.form2->ui->Button2);  // Finish
  });
  ASSERT_TRUE(s.dir.exists("dest/.install-record.json"));
  ASSERT_TRUE(s.dir.exists("dest/uninstall"));
  s.dir.write("dest/readme.txt", "changed by the user");
  s.dir.write("dest/mine.txt", "the user's own");

  const std::string command = "'" + s.dir.file("dest/uninstall") + "' --unattended > /dev/null 2>&1 < /dev/null";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  std::vector<std::string> left;
  for (const char* name : {"app.dat", "guide.txt", "readme.txt", "mine.txt", "uninstall", ".install-record.json"})
    if (s.dir.exists(std::string("dest/") + name)) left.push_back(name);
  EXPECT_EQ(left, (std::vector<std::string>{"readme.txt", "mine.txt"}));
}

}  // namespace
