#pragma once
// Paths as the command line gives them. Host paths and Windows-form paths are
// both accepted: a Windows-form path ("C:\dir", "C:dir", "\\server\share")
// is recognised by its drive letter or leading double backslash.
#include <optional>
#include <string>

namespace setupkit {

// True for a path in Windows form (drive letter and colon, or "\\").
bool isWindowsFormPath(const std::string& path);

// Why the command-line path `argument` has no Windows form that names it
// exactly: a host path with a backslash in a name, which the Windows form
// reads as a separator (it would name another folder: /tmp/a\b would become
// /tmp/a/b), and has no way to escape. Empty when it has one.
std::string hostPathProblem(const std::string& argument);

// The Windows-form path of a command-line path: a Windows-form path as it is,
// a host path (made absolute against the working directory) through the drive
// table. Raises ToolError when no drive covers the host path, or with
// hostPathProblem's reason.
std::string windowsPathOfArgument(const std::string& argument);

// The host path of a command-line path: a host path as it is, a Windows-form
// path through the drive table. Raises ToolError when it has no host form.
std::string hostPathOfArgument(const std::string& argument);

// The host path of continuation volume `number` (2 to 999) of an archive: the
// extension of its file name replaced by a point and three digits.
std::string volumeHostPath(const std::string& firstVolume, int number);

// The three-digit text of a volume number ("002").
std::string volumeNumberText(int number);

// The host file at `path`, or, when none exists under that exact name, a file
// in the same directory whose name differs only in letter case.
std::optional<std::string> findHostFile(const std::string& path);

// A medium's folder (or its disk1/) given where an archive is expected: the
// SETUP.BIN in it. Any other path as it is.
std::string archiveInFolder(const std::string& hostPath);

// The file-name part of a host path.
std::string hostFileName(const std::string& path);

}  // namespace setupkit
