#pragma once
// The wizard over a real medium: a C: drive over a temporary directory, a
// payload of three files with known dates, SETUP.BIN made from it by the
// authoring library in C:\medium\, and the program's main loop run with a
// script of clicks. Modal boxes are answered in order and recorded.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <utime.h>

#include "app/unit1.h"
#include "app/unit2.h"
#include "framework/gui/application.h"
#include "framework/gui/text.h"
#include "tests/support/archive_builder.h"
#include "tests/support/temp_dir.h"
#include "tools/pack.h"

// What a modal box showed: its caption and its message text (empty for
// windows without one, such as the directory chooser).
struct SeenBox {
  std::string caption, text;
};

// Answers modal windows in the order they appear, one action each, and
// records them. A window beyond the given actions is rejected.
class ModalAnswers {
 public:
  using Action = std::function<void(QWidget*)>;

  explicit ModalAnswers(std::vector<Action> actions) : FActions(std::move(actions)) {
    QObject::connect(&FTimer, &QTimer::timeout, [this] { poll(); });
    FTimer.start(5);
  }

  // Clicks the box's button with this object name ("OK", "Cancel").
  static Action press(const std::string& button) {
    return [button](QWidget* box) {
      if (auto* b = box->findChild<QPushButton*>(QString::fromStdString(button)))
        b->click();
      else
        ADD_FAILURE() << "no button " << button;
    };
  }

  std::vector<SeenBox> seen;

 private:
  void poll() {
    QWidget* box = QApplication::activeModalWidget();
    if (!box || box == FHandled.data()) return;
    FHandled = box;
    auto* message = box->findChild<QLabel*>("Message");
    seen.push_back({fromQString(box->windowTitle()), message ? fromQString(message->text()) : std::string()});
    if (FNext < FActions.size())
      FActions[FNext++](box);
    else if (auto* dialog = qobject_cast<QDialog*>(box))
      dialog->reject();
  }

  std::vector<Action> FActions;
  size_t FNext = 0;
  QTimer FTimer;
  QPointer<QWidget> FHandled;
};

// One run of the program's windows in a scratch drive C:. Created and
// destroyed like the program does, so that each table row starts afresh.
class WizardScenario {
 public:
  // The state of the wizard's page and buttons, for comparison.
  struct State {
    int page;
    bool back, next, cancel;
    std::string nextCaption;
    bool operator==(const State&) const = default;
  };
  struct PayloadFile {
    std::string relative;  // below the payload directory
    size_t size;
    int year;  // the file's date: 1 March of that year, 10:20:30 local time
  };
  // Poorly compressible, so that a small volume size splits the archive.
  inline static const std::vector<PayloadFile> kPayload = {
      {"readme.txt", 1000, 1998}, {"bin/app.dat", 40000, 2001}, {"docs/guide.txt", 30000, 2005}};

  WizardScenario() : drive(dir.path()) {
    form1 = std::make_unique<TForm1>();
    Form1 = form1.get();
    form2 = std::make_unique<TForm2>();
    Form2 = form2.get();
    form2->FProgramDirectory = "C:\\medium\\";
  }
  ~WizardScenario() {
    TApplication::instance()->ClearTerminated();
    Form2 = nullptr;
    Form1 = nullptr;
    form2.reset();
    form1.reset();
  }
  WizardScenario(const WizardScenario&) = delete;
  WizardScenario& operator=(const WizardScenario&) = delete;

  // Writes the payload and packs it into C:\medium\SETUP.BIN; volumeSize 0
  // gives one volume. Returns the number of volumes.
  size_t makeMedium(int64_t volumeSize) {
    uint32_t seed = 1;
    for (const PayloadFile& f : kPayload) {
      dir.write("payload/" + f.relative, patternBytes(f.size, seed++));
      std::tm t{};
      t.tm_year = f.year - 1900;
      t.tm_mon = 2;
      t.tm_mday = 1;
      t.tm_hour = 10;
      t.tm_min = 20;
      t.tm_sec = 30;
      t.tm_isdst = -1;
      utimbuf times{std::mktime(&t), std::mktime(&t)};
      utime(dir.file("payload/" + f.relative).c_str(), &times);
    }
    setupkit::PackOptions options;
    options.archive = dir.file("medium/SETUP.BIN");
    options.sources = {dir.file("payload")};
    options.volumeSize = volumeSize;
    options.threads = 1;
    return setupkit::pack(options).volumes.size();
  }

  // Runs the program's main loop: script runs once the windows are shown,
  // with the destination field set to destination. Returns Run's result.
  int run(const std::string& destination, const std::function<void()>& script) {
    TApplication& app = *TApplication::instance();
    QTimer::singleShot(0, form1.get(), [&] {
      form2->ui->Edit1->setText(toQString(destination));
      script();
    });
    return app.Run(form1.get());
  }

  // Clicks a wizard button; the click returns when its handler has ended.
  static void click(QPushButton* button) { button->click(); }

  State state() const {
    const Ui::TForm2& ui = *form2->ui;
    return {ui.Notebook1->currentIndex(), ui.Button3->isEnabled(), ui.Button2->isEnabled(), ui.Button1->isEnabled(),
            fromQString(ui.Button2->text())};
  }

  TempDir dir;
  ScopedDriveC drive;
  std::unique_ptr<TForm1> form1;
  std::unique_ptr<TForm2> form2;
};

// The wizard's pages as the state table defines them.
inline const WizardScenario::State kWelcome{0, false, true, true, "Next >"};
inline const WizardScenario::State kDestination{1, true, true, true, "Next >"};
inline const WizardScenario::State kInstalling{2, false, false, true, "Next >"};
inline const WizardScenario::State kFinish{3, false, true, false, "Finish"};

inline std::ostream& operator<<(std::ostream& os, const WizardScenario::State& s) {
  return os << "page " << s.page << " back " << s.back << " next " << s.next << " cancel " << s.cancel << " \""
            << s.nextCaption << "\"";
}
