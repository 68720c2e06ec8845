// What the wizard settles before it writes: over a destination installed
// from a signed medium, with an unsigned one, it asks, and the answer Enter
// gives is No; over a destination whose install record is damaged it fails
// with nothing written (the installation could never be removed).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QKeyEvent>

#include "install/install_record.h"
#include "install/record_store.h"
#include "tests/app/wizard_fixture.h"

namespace {

// A record in `dest` pinning a publisher's key id.
void pinDestination(const std::string& dest) {
  install_record::Record record;
  record.application = "Earlier";
  record.publisherKey = "0123456789ABCDEF";
  const int fd = open(dest.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  std::string problem;
  EXPECT_TRUE(install_record::store(fd, record, problem)) << problem;
  close(fd);
}

void pressEnter(QWidget* box) {
  QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(box, &press);
}

// Next to the Destination page and Next again, which asks before the
// Installing page: the state once the question was answered (Destination on
// No, Finish after the installation on Yes); then the program ends.
WizardScenario::State throughTheQuestion(WizardScenario& s) {
  WizardScenario::State end{};
  s.run("C:\\dest", [&] {
    s.click(s.form2->ui->Button2);  // to the Destination page
    s.click(s.form2->ui->Button2);  // the question; on Yes, the installation
    end = s.state();
    s.click(s.form2->ui->Button1);
    if (end.page == TForm2::pgFinish) s.click(s.form2->ui->Button2);
  });
  return end;
}

TEST(WizardPublisherQuestion, EnterKeepsTheDestinationPageAndYesInstalls) {
  struct Row {
    const char* name;
    ModalAnswers::Action answer;
    WizardScenario::State end;
    bool installed;
    int status;
  };
  const Row rows[] = {
      {"Enter answers No: nothing is written", pressEnter, kDestination, false, 4},
      {"Yes installs over the other publisher's installation", ModalAnswers::press("Yes"), kFinish, true, 0},
  };
  for (const Row& row : rows) {
    WizardScenario s;
    ASSERT_EQ(s.makeMedium(0), 1u);
    s.dir.write("dest/keep.txt", "the user's");
    pinDestination(s.dir.file("dest"));
    ModalAnswers answers({row.answer});
    const WizardScenario::State end = throughTheQuestion(s);
    ASSERT_EQ(answers.seen.size(), 1u) << row.name;
    EXPECT_NE(answers.seen[0].text.find("this medium is unsigned"), std::string::npos) << row.name;
    EXPECT_NE(answers.seen[0].text.find("Install it anyway?"), std::string::npos) << row.name;
    EXPECT_EQ(end, row.end) << row.name;
    EXPECT_EQ(access(s.dir.file("dest/readme.txt").c_str(), F_OK) == 0, row.installed) << row.name;
    EXPECT_EQ(s.form2->ExitStatus(), row.status) << row.name;
  }
}

// Over an installation of the same product (same App, both unsigned) the
// wizard says which version is there and which the medium installs; Enter
// answers No over a newer version, Yes otherwise.
TEST(WizardVersionQuestion, EnterKeepsANewerVersionAndUpdatesAnOlderOne) {
  struct Row {
    const char* name;
    const char* installed;
    const char* medium;
    const char* says;
    WizardScenario::State end;
    bool written;
  };
  const Row rows[] = {
      {"1.9 over 1.10: Enter answers No, nothing written", "1.10", "1.9", "version 1.9, an older one", kDestination,
       false},
      {"1.10 over 1.9: Enter answers Yes and updates", "1.9", "1.10", "Update it?", kFinish, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    WizardScenario s;
    ASSERT_EQ(s.makeMedium(0), 1u);
    s.dir.write("medium/SETUP.INS", std::string("[Setup]\nTitle=Demo\nApp=Demo\nVersion=") + row.medium + "\n");
    s.dir.write("dest/keep.txt", "the user's");
    install_record::Record record;
    record.application = "Demo";
    record.version = row.installed;
    record.complete = true;
    const int fd = open(s.dir.file("dest").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    std::string problem;
    EXPECT_TRUE(install_record::store(fd, record, problem)) << problem;
    close(fd);
    ModalAnswers answers({pressEnter});
    const WizardScenario::State end = throughTheQuestion(s);
    ASSERT_EQ(answers.seen.size(), 1u);
    EXPECT_NE(answers.seen[0].text.find("Demo version " + std::string(row.installed) + " is installed"),
              std::string::npos)
        << answers.seen[0].text;
    EXPECT_NE(answers.seen[0].text.find(row.says), std::string::npos) << answers.seen[0].text;
    EXPECT_EQ(end, row.end);
    EXPECT_EQ(access(s.dir.file("dest/readme.txt").c_str(), F_OK) == 0, row.written);
    // The record the installation kept in this process's store goes with
    // the temporary destination.
    const int dest = open(s.dir.file("dest").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dest >= 0) {
      record_store::remove(dest);
      close(dest);
    }
  }
}

TEST(WizardDamagedRecord, FailsWithStatus1AndWritesNothing) {
  WizardScenario s;
  ASSERT_EQ(s.makeMedium(0), 1u);
  s.dir.write("dest/.install-record.json", "{\"format\":");
  ModalAnswers answers({ModalAnswers::press("OK")});
  s.run("C:\\dest", [&] {
    s.click(s.form2->ui->Button2);  // to the Destination page
    s.click(s.form2->ui->Button2);  // the installation, which fails at once
    QTimer::singleShot(200, [&] { s.click(s.form2->ui->Button1); });
  });
  ASSERT_EQ(answers.seen.size(), 1u);
  EXPECT_NE(answers.seen[0].text.find("cannot be used"), std::string::npos) << answers.seen[0].text;
  EXPECT_EQ(access(s.dir.file("dest/readme.txt").c_str(), F_OK), -1);
  EXPECT_EQ(s.dir.read("dest/.install-record.json"), "{\"format\":");
  EXPECT_EQ(s.form2->ExitStatus(), 1);
}

}  // namespace
