#include "framework/core/path_utils.h"

#include <cctype>

#include "framework/core/exceptions.h"
#include "platform/current_dir.h"
#include "platform/errors.h"
#include "platform/files.h"

namespace fw {

std::string directoryPart(const std::string& path) {
  auto p = path.find_last_of("\\:");
  return p == std::string::npos ? std::string() : path.substr(0, p + 1);
}

std::string fileNamePart(const std::string& path) {
  auto p = path.find_last_of("\\:");
  return p == std::string::npos ? path : path.substr(p + 1);
}

std::string drivePart(const std::string& path) {
  if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
  if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
    // \\server\share: up to the backslash after the share name.
    size_t server = path.find('\\', 2);
    if (server == std::string::npos) return path;
    size_t share = path.find('\\', server + 1);
    return share == std::string::npos ? path : path.substr(0, share);
  }
  return {};
}

std::string changeExtension(const std::string& path, const std::string& ext) {
  auto p = path.find_last_of(".\\:");
  if (p == std::string::npos || path[p] != '.') return path + ext;
  return path.substr(0, p) + ext;
}

std::string withTrailingBackslash(const std::string& path) {
  return !path.empty() && path.back() == '\\' ? path : path + "\\";
}

std::string withoutTrailingBackslash(const std::string& path) {
  return !path.empty() && path.back() == '\\' ? path.substr(0, path.size() - 1) : path;
}

std::string lowerCase(std::string s) {
  for (char& c : s) c = char(std::tolower((unsigned char)c));
  return s;
}

std::string upperCase(std::string s) {
  for (char& c : s) c = char(std::toupper((unsigned char)c));
  return s;
}

bool sameText(const std::string& a, const std::string& b) { return lowerCase(a) == lowerCase(b); }

namespace {
// The non-empty pieces of `text` between characters of `separators`.
std::vector<std::string> splitAtAny(const std::string& text, const char* separators) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find_first_of(separators, start);
    if (end == std::string::npos) end = text.size();
    if (end > start) parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}
}  // namespace

std::vector<std::string> splitNonEmpty(const std::string& text, char separator) {
  const char separators[2] = {separator, 0};
  return splitAtAny(text, separators);
}

std::vector<std::string> pathComponents(const std::string& path) { return splitAtAny(path, "\\/"); }

bool forceDirectories(const std::string& dirIn) {
  if (dirIn.empty()) throw Exception("Unable to create directory");
  std::string dir = withoutTrailingBackslash(dirIn);
  if (dir.empty() || (dir.size() == 2 && dir[1] == ':')) return true;  // a root needs no creation
  if (platform::directoryExists(dir)) return true;
  std::string parent = directoryPart(dir);
  if (!parent.empty() && parent != dir && !forceDirectories(parent)) return false;
  if (platform::createDirectory(dir)) return true;
  // Made meanwhile by another program: there it is. Any other failure keeps
  // its reason (lastError, lastErrorMessage) for the caller.
  return platform::lastError() == platform::kErrorAlreadyExists && platform::directoryExists(dir);
}

void changeDirectory(const std::string& dir) {
  if (!platform::setCurrentDirectory(dir)) throw EInOutError(platform::lastError());
}

}  // namespace fw
