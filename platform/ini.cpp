#include "platform/ini.h"

#include <optional>
#include <string_view>

#include "platform/files.h"

namespace platform {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool sameTextAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string_view unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    return v.substr(1, v.size() - 2);
  return v;
}

// Reads the whole file; nothing when it cannot be opened or read.
std::optional<std::string> readWholeFile(const std::string& fileName) {
  FileHandle f = openFile(fileName, FileAccess::Read);
  if (!f.valid()) return std::nullopt;
  std::string text;
  char buffer[65536];
  for (;;) {
    int64_t n = readFile(f, buffer, sizeof buffer);
    if (n < 0) {
      closeFile(f);
      return std::nullopt;
    }
    if (n == 0) break;
    text.append(buffer, size_t(n));
  }
  closeFile(f);
  return text;
}

}  // namespace

std::string profileStringFromText(const std::string& section, const std::string& key, const std::string& defaultValue,
                                  const std::string& text) {
  std::string_view rest(text);
  // A UTF-8 byte-order mark would otherwise hide the first section header.
  if (rest.substr(0, 3) == "\xEF\xBB\xBF") rest.remove_prefix(3);

  bool sectionSeen = false;  // the first matching section has begun
  bool inSection = false;
  while (!rest.empty()) {
    size_t end = rest.find('\n');
    std::string_view line = trim(rest.substr(0, end));
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);

    if (!line.empty() && line.front() == '[') {
      if (sectionSeen) break;  // only the first matching section is searched
      size_t close = line.find(']');
      std::string_view name =
          trim(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
      inSection = sameTextAscii(name, section);
      sectionSeen = inSection;
      continue;
    }
    if (!inSection || line.empty() || line.front() == ';') continue;
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    if (!sameTextAscii(trim(line.substr(0, eq)), key)) continue;
    std::string_view value = unquote(trim(line.substr(eq + 1)));
    return std::string(value.substr(0, kMaxProfileString));
  }
  return defaultValue;
}

std::string getPrivateProfileString(const std::string& section, const std::string& key, const std::string& defaultValue,
                                    const std::string& fileName) {
  std::optional<std::string> text = readWholeFile(fileName);
  if (!text) return defaultValue;
  return profileStringFromText(section, key, defaultValue, *text);
}

}  // namespace platform
