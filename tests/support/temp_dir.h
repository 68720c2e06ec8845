#pragma once
// Scratch directories and drive tables for tests: a directory per test that is
// removed afterwards, host-file helpers, and drive tables installed for the
// lifetime of an object.
#include <string>
#include <vector>

#include "platform/drives.h"

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The host path of the directory (no trailing slash).
  const std::string& path() const { return path_; }
  // Host path of a file or directory inside it ("a/b.txt").
  std::string file(const std::string& relative) const { return path_ + "/" + relative; }

  // Writes / reads a host file inside it, creating parent directories.
  void write(const std::string& relative, const std::string& content) const;
  std::string read(const std::string& relative) const;
  bool exists(const std::string& relative) const;

 private:
  std::string path_;
};

// Reads / writes (creating parent directories) a file by host path.
std::string readHostFile(const std::string& path);
void writeHostFile(const std::string& path, const std::string& bytes);

// Every file, link and folder below host directory `root`, relative, sorted;
// folders end in "/" (a link to a folder does not). Empty when it is missing.
std::vector<std::string> entriesBelow(const std::string& root);

// A drive of a test table.
platform::Drive testDrive(char letter, const std::string& hostRoot, uint32_t type = platform::kDriveFixed,
                          const std::string& label = "", const std::string& remote = "", bool medium = true,
                          uint32_t flags = platform::kFsCaseSensitive | platform::kFsCasePreserved);

// Installs a drive table (the process current directory becomes the first
// drive's root); the previous table is put back on destruction.
class ScopedDriveTable {
 public:
  explicit ScopedDriveTable(std::vector<platform::Drive> drives);
  ~ScopedDriveTable();
  ScopedDriveTable(const ScopedDriveTable&) = delete;
  ScopedDriveTable& operator=(const ScopedDriveTable&) = delete;

 private:
  std::vector<platform::Drive> saved_;
};

// A table in which C: is the given host directory, C:\ current.
class ScopedDriveC : public ScopedDriveTable {
 public:
  explicit ScopedDriveC(const std::string& hostRoot) : ScopedDriveTable({testDrive('C', hostRoot)}) {}
};
