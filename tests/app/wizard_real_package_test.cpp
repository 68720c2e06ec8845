// A real application installed through the wizard: a Debian package's tree
// (tests/tools/real_package.sh prepares it and names it in
// SETUPKIT_REAL_TREE) with a link, an empty folder, an executable script and
// a 0600 file, made into a medium by setupkit and installed into C:\dest.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/app/wizard_fixture.h"
#include "tools/medium.h"

namespace {

namespace fs = std::filesystem;

unsigned modeOf(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? unsigned(st.st_mode & 07777) : 0;
}

std::string fileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string outputOf(const std::string& command) {
  std::string text;
  if (std::FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[256];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, n);
    pclose(pipe);
  }
  return text;
}

TEST(RealPackage, InstallsThroughTheWizardWithItsTreeModesAndLinks) {
  const char* tree = std::getenv("SETUPKIT_REAL_TREE");
  if (!tree || !*tree) GTEST_SKIP() << "no package tree (run tests/tools/real_package.sh)";
  WizardScenario s;
  setupkit::MediumOptions options;
  options.directory = s.dir.file("medium");
  options.title = "Hello";
  options.app = "Hello";
  options.destDir = "C:\\opt\\Hello";
  options.pack.sources = {tree};
  options.pack.threads = 1;
  setupkit::makeMedium(options, "");

  WizardScenario::State end{};
  const int exitCode = s.run("C:\\dest", [&] {
    s.form1->ReadConfiguration("C:\\medium\\SETUP.INS");
    s.form2->ui->Edit1->setText("C:\\dest");
    s.click(s.form2->ui->Button2);
    s.click(s.form2->ui->Button2);
    end = s.state();
    s.click(s.form2->ui->Button2);
  });
  EXPECT_EQ(exitCode, 0);
  EXPECT_EQ(end, kFinish);
  const std::string dest = s.dir.file("dest");
  EXPECT_TRUE(fromQString(s.form2->ui->Label6->text()).starts_with("Setup is complete"));
  EXPECT_EQ(outputOf(dest + "/usr/bin/hello -g installed"), "installed\n");
  EXPECT_EQ(outputOf(dest + "/usr/bin/hello-wrap -g wrapped"), "wrapped\n");
  EXPECT_EQ(fs::read_symlink(dest + "/usr/bin/hi"), "hello");
  EXPECT_EQ(fs::canonical(dest + "/usr/bin/hi"), fs::canonical(dest + "/usr/bin/hello"));
  EXPECT_TRUE(fs::is_directory(dest + "/var/lib/hello-empty"));
  EXPECT_EQ(modeOf(dest + "/usr/bin/hello"), 0755u);
  EXPECT_EQ(modeOf(dest + "/usr/share/doc/hello/settings"), 0600u);
  // hello.mo of every language in its own folder, none overwritten.
  for (const char* language : {"de", "fr"}) {
    const std::string mo = std::string("/usr/share/locale/") + language + "/LC_MESSAGES/hello.mo";
    EXPECT_EQ(fileText(dest + mo), fileText(tree + mo)) << mo;
  }
}

}  // namespace
