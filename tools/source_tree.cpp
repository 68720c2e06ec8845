#include "tools/source_tree.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>

#include "platform/dos_time.h"
#include "tools/tool_error.h"

namespace fs = std::filesystem;

namespace setupkit {

namespace {

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return s;
}

// A backslash or colon would change what the stored path means to a restore;
// a control character (a line break above all) cannot appear in a Windows
// name nor in the manifest's lines.
bool storableComponent(const std::string& name) {
  for (unsigned char c : name)
    if (c < 0x20 || c == 0x7F || c == '\\' || c == ':') return false;
  return true;
}

uint32_t dosDateOf(const fs::path& path) {
  auto written = fs::last_write_time(path);
  auto sys = std::chrono::file_clock::to_sys(written);
  auto seconds = std::chrono::floor<std::chrono::seconds>(sys).time_since_epoch().count();
  return platform::unixToDosDateTime(int64_t(seconds));
}

void addFile(SourceScan& scan, const fs::path& path, const std::string& relative) {
  for (const auto& part : fs::path(relative))
    if (!storableComponent(part.string()))
      throw ToolError("Cannot store " + path.string() + ": a name with \"\\\", \":\" or a control character");
  SourceFile file;
  file.hostPath = path.string();
  file.storedName = storedNameOf(relative);
  file.size = fs::file_size(path);
  file.fileDate = dosDateOf(path);
  scan.totalSize += file.size;
  scan.files.push_back(std::move(file));
}

void scanDirectory(SourceScan& scan, const fs::path& root) {
  std::vector<std::pair<std::string, fs::path>> found;  // relative generic path, host path
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    const fs::path& p = it->path();
    std::string relative = p.lexically_relative(root).generic_string();
    std::error_code statError;
    if (it->is_directory(statError)) {
      if (it->is_symlink(statError)) {
        scan.warnings.push_back("Skipped " + p.string() + ": a symbolic link to a directory");
        it.disable_recursion_pending();
      } else if (fs::is_empty(p, statError)) {
        scan.warnings.push_back("Skipped " + p.string() + ": an empty directory cannot be stored");
      }
    } else if (it->is_regular_file(statError)) {
      found.emplace_back(relative, p);
    } else {
      scan.warnings.push_back("Skipped " + p.string() + ": not a regular file");
    }
  }
  if (ec) throw ToolError("Cannot read the directory " + root.string() + ": " + ec.message());
  std::sort(found.begin(), found.end());
  for (auto& [relative, path] : found) addFile(scan, path, relative);
}

}  // namespace

std::string storedNameOf(const std::string& relativePath) {
  std::string name = "C:\\" + relativePath;
  std::replace(name.begin(), name.end(), '/', '\\');
  return name;
}

SourceScan scanSources(const std::vector<std::string>& sources) {
  SourceScan scan;
  for (const auto& source : sources) {
    std::error_code ec;
    fs::path path(source);
    auto status = fs::status(path, ec);
    if (ec || !fs::exists(status)) throw ToolError("Source not found: " + source);
    if (fs::is_directory(status)) {
      scanDirectory(scan, path);
    } else if (fs::is_regular_file(status)) {
      addFile(scan, path, path.filename().string());
    } else {
      throw ToolError("Source is neither a file nor a directory: " + source);
    }
  }

  // Names a full-path restore would write to one file (letter case does not
  // tell files apart there) make the archive ambiguous: refused. Names that
  // only a flat restore maps together are legal but lose files: warned.
  std::map<std::string, const SourceFile*> full;
  std::map<std::string, const SourceFile*> flat;
  for (const auto& file : scan.files) {
    auto [it, inserted] = full.emplace(lower(file.storedName), &file);
    if (!inserted)
      throw ToolError("Two files would be stored as " + file.storedName + ": " + it->second->hostPath + " and " +
                      file.hostPath);
    std::string flatName = lower(file.storedName.substr(file.storedName.find_last_of('\\') + 1));
    auto [other, fresh] = flat.emplace(flatName, &file);
    if (!fresh)
      scan.warnings.push_back(other->second->storedName + " and " + file.storedName +
                              " restore to the same file in a flat restore");
  }
  return scan;
}

}  // namespace setupkit
