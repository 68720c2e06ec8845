#pragma once
// Resolving a Windows-form path to a host path together with the stat() that
// the resolution took on the way, so that callers who want the attributes do
// not stat the same path twice. Internal to the platform layer.
#include <sys/stat.h>

#include <optional>
#include <string>

namespace platform {

struct HostLookup {
  std::string path;        // the host path, as hostPathOf gives it
  bool statKnown = false;  // stat() of `path` was taken: statErrno and st hold its outcome
  int statErrno = 0;       // 0 when st is valid, else the errno of the failed stat()
  struct stat st {};
};

// hostPathOf for a caller that will stat the result: the exact host path is
// stat()ed first, which answers most lookups in one system call. Empty (and
// lastError set) as hostPathOf.
std::optional<HostLookup> lookupHostPath(const std::string& path);

// Tells the lookup that a directory was just created at hostPath: its parent's
// cached listing gains the name, and the new directory starts with a listing
// of its own, so that the first file created in it needs no directory read.
void noteHostDirectoryCreated(const std::string& hostPath);

}  // namespace platform
