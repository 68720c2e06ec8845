#include "common/host_paths.h"

#include "engine/archive_format.h"

#include <cctype>
#include <cstdio>
#include <filesystem>

#include "common/tool_error.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace fs = std::filesystem;

namespace setupkit {

bool isWindowsFormPath(const std::string& path) {
  if (path.size() >= 2 && path[1] == ':' && std::isalpha((unsigned char)path[0])) return true;
  return path.size() >= 2 && path[0] == '\\' && path[1] == '\\';
}

std::string hostPathProblem(const std::string& argument) {
  if (isWindowsFormPath(argument) || argument.find('\\') == std::string::npos) return {};
  return "the path " + argument +
         " holds a backslash, which a Windows-form path reads as a separator: it would name another folder "
         "(give a path without one)";
}

std::string windowsPathOfArgument(const std::string& argument) {
  if (isWindowsFormPath(argument)) return argument;
  if (std::string problem = hostPathProblem(argument); !problem.empty()) throw ToolError(problem);
  std::string host = fs::absolute(fs::path(argument)).lexically_normal().string();
  auto virtualPath = platform::virtualPathOf(host);
  if (!virtualPath) throw ToolError("No drive covers the path " + argument);
  return *virtualPath;
}

std::string hostPathOfArgument(const std::string& argument) {
  if (!isWindowsFormPath(argument)) return argument;
  auto host = platform::hostPathOf(argument);
  if (!host) throw ToolError("The path " + argument + " names no host file");
  return *host;
}

std::string volumeNumberText(int number) { return archive_format::volumeNumberText(number); }

std::string volumeHostPath(const std::string& firstVolume, int number) {
  return archive_format::volumeFileName(firstVolume, number);
}

std::optional<std::string> findHostFile(const std::string& path) {
  std::error_code ec;
  if (fs::is_regular_file(path, ec)) return path;
  // The platform's lookup matches a name that differs only in letter case;
  // the directory part stays as it was given.
  std::string windowsPath;
  try {
    windowsPath = windowsPathOfArgument(path);
  } catch (const ToolError&) {
    return std::nullopt;
  }
  if (!platform::fileExists(windowsPath)) return std::nullopt;
  auto real = platform::hostPathOf(windowsPath);
  if (!real) return std::nullopt;
  return (fs::path(path).parent_path() / fs::path(*real).filename()).string();
}

std::string archiveInFolder(const std::string& hostPath) {
  std::error_code ec;
  if (!fs::is_directory(hostPath, ec)) return hostPath;
  for (const char* inside : {"SETUP.BIN", "disk1/SETUP.BIN"})
    if (auto found = findHostFile((fs::path(hostPath) / inside).string())) return *found;
  return hostPath;
}

std::string hostFileName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace setupkit
