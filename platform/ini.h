#pragma once
// Reading of INI files: "[Section]" header lines and "Key=Value" lines, in the
// host's 8-bit text, read by Windows-form path.
#include <string>

namespace platform {

// The longest value returned; longer values are cut to their first characters.
inline constexpr size_t kMaxProfileString = 2047;

// The value of key in section of the INI file fileName, or defaultValue when
// the file cannot be read, the section is missing or the key is missing.
// Section and key names match without regard to letter case (the first
// matching section and, in it, the first matching key count). The value is the
// text after the key's first "=", with leading and trailing blanks removed and
// one enclosing pair of double or single quotation marks taken off; it is cut
// to kMaxProfileString characters. Never raises.
std::string getPrivateProfileString(const std::string& section, const std::string& key, const std::string& defaultValue,
                                    const std::string& fileName);

// The same lookup over INI text already in memory.
std::string profileStringFromText(const std::string& section, const std::string& key, const std::string& defaultValue,
                                  const std::string& text);

}  // namespace platform
