#pragma once
// Directory listing in Windows terms: find-first/next over the entries of one
// directory whose names match a wildcard mask, with Windows attributes.
#include <cstdint>
#include <string>

namespace platform {

// One entry found. Attributes are the FileAttribute bits of files.h: 16
// directory, 2 hidden (a name that starts with "."), 1 read-only (no owner
// write permission), 32 archive (regular files), 4 system (devices, sockets,
// pipes).
struct FindData {
  std::string name;
  uint32_t attributes = 0;
  int64_t size = 0;
};

// An open search; null is no search.
struct FindState;
using FindHandle = FindState*;

// Starts a search for `pattern`, a Windows-form path whose last component is
// the mask ("C:\dir\*.*", "*.txt", "sub\readme"). Fills `data` with the first
// match. Returns null with lastError 2 when nothing matches, 3 when the
// directory does not exist, 21 without medium, 53 for network paths. The
// entries "." and ".." are reported for every directory but a drive root.
FindHandle findFirstFile(const std::string& pattern, FindData& data);

// The next match of a search; false with lastError 18 at the end.
bool findNextFile(FindHandle search, FindData& data);

// Ends a search (null is accepted).
void findClose(FindHandle search);

// Whether a name matches a Windows wildcard mask, ignoring ASCII letter case:
// "*" matches any run of characters, "?" exactly one. A mask that ends in ".*"
// also matches a name without a dot ("*.*" matches every name), and a mask
// that ends in "." matches names without a dot ("*." finds names without an
// extension).
bool matchesMask(const std::string& name, const std::string& mask);

}  // namespace platform
