#pragma once
// A scratch directory per test, removed with everything in it afterwards.
#include <string>

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

// Installs a drive table in which C: is the given host directory, and makes
// C:\ the current directory. The previous table is restored on destruction.
class ScopedDriveC {
 public:
  explicit ScopedDriveC(const std::string& hostRoot);
  ~ScopedDriveC();
};
