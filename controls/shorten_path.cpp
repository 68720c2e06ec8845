#include "controls/shorten_path.h"

#include "framework/gui/text.h"

namespace {

// Replaces the first directory of `dir` by "...\" (or drops it when it is
// the last one), keeping a leading backslash.
void dropFirstDirectory(std::string& dir) {
  if (dir == "\\") {
    dir.clear();
    return;
  }
  std::string lead;
  if (!dir.empty() && dir[0] == '\\') {
    lead = "\\";
    dir.erase(0, 1);
  }
  if (!dir.empty() && dir[0] == '.') dir.erase(0, 4);  // an earlier "...\"
  auto slash = dir.find('\\');
  dir = slash == std::string::npos ? std::string() : "...\\" + dir.substr(slash + 1);
  dir = lead + dir;
}

}  // namespace

std::string ShortenPathToWidth(const std::string& path, const TextWidthFunction& textWidth, int maxWidth) {
  std::string result = path;
  auto split = path.find_last_of("\\:");
  std::string dir = split == std::string::npos ? std::string() : path.substr(0, split + 1);
  const std::string name = path.substr(dir.size());
  std::string drive;
  if (dir.size() >= 2 && dir[1] == ':') {
    drive = dir.substr(0, 2);
    dir.erase(0, 2);
  }
  while ((!dir.empty() || !drive.empty()) && textWidth(result) > maxWidth) {
    if (dir == "\\...\\") {
      drive.clear();
      dir = "...\\";
    } else if (dir.empty()) {
      drive.clear();
    } else {
      dropFirstDirectory(dir);
    }
    result = drive + dir + name;
  }
  return result;
}

std::string ShortenPathToWidth(const std::string& path, const QFontMetrics& metrics, int maxWidth) {
  return ShortenPathToWidth(
      path, [&metrics](const std::string& text) { return metrics.horizontalAdvance(toQString(text)); }, maxWidth);
}
