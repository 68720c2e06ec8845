// An installation found and removed through the real programs: a medium with
// a menu entry installed with `setupkit restore --record`, the entry checked
// with desktop-file-validate, then removed by DEST/uninstall; and the records
// and trees an uninstall must refuse or step around.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

#include "install/record_store.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/tool_test_util.h"

using namespace tooltest;
namespace fs = std::filesystem;

namespace {

constexpr uid_t kOtherUser = 65534;


// A 16 x 16 PNG image.
const std::string kIcon(
    "\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x10\x00\x00\x00\x10\x08\x06\x00"
    "\x00\x00\x1f\xf3\xff\x61\x00\x00\x00\x19\x49\x44\x41\x54\x78\xda\x63\x50\x48\x38\xf0\x9f\x12\xcc\x30\x6a\xc0"
    "\xa8\x01\xa3\x06\x0c\x17\x03\x00\xc1\xe2\x3f\x1f\xd6\x0f\xdf\xba\x00\x00\x00\x00\x49\x45\x4e\x44\xae\x42\x60"
    "\x82",
    82);

void writePayload(TempDir& tmp) {
  writeFile(tmp.file("payload/bin/app"), "#!/bin/sh\necho demo\n");
  writeFile(tmp.file("payload/share/icon.png"), kIcon);
  writeFile(tmp.file("payload/docs/readme.txt"), "read me");
  writeFile(tmp.file("payload/docs/deep/guide.txt"), "a guide");
}

// As a user (root acts as user 65534, so that the entry goes to the user's
// folder and nothing of the machine's menu is touched): install, validate
// the entry, ask the desktop's tools for its icon and file type, change one
// file, add one, uninstall, and ask again.
TEST(Uninstall, AMenuEntryMediumInstalledAndRemoved) {
  TempDir tmp;
  chmod(tmp.path().c_str(), 0755);
  writePayload(tmp);
  RunResult medium = runSetupkit(
      "medium -o medium --runtime system --title Demo --app 'Demo App' --dest /opt/demo --menu-name 'Demo App' "
      "--menu-exec bin/app --menu-icon share/icon.png --menu-categories 'Office;Spreadsheet' --menu-comment 'Try it' "
      "--menu-mime 'application/x-demo-sheet=*.dsh' --menu-mime 'application/x-demo-sheet=*.dsx' payload",
      tmp.path(), tmp.path());
  ASSERT_EQ(medium.status, 0) << medium.err;
  ASSERT_TRUE(fs::exists(tmp.file("medium/uninstall")));

  const std::string home = tmp.file("home");
  const std::string dest = home + "/Demo App";  // a blank: Exec must quote it
  fs::create_directories(home);
  std::string as = "env HOME=" + quoted(home) + " XDG_DATA_HOME=" + quoted(home + "/data") + " ";
  if (geteuid() == 0) {
    chown(home.c_str(), kOtherUser, kOtherUser);
    as = "setpriv --reuid=65534 --regid=65534 --clear-groups " + as;
  }
  ASSERT_EQ(
      shell(as + SETUPKIT_BINARY + " restore --record " + quoted(tmp.file("medium/SETUP.BIN")) + " " + quoted(dest)),
      0);
  const std::string applications = home + "/data/applications";
  std::vector<std::string> entries = entriesBelow(applications);
  entries.erase(std::remove(entries.begin(), entries.end(), "mimeinfo.cache"), entries.end());
  ASSERT_EQ(entries.size(), 1u);
  const std::string entry = readFile(applications + "/" + entries[0]);
  if (shell("command -v desktop-file-validate > /dev/null") == 0) {
    EXPECT_EQ(shell("desktop-file-validate " + quoted(applications + "/" + entries[0])), 0) << entry;
  }
  // The icon by name from the hicolor theme, the file types declared.
  const std::string stem = entries[0].substr(0, entries[0].size() - std::string(".desktop").size());
  EXPECT_NE(entry.find("Icon=" + stem + "\n"), std::string::npos) << entry;
  EXPECT_NE(entry.find("MimeType=application/x-demo-sheet;\n"), std::string::npos) << entry;
  EXPECT_NE(entry.find("Exec=\"" + dest + "/bin/app\" %F\n"), std::string::npos) << entry;
  EXPECT_EQ(readFile(home + "/data/icons/hicolor/16x16/apps/" + stem + ".png"), kIcon);
  EXPECT_TRUE(fs::exists(home + "/data/mime/packages/" + stem + ".xml"));
  // As a desktop asks: which type a file is, which program opens it.
  const std::string sheet = home + "/table.dsx";
  writeFile(sheet, "1;2;3\n");
  chmod(sheet.c_str(), 0644);
  const bool xdgMime = shell("command -v xdg-mime > /dev/null && command -v update-mime-database > /dev/null") == 0;
  auto ask = [&](const std::string& question) {
    const std::string answer = tmp.file("answer.txt");
    // Only this user's data folder and the system's packaged one: an entry
    // the machine's administrator installed (make demo as root) for the same
    // type must not answer for the user's.
    shell(as +
          "env -u XDG_CURRENT_DESKTOP -u DESKTOP_SESSION -u KDE_FULL_SESSION -u GNOME_DESKTOP_SESSION_ID "
          "XDG_DATA_DIRS=/usr/share xdg-mime query " +
          question + " > " + quoted(answer) + " 2>/dev/null");
    return readFile(answer);
  };
  if (xdgMime) {
    EXPECT_EQ(ask("filetype " + quoted(sheet)), "application/x-demo-sheet\n");
    EXPECT_EQ(ask("default application/x-demo-sheet"), entries[0] + "\n");
  }

  writeFile(dest + "/docs/readme.txt", "changed by the user");
  writeFile(dest + "/docs/deep/mine.txt", "the user's own");
  const std::string out = tmp.file("out.json");
  EXPECT_EQ(shell(as + quoted(dest + "/uninstall") + " --unattended --json > " + quoted(out)), 0);
  EXPECT_EQ(entriesBelow(dest),
            (std::vector<std::string>{"docs/", "docs/deep/", "docs/deep/mine.txt", "docs/readme.txt"}));
  // The menu's cache (update-desktop-database's) is the menu's, not the installation's.
  entries = entriesBelow(applications);
  entries.erase(std::remove(entries.begin(), entries.end(), "mimeinfo.cache"), entries.end());
  EXPECT_EQ(entries, std::vector<std::string>{}) << "the menu entry stays";
  EXPECT_EQ(entriesBelow(home + "/data/icons/hicolor/16x16/apps"), std::vector<std::string>{});
  EXPECT_EQ(entriesBelow(home + "/data/mime/packages"), std::vector<std::string>{});
  if (xdgMime) {
    EXPECT_NE(ask("filetype " + quoted(sheet)), "application/x-demo-sheet\n");
    EXPECT_EQ(ask("default application/x-demo-sheet"), "");
  }
  const std::string json = readFile(out);
  EXPECT_NE(
      json.find(R"({"event":"kept","kind":"file","name":"docs/readme.txt","reason":"changed since it was installed"})"),
      std::string::npos)
      << json;
  EXPECT_NE(json.find(R"("event":"done","status":0)"), std::string::npos) << json;

  EXPECT_EQ(shell(as + SETUPKIT_BINARY + " uninstall --unattended " + quoted(dest) + " > /dev/null 2>&1"), 3);
}

// Records and trees that an uninstall refuses or steps around. Each row
// starts from a fresh installation of the payload.
TEST(Uninstall, RefusesWhatTheRecordDoesNotAllow) {
  struct Row {
    const char* name;
    std::function<void(TempDir&, const std::string& dest)> spoil;
    int status;
    std::vector<std::string> left;  // below DEST afterwards
  };
  const std::vector<std::string> everything = {
      ".install-record.json", "bin/",   "bin/app",        "docs/",    "docs/deep/", "docs/deep/guide.txt",
      "docs/readme.txt",      "share/", "share/icon.png", "uninstall"};
  // The record the uninstaller acts on: the one in this user's store (the
  // copy in DEST is for people to read).
  auto storedRecord = [](const std::string& dest) {
    return record_store::directory() + "/" + record_store::recordName(fs::canonical(dest).string());
  };
  auto editRecord = [&](const std::string& dest, const std::string& from, const std::string& to) {
    const std::string record = storedRecord(dest);
    writeFile(record, replaceAll(readFile(record), from, to));
  };
  auto plantLink = [](const std::string& target, const std::string& at) {
    fs::remove_all(at);
    fs::create_symlink(target, at);
    if (geteuid() == 0) lchown(at.c_str(), kOtherUser, kOtherUser);  // planted by another user
  };
  const Row rows[] = {
      {"a damaged record", [&](TempDir&, const std::string& dest) { writeFile(storedRecord(dest), "{\"format\":"); }, 2,
       everything},
      {"a record naming ../x",
       [&](TempDir&, const std::string& dest) { editRecord(dest, "\"name\":\"bin/app\"", "\"name\":\"../x\""); }, 5,
       everything},
      {"a record naming an absolute path",
       [&](TempDir& tmp, const std::string& dest) {
         editRecord(dest, "\"name\":\"bin/app\"", "\"name\":\"" + tmp.file("x") + "\"");
       },
       5, everything},
      {"a link planted where a recorded file was",
       [&](TempDir& tmp, const std::string& dest) { plantLink(tmp.file("x"), dest + "/docs/readme.txt"); },
       0,
       {"docs/", "docs/readme.txt"}},
      {"a link planted where a recorded folder was",
       [&](TempDir& tmp, const std::string& dest) {
         fs::create_directories(tmp.file("elsewhere/deep"));
         writeFile(tmp.file("elsewhere/deep/guide.txt"), "a guide");  // what the record names, byte for byte
         plantLink(tmp.file("elsewhere/deep"), dest + "/docs/deep");
       },
       0,
       {"docs/", "docs/deep"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TempDir tmp;
    writePayload(tmp);
    writeFile(tmp.file("x"), "#!/bin/sh\necho demo\n");  // the bytes of bin/app
    packTree(tmp.file("SETUP.BIN"), {tmp.file("payload")});
    const std::string dest = tmp.file("dest");
    ASSERT_EQ(runSetupkit("restore --record SETUP.BIN dest", tmp.path(), tmp.path()).status, 0);
    ASSERT_EQ(entriesBelow(dest), everything);
    row.spoil(tmp, dest);
    RunResult r = runSetupkit("uninstall --unattended " + quoted(dest), tmp.path(), tmp.path());
    EXPECT_EQ(r.status, row.status) << r.err;
    EXPECT_EQ(entriesBelow(dest), row.left);
    EXPECT_EQ(readFile(tmp.file("x")), "#!/bin/sh\necho demo\n");
    if (fs::exists(tmp.file("elsewhere"))) {
      EXPECT_EQ(readFile(tmp.file("elsewhere/deep/guide.txt")), "a guide");
    }
  }
}

// A removal that fails (a folder the uninstalling user may not change) keeps
// the record with what is left and the uninstaller; a second run finishes.
TEST(Uninstall, WhatCouldNotBeRemovedStaysRecordedForASecondRun) {
  TempDir tmp;
  chmod(tmp.path().c_str(), 0755);
  writePayload(tmp);
  packTree(tmp.file("SETUP.BIN"), {tmp.file("payload")});
  const std::string dest = tmp.file("dest");
  ASSERT_EQ(runSetupkit("restore --record SETUP.BIN dest", tmp.path(), tmp.path()).status, 0);
  // Root may change any folder: it uninstalls as another user, who owns
  // everything but docs/deep.
  const std::string as = geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
  const std::string locked = dest + "/docs/deep";
  if (geteuid() == 0) {
    ASSERT_EQ(shell("chown -R 65534:65534 " + quoted(dest)), 0);
    chown(locked.c_str(), 0, 0);
  }
  chmod(locked.c_str(), 0555);
  const std::string uninstall = as + quoted(dest + "/uninstall") + " --unattended > /dev/null 2>&1";
  EXPECT_EQ(shell(uninstall), 1);
  EXPECT_EQ(entriesBelow(dest), (std::vector<std::string>{".install-record.json", "docs/", "docs/deep/",
                                                          "docs/deep/guide.txt", "uninstall"}));
  chmod(locked.c_str(), 0755);
  if (geteuid() == 0) chown(locked.c_str(), kOtherUser, kOtherUser);
  EXPECT_EQ(shell(uninstall), 0);
  EXPECT_EQ(entriesBelow(dest), std::vector<std::string>{});
}

}  // namespace
