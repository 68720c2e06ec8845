#include "tests/tools/tool_test_util.h"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <sstream>

#include "tests/support/temp_dir.h"
#include "tools/restore_command.h"

namespace fs = std::filesystem;

namespace tooltest {

int shell(const std::string& command) {
  const int raw = std::system(command.c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

void writeTree(const std::string& root, const Tree& tree) {
  for (const auto& [relative, file] : tree) {
    std::string path = root + "/" + relative;
    writeFile(path, file.content);
    auto t = std::chrono::file_clock::from_sys(std::chrono::sys_seconds(std::chrono::seconds(file.mtime)));
    fs::last_write_time(path, t);
  }
}

Tree readTree(const std::string& root) {
  Tree tree;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (!e.is_regular_file()) continue;
    auto sys = std::chrono::file_clock::to_sys(e.last_write_time());
    int64_t mtime = std::chrono::floor<std::chrono::seconds>(sys).time_since_epoch().count();
    tree[e.path().lexically_relative(root).generic_string()] = TreeFile{readFile(e.path().string()), mtime};
  }
  return tree;
}

std::string makeContent(size_t n, bool text, uint32_t seed) {
  static const char* const kWords[] = {"setup ",   "file ",  "archive ", "volume ", "restore ",
                                       "data\r\n", "chunk ", "the ",     "of ",     "stream "};
  std::mt19937 random(seed);
  std::string s;
  s.reserve(n + 16);
  while (s.size() < n) {
    if (text)
      s += kWords[random() % 10];
    else
      s += char(random());
  }
  s.resize(n);
  return s;
}

std::vector<std::string> readVolumes(const std::vector<std::string>& paths) {
  std::vector<std::string> volumes;
  for (const auto& p : paths) volumes.push_back(readFile(p));
  return volumes;
}

setupkit::PackResult packTree(const std::string& archive, const std::vector<std::string>& sources,
                              setupkit::PackOptions options) {
  options.archive = archive;
  options.sources = sources;
  return setupkit::pack(options);
}

int restoreTree(const std::string& driveRoot, const std::string& archive, const std::string& dest) {
  ScopedDriveC drive(driveRoot);
  std::ostringstream out, err;
  setupkit::RestoreConsole console{out, err, nullptr, false};
  setupkit::RestoreOptions options;
  options.archive = archive;
  options.dest = dest;
  return int(setupkit::runRestore(options, console).outcome);
}

RunResult runSetupkit(const std::string& arguments, const std::string& workDir, const std::string& scratch) {
  fs::create_directories(workDir);
  const std::string out = scratch + "/stdout.txt", err = scratch + "/stderr.txt";
  const std::string command =
      "cd '" + workDir + "' && " + SETUPKIT_BINARY + " " + arguments + " > '" + out + "' 2> '" + err + "' < /dev/null";
  int raw = std::system(command.c_str());
  RunResult r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = readFile(out);
  r.err = readFile(err);
  return r;
}

std::string replaceAll(std::string s, const std::string& from, const std::string& to) {
  for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
    s.replace(at, from.size(), to);
  return s;
}

std::vector<std::string> differences(const Tree& original, const Tree& restored) {
  std::vector<std::string> diff;
  for (const auto& [name, file] : original) {
    auto it = restored.find(name);
    if (it == restored.end())
      diff.push_back(name + " missing");
    else if (it->second.content != file.content)
      diff.push_back(name + " content");
    else if (it->second.mtime != dosRounded(file.mtime))
      diff.push_back(name + " time " + std::to_string(it->second.mtime) + " != " + std::to_string(file.mtime));
  }
  for (const auto& [name, file] : restored)
    if (!original.count(name)) diff.push_back(name + " extra");
  return diff;
}

}  // namespace tooltest
