#include "tests/support/temp_dir.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/drives.h"

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
  fs::path p = file(relative);
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << content;
}

std::string TempDir::read(const std::string& relative) const {
  std::ifstream f(file(relative), std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

bool TempDir::exists(const std::string& relative) const { return fs::exists(file(relative)); }

namespace {
std::vector<platform::Drive> gSaved;
}

ScopedDriveC::ScopedDriveC(const std::string& hostRoot) {
  gSaved = platform::driveTable();
  platform::Drive c;
  c.letter = 'C';
  c.hostRoot = hostRoot;
  platform::installDriveTable({c});
}

ScopedDriveC::~ScopedDriveC() { platform::installDriveTable(gSaved); }
