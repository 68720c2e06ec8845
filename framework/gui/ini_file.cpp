#include "framework/gui/ini_file.h"

#include "platform/ini.h"

std::string TIniFile::ReadString(const std::string& Section, const std::string& Ident,
                                 const std::string& Default) const {
  return platform::getPrivateProfileString(Section, Ident, Default, FFileName);
}
