// INI reading: section and key names in any letter case, blanks, quotes,
// the length limit, and the defaults for a missing file, section or key.
#include "platform/ini.h"

#include <gtest/gtest.h>

#include "platform/paths.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(ProfileString, ReadingRules) {
  struct Row {
    const char* name;
    std::string text, section, key, value;
  };
  const Row rows[] = {
      {"plain", "[Setup]\nTitle=Acme\n", "Setup", "Title", "Acme"},
      {"CR LF lines", "[Setup]\r\nTitle=Acme\r\nApp=A\r\n", "Setup", "Title", "Acme"},
      {"section in capitals", "[SETUP]\nTitle=Acme\n", "Setup", "Title", "Acme"},
      {"section in lower case", "[setup]\nTitle=Acme\n", "Setup", "Title", "Acme"},
      {"key in capitals", "[Setup]\nTITLE=Acme\n", "Setup", "Title", "Acme"},
      {"key in lower case", "[Setup]\ntitle=Acme\n", "Setup", "Title", "Acme"},
      {"blanks around", "[Setup]\n  Title  =   Acme Suite \t \n", "Setup", "Title", "Acme Suite"},
      {"blanks in the header", "  [ Setup ]  \nTitle=Acme\n", "Setup", "Title", "Acme"},
      {"double quotes", "[Setup]\nTitle= \"  Acme  \" \n", "Setup", "Title", "  Acme  "},
      {"single quotes", "[Setup]\nTitle='Acme'\n", "Setup", "Title", "Acme"},
      {"one pair only", "[Setup]\nTitle=\"\"Acme\"\"\n", "Setup", "Title", "\"Acme\""},
      {"unmatched quote kept", "[Setup]\nTitle=\"Acme\n", "Setup", "Title", "\"Acme"},
      {"mixed quotes kept", "[Setup]\nTitle=\"Acme'\n", "Setup", "Title", "\"Acme'"},
      {"equals sign in the value", "[Setup]\nDestDir=C:\\a=b\n", "Setup", "DestDir", "C:\\a=b"},
      {"empty value is not the default", "[Setup]\nTitle=\n", "Setup", "Title", ""},
      {"first of two keys", "[Setup]\nTitle=One\nTitle=Two\n", "Setup", "Title", "One"},
      {"key of another section", "[Other]\nTitle=X\n[Setup]\nApp=Y\n", "Setup", "Title", "<default>"},
      {"other sections skipped", "[Other]\nTitle=X\n[Setup]\nTitle=Y\n", "Setup", "Title", "Y"},
      {"missing key", "[Setup]\nApp=Y\n", "Setup", "Title", "<default>"},
      {"missing section", "[Other]\nTitle=X\n", "Setup", "Title", "<default>"},
      {"prefix of a key is not the key", "[Setup]\nTitles=X\n", "Setup", "Title", "<default>"},
      {"comment line", "[Setup]\n;Title=X\n", "Setup", "Title", "<default>"},
      {"line without equals sign", "[Setup]\nTitle\n", "Setup", "Title", "<default>"},
      {"no final line break", "[Setup]\nTitle=Acme", "Setup", "Title", "Acme"},
      {"byte-order mark", "\xEF\xBB\xBF[Setup]\nTitle=Acme\n", "Setup", "Title", "Acme"},
      {"8-bit text passes unchanged", "[Setup]\nApp=Caf\xE9\n", "Setup", "App", "Caf\xE9"},
      {"empty text", "", "Setup", "Title", "<default>"},
  };
  for (const Row& row : rows)
    EXPECT_EQ(platform::profileStringFromText(row.section, row.key, "<default>", row.text), row.value) << row.name;
}

TEST(ProfileString, ValuesAreCutTo2047Characters) {
  struct Row {
    size_t length, expected;
  };
  const Row rows[] = {{2046, 2046}, {2047, 2047}, {2048, 2047}, {3000, 2047}};
  for (const Row& row : rows) {
    std::string value(row.length, 'x');
    value[0] = 'a';
    std::string text = "[Setup]\nTitle=\"" + value + "\"\n";
    std::string read = platform::profileStringFromText("Setup", "Title", "", text);
    EXPECT_EQ(read, value.substr(0, row.expected)) << row.length;
  }
}

TEST(ProfileString, ReadsFilesByWindowsPath) {
  TempDir dir;
  dir.write("medium/setup.ins", "[Setup]\nTitle=Acme\n");
  dir.write("medium/SETUP.INS.d/placeholder", "");
  const std::string medium = platform::virtualPathOf(dir.file("medium")).value();

  struct Row {
    const char* name;
    std::string file, value;
  };
  const Row rows[] = {
      {"file name in another letter case", medium + "\\SETUP.INS", "Acme"},
      {"missing file", medium + "\\MISSING.INS", "<default>"},
      {"missing directory", medium + "\\NO\\SETUP.INS", "<default>"},
      {"a directory is no file", medium + "\\SETUP.INS.d", "<default>"},
      {"unknown drive", "Q:\\SETUP.INS", "<default>"},
  };
  for (const Row& row : rows)
    EXPECT_EQ(platform::getPrivateProfileString("Setup", "Title", "<default>", row.file), row.value) << row.name;
}

}  // namespace
