#include "tools/source_tree.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <set>

#include "common/tool_error.h"
#include "medium/medium_attributes.h"
#include "platform/dos_time.h"

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

// Names a stored path cannot carry; collected so that one run names them all.
bool storable(std::vector<std::string>& problems, const fs::path& path, const std::string& relative) {
  for (const auto& part : fs::path(relative))
    if (!storableComponent(part.string())) {
      problems.push_back("Cannot store " + path.string() + ": a name with \"\\\", \":\" or a control character");
      return false;
    }
  return true;
}

void addFile(SourceScan& scan, const fs::path& path, const std::string& relative) {
  SourceFile file;
  file.hostPath = path.string();
  file.storedName = storedNameOf(relative);
  file.size = fs::file_size(path);
  file.fileDate = dosDateOf(path);
  file.mode = unsigned(fs::status(path).permissions() & fs::perms::mask);
  scan.totalSize += file.size;
  scan.files.push_back(std::move(file));
}

// A link's target with "." and empty names left out ("./a//b" is "a/b").
std::string plainTarget(const std::string& target) {
  if (target.empty() || target[0] == '/') return target;
  std::string plain;
  for (const auto& part : fs::path(target)) {
    const std::string name = part.string();
    if (name.empty() || name == ".") continue;
    plain += (plain.empty() ? "" : "/") + name;
  }
  return plain;
}

std::string kindOf(const fs::file_status& status) {
  switch (status.type()) {
    case fs::file_type::fifo: return "a named pipe";
    case fs::file_type::socket: return "a socket";
    case fs::file_type::block:
    case fs::file_type::character: return "a device";
    default: return "not a regular file";
  }
}

void scanDirectory(SourceScan& scan, const fs::path& root, const ScanRules& rules, std::vector<std::string>& problems) {
  std::vector<std::pair<std::string, fs::path>> found;  // relative generic path, host path
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    const fs::path& p = it->path();
    std::string relative = p.lexically_relative(root).generic_string();
    if (!storable(problems, p, relative)) {
      it.disable_recursion_pending();
      continue;
    }
    std::error_code statError;
    const fs::file_status own = it->symlink_status(statError);
    if (fs::is_symlink(own)) {
      // Never followed: kept as a link when it stays in the tree.
      const std::string stored = storedNameOf(relative);
      const std::string target = plainTarget(fs::read_symlink(p, statError).string());
      if (medium::linkTargetAllowed(stored, target)) {
        scan.links.push_back(SourceLink{p.string(), stored, target});
      } else if (rules.copyOutsideLinks && fs::is_regular_file(p, statError)) {
        found.emplace_back(relative, p);
      } else {
        problems.push_back("Cannot store " + p.string() + ": a link to " + target +
                           (target.empty() || target[0] == '/' ? ", an absolute path" : ", outside the tree") +
                           (rules.copyOutsideLinks ? ", and not to a file" : ""));
      }
    } else if (fs::is_directory(own)) {
      if (fs::is_empty(p, statError)) scan.folders.push_back(storedNameOf(relative));
    } else if (fs::is_regular_file(own)) {
      found.emplace_back(relative, p);
    } else {
      scan.warnings.push_back("Skipped " + p.string() + ": " + kindOf(own) + "; the installer will not create it");
    }
  }
  if (ec) throw ToolError("Cannot read the directory " + root.string() + ": " + ec.message());
  std::sort(found.begin(), found.end());
  for (auto& [relative, path] : found) addFile(scan, path, relative);
}

// Several sources are merged at the root, so one may hold a file or link
// where another holds a folder or link of the same name (letter case aside,
// as for files): the install could make only one of them. Such names are
// refused, each once.
void refuseKindClashes(const SourceScan& scan, std::vector<std::string>& problems) {
  std::map<std::string, std::string> leaves;  // lower stored name -> what holds it, for files and links
  for (const auto& file : scan.files) leaves.emplace(lower(file.storedName), "the file " + file.hostPath);
  for (const auto& link : scan.links) {
    auto [it, fresh] = leaves.emplace(lower(link.storedName), "the link " + link.hostPath);
    if (!fresh)
      problems.push_back("Two entries would be stored as " + link.storedName + ": " + it->second + " and the link " +
                         link.hostPath);
  }
  std::set<std::string> reported;
  auto needsFolder = [&](const std::string& stored, const std::string& what, bool itself) {
    for (size_t end = itself ? stored.size() : stored.find_last_of('\\'); end > 2; end = stored.rfind('\\', end - 1)) {
      const std::string folder = lower(stored.substr(0, end));
      auto it = leaves.find(folder);
      if (it != leaves.end() && reported.insert(folder).second)
        problems.push_back(stored.substr(0, end) + " is " + it->second + " and a folder for " + what);
    }
  };
  for (const auto& file : scan.files) needsFolder(file.storedName, "the file " + file.hostPath, false);
  for (const auto& link : scan.links) needsFolder(link.storedName, "the link " + link.hostPath, false);
  for (const auto& folder : scan.folders) needsFolder(folder, "the empty folder " + folder, true);
}

}  // namespace

std::string storedNameOf(const std::string& relativePath) {
  std::string name = "C:\\" + relativePath;
  std::replace(name.begin(), name.end(), '/', '\\');
  return name;
}

SourceScan scanSources(const std::vector<std::string>& sources, const ScanRules& rules) {
  SourceScan scan;
  std::vector<std::string> problems;
  for (const auto& source : sources) {
    std::error_code ec;
    fs::path path(source);
    auto status = fs::status(path, ec);
    if (ec || !fs::exists(status)) throw ToolError("Source not found: " + source);
    if (fs::is_directory(status)) {
      scanDirectory(scan, path, rules, problems);
    } else if (fs::is_regular_file(status)) {
      if (storable(problems, path, path.filename().string())) addFile(scan, path, path.filename().string());
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
      problems.push_back("Two files would be stored as " + file.storedName + ": " + it->second->hostPath + " and " +
                         file.hostPath);
    std::string flatName = lower(file.storedName.substr(file.storedName.find_last_of('\\') + 1));
    auto [other, fresh] = flat.emplace(flatName, &file);
    if (!fresh) scan.flatClashes.push_back(other->second->storedName + " and " + file.storedName);
  }
  std::sort(scan.links.begin(), scan.links.end(),
            [](const SourceLink& a, const SourceLink& b) { return a.storedName < b.storedName; });
  refuseKindClashes(scan, problems);
  if (problems.size() == 1) throw ToolError(problems[0]);
  if (!problems.empty()) {
    std::string text = std::to_string(problems.size()) + " entries cannot be stored; nothing was written:";
    for (const auto& problem : problems) text += "\n  " + problem;
    throw ToolError(text);
  }
  return scan;
}

}  // namespace setupkit
