#pragma once
// A restore's files placed in memory instead of the host's directories: the
// fast fuzzer and the tests restore through it. The names are split and
// refused exactly as for the host (TRestoreTarget's rules); what the host's
// directories would hold is kept as a tree of names, where a file stands in
// the way of a directory and a directory in the way of a file as on the
// host, and letter case is ignored in lookups. A file's bytes go to an
// anonymous memory file that is dropped when the file is complete.
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "engine/restore_target.h"

// What the restores through TMemoryRestoreTarget have made: one tree of
// names for each place a walk started from (the destination, or a drive's
// root).
class TMemoryFiles {
 public:
  struct Node {
    bool directory = false;
    std::string name;  // the component as it was first spelled
    int32_t date = 0;  // a file's DOS date-time
    int64_t size = 0;  // a file's size
    // By the lower-case spelling of their names.
    std::map<std::string, std::unique_ptr<Node>> children;
  };
  // By the anchor's Windows-form path ("C:\DEST\", "D:\").
  std::map<std::string, Node> roots;

  void clear() { roots.clear(); }
};

class TMemoryRestoreTarget : public TRestoreTarget {
 public:
  TMemoryRestoreTarget(std::string targetDir, TMemoryFiles& files);

  int32_t age(const std::string& target) override;
  std::unique_ptr<TRestoreOutput> create(const std::string& target, std::string& reason) override;

 private:
  // The node of the route's file and its parent directory, the directories
  // made on the way when `create`. Null parent when a file stands where a
  // directory must be, or the directories are missing and not `create`.
  TMemoryFiles::Node* parentOf(const Route& route, bool create, std::string& reason);

  TMemoryFiles& files_;
};
