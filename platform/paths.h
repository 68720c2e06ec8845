#pragma once
// Windows-form paths over the host file system.
//
// Above this layer every path is a Windows-form text: C:\dir\file, drive-relative
// C:file, rooted \dir, relative dir\file, UNC \\server\share\dir. "\" is the
// separator; "/" is accepted as one on input. A path on a drive maps onto the
// drive's host root plus its components; a component that does not exist under
// its exact name is matched without regard to letter case.
#include <optional>
#include <string>

namespace platform {

inline bool isSeparator(char c) { return c == '\\' || c == '/'; }

// True for \\server\share paths.
bool isUncPath(const std::string& path);

// The full Windows-form path: drive-relative, rooted and relative paths are
// completed from the current directories, "." and ".." are folded and runs of
// separators become one "\". A trailing separator is kept. "C:" alone names
// drive C's current directory.
std::string expandPath(const std::string& path);

// The host path of a Windows-form path, with existing components matched
// case-insensitively. Empty (and lastError set) when the path has no host
// form: a UNC path (53), an unknown drive (3), a drive without medium (21) or
// a name holding a zero byte (123).
std::optional<std::string> hostPathOf(const std::string& path);

// The Windows-form path of an absolute host path, through the drive whose host
// root is its longest prefix. Empty when no drive covers it.
std::optional<std::string> virtualPathOf(const std::string& hostPath);

// Tells the case-insensitive lookup that a name was just created in a host
// directory, so that its cached listing stays valid without a re-read.
void noteHostEntryCreated(const std::string& hostPath);

}  // namespace platform
