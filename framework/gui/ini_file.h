#pragma once
// An INI file reader bound to one file. Creating it never fails and reads
// nothing; every read looks the file up anew.
#include <string>

class TIniFile {
 public:
  explicit TIniFile(std::string fileName) : FFileName(std::move(fileName)) {}

  const std::string& FileName() const { return FFileName; }

  // The value of Ident in Section, or Default when the file, the section or the
  // key is missing (see platform/ini.h for the reading rules).
  std::string ReadString(const std::string& Section, const std::string& Ident, const std::string& Default) const;

 private:
  std::string FFileName;
};
