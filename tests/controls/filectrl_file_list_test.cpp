// The file list: which entries it lists, their order and glyphs, masks and
// kinds, following a path.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "controls/file_list_box.h"
#include "framework/core/exceptions.h"
#include "platform/current_dir.h"
#include "tests/controls/filectrl_fixture.h"
#include "tests/support/expect_message.h"

namespace {

std::vector<std::string> textsOf(const TFileListBox& list) {
  std::vector<std::string> texts;
  for (int i = 0; i < list.count(); ++i) texts.push_back(list.item(i)->text().toStdString());
  return texts;
}

class FileList : public FileCtrlFixture {};

TEST_F(FileList, ListsVisibleFilesSorted) {
  enter("C:\\Windows\\System");
  TFileListBox list;
  EXPECT_EQ(list.Directory(), "C:\\Windows\\System");
  // No directories, no hidden file, no pipe (a system entry).
  EXPECT_EQ(textsOf(list), (std::vector<std::string>{"A.exe", "b.dll", "c.txt"}));
  EXPECT_EQ(list.ItemGlyph(0), TGlyph::Executable);
  EXPECT_EQ(list.ItemGlyph(1), TGlyph::UnknownFile);
}

TEST_F(FileList, MasksAndKinds) {
  enter("C:\\Windows\\System");
  struct Row {
    const char* name;
    const char* mask;
    TFileType type;
    std::vector<std::string> texts;
  } rows[] = {
      {"several masks", "*.txt;*.EXE", fileTypeOf({ftNormal}), {"A.exe", "c.txt"}},
      {"empty pieces", ";;b*;", fileTypeOf({ftNormal}), {"b.dll"}},
      {"hidden only", "*.*", fileTypeOf({ftHidden}), {".secret"}},  // .cache is also a directory
      {"system only", "*.*", fileTypeOf({ftSystem}), {"pipe"}},
      {"directories only", "*.*", fileTypeOf({ftDirectory}), {"[.]", "[..]", "[color]", "[Drivers]", "[Zeta]"}},
      {"archive", "*.dll", fileTypeOf({ftArchive}), {"b.dll"}},
      {"nothing matches", "*.zip", fileTypeOf({ftNormal}), {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TFileListBox list;
    list.SetMask(row.mask);
    list.SetFileType(row.type);
    auto texts = textsOf(list);
    std::sort(texts.begin(), texts.end());
    auto expected = row.texts;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(texts, expected);
  }
}

TEST_F(FileList, ProgramsByExtension) {
  for (const char* f : {"x.COM", "y.bat", "z.pif", "w.exe.txt", "exe", "v.Exe"}) tmp.write(std::string("d/p/") + f, "");
  enter("D:\\p");
  TFileListBox list;
  list.SetShowGlyphs(true);
  std::vector<std::pair<std::string, TGlyph>> glyphs;
  for (int i = 0; i < list.count(); ++i) glyphs.emplace_back(list.ItemName(i), list.ItemGlyph(i));
  EXPECT_EQ(glyphs, (std::vector<std::pair<std::string, TGlyph>>{{"exe", TGlyph::UnknownFile},
                                                                 {"v.Exe", TGlyph::Executable},
                                                                 {"w.exe.txt", TGlyph::UnknownFile},
                                                                 {"x.COM", TGlyph::Executable},
                                                                 {"y.bat", TGlyph::Executable},
                                                                 {"z.pif", TGlyph::Executable}}));
  EXPECT_GE(list.ItemHeight(), 16);  // glyphs need their height
}

TEST_F(FileList, FollowsPaths) {
  enter("C:\\Windows");
  TFileListBox list;
  QLineEdit edit;
  list.SetFileEdit(&edit);
  int changes = 0;
  list.OnChange = TNotifyEvent([&](TObject*) { ++changes; });
  list.ApplyFilePath("C:\\Windows\\System\\*.txt");
  EXPECT_EQ(list.Directory(), "C:\\Windows\\System");
  EXPECT_EQ(list.Mask(), "*.txt");
  EXPECT_EQ(textsOf(list), (std::vector<std::string>{"c.txt"}));
  EXPECT_EQ(edit.text(), "*.txt");
  list.SetMask("*.*");
  list.ApplyFilePath("B.DLL");  // relative to the current directory, the list's own
  EXPECT_EQ(list.currentRow(), 1);
  EXPECT_EQ(list.LastSelection(), 1);
  EXPECT_EQ(edit.text(), "b.dll");
  EXPECT_GT(changes, 0);
  EXPECT_THROW_MESSAGE(list.ApplyFilePath("C:\\Windows\\Gone\\x"), EInOutError, "File not found");
  EXPECT_EQ(list.Directory(), "C:\\Windows\\System");
}

TEST_F(FileList, SameDirectoryInOtherLettersIsNotReadAgain) {
  enter("C:\\Windows\\System");
  TFileListBox list;
  int changes = 0;
  list.OnChange = TNotifyEvent([&](TObject*) { ++changes; });
  list.SetDirectory("c:\\WINDOWS\\system");
  EXPECT_EQ(changes, 0);
  list.SetDirectory("C:\\Windows");
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(textsOf(list), (std::vector<std::string>{"win.ini"}));
}

// On a case-sensitive volume two directories may differ only in case.
TEST_F(FileList, DirectoriesDifferingInCaseAreDifferentOnACaseSensitiveVolume) {
  tmp.write("d/UPPER/big.txt", "");
  tmp.write("d/upper/small.txt", "");
  enter("D:\\UPPER");
  TFileListBox list;
  EXPECT_EQ(textsOf(list), (std::vector<std::string>{"big.txt"}));
  list.SetDirectory("D:\\upper");
  EXPECT_EQ(list.Directory(), "D:\\upper");
  EXPECT_EQ(textsOf(list), (std::vector<std::string>{"small.txt"}));
}

TEST_F(FileList, LongDirectoriesRestoreTheCursor) {
  for (int i = 0; i < 150; ++i) tmp.write("d/many/f" + std::to_string(1000 - i) + ".txt", "");
  enter("D:\\many");
  TFileListBox list;
  EXPECT_EQ(list.count(), 150);
  EXPECT_EQ(list.item(0)->text(), "f1000.txt");
  EXPECT_EQ(list.item(1)->text(), "f851.txt");
  EXPECT_EQ(list.item(149)->text(), "f999.txt");
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

}  // namespace
