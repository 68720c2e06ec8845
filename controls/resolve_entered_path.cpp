#include "controls/resolve_entered_path.h"

#include "framework/core/path_utils.h"
#include "platform/current_dir.h"
#include "platform/files.h"

namespace {

// Makes the saved directory current again when the resolution ends.
class RestoreCurrentDirectory {
 public:
  explicit RestoreCurrentDirectory(std::string saved) : saved_(std::move(saved)) {}
  ~RestoreCurrentDirectory() {
    if (platform::directoryExists(saved_)) platform::setCurrentDirectory(saved_);
  }
  RestoreCurrentDirectory(const RestoreCurrentDirectory&) = delete;
  RestoreCurrentDirectory& operator=(const RestoreCurrentDirectory&) = delete;

 private:
  std::string saved_;
};

bool hasWildcard(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

}  // namespace

TResolvedPath ResolveEnteredPath(const std::string& EnteredPath) {
  const std::string saved = platform::getCurrentDirectory();
  TResolvedPath result;
  result.Drive = saved.size() >= 2 && saved[1] == ':' ? saved[0] : '\0';
  std::string root;  // the drive part: "C:" or "\\server\share"
  const bool bracketed = EnteredPath.size() >= 2 && EnteredPath.front() == '[' && EnteredPath.back() == ']';
  if (bracketed) {
    result.DirPart = EnteredPath.substr(1, EnteredPath.size() - 2);
  } else {
    root = fw::drivePart(EnteredPath);
    result.DirPart = EnteredPath.substr(root.size());
    if (root.empty()) root = fw::drivePart(saved);
    result.Drive = root.size() >= 2 && root[1] == ':' ? root[0] : '\0';
  }

  RestoreCurrentDirectory restore(saved);
  if (!root.empty() && platform::directoryExists(root)) fw::changeDirectory(root);

  std::string& dir = result.DirPart;
  std::string& file = result.FilePart;
  file = fw::fileNamePart(dir);
  if (dir.size() == file.size() + 1) {
    dir = "\\";
  } else if (dir.size() > file.size() + 1) {
    dir.resize(dir.size() - file.size() - 1);
  } else {
    std::string current = platform::getCurrentDirectory();
    dir = current.substr(fw::drivePart(current).size());
    if (dir.empty()) dir = "\\";
  }
  if (!dir.empty()) fw::changeDirectory(dir);
  if (!file.empty() && !hasWildcard(file) && !platform::fileExists(file)) {
    fw::changeDirectory(file);
    dir = dir == "\\" ? dir + file : dir + "\\" + file;
    file.clear();
  }
  if (!result.Drive) dir = root + dir;
  return result;
}
