#include "tests/support/temp_dir.h"

#include <algorithm>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "setupkit-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

void TempDir::write(const std::string& relative, const std::string& content) const {
  writeHostFile(file(relative), content);
}

std::string TempDir::read(const std::string& relative) const { return readHostFile(file(relative)); }

bool TempDir::exists(const std::string& relative) const { return fs::exists(file(relative)); }

std::string readHostFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

void writeHostFile(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

platform::Drive testDrive(char letter, const std::string& hostRoot, uint32_t type, const std::string& label,
                          const std::string& remote, bool medium, uint32_t flags) {
  platform::Drive d;
  d.letter = letter;
  d.hostRoot = hostRoot;
  d.type = type;
  d.label = label;
  d.remoteName = remote;
  d.mediumPresent = medium;
  d.fsFlags = flags;
  return d;
}

ScopedDriveTable::ScopedDriveTable(std::vector<platform::Drive> drives) : saved_(platform::driveTable()) {
  platform::installDriveTable(std::move(drives));
}

ScopedDriveTable::~ScopedDriveTable() { platform::installDriveTable(saved_); }

std::vector<std::string> entriesBelow(const std::string& root) {
  namespace fs = std::filesystem;
  std::vector<std::string> names;
  if (!fs::exists(root)) return names;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it)
    names.push_back(it->path().lexically_relative(root).string() +
                    (it->is_directory() && !it->is_symlink() ? "/" : ""));
  std::sort(names.begin(), names.end());
  return names;
}
