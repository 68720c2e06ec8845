#pragma once
// The process current directory, kept as a Windows-form path, with a
// remembered current directory for every drive (so "D:" alone means D's
// current directory, and a drive never visited opens at its root).
#include <string>

namespace platform {

// The current directory: "C:\" for a root, "C:\dir" without a trailing
// backslash otherwise.
std::string getCurrentDirectory();

// Enters a directory (any path form; "D:" enters D's remembered directory) and
// changes the host working directory to match. False with lastError set on
// failure: 15 unknown drive, 21 no medium, 53 network path, 2/3 missing.
bool setCurrentDirectory(const std::string& path);

// The remembered current directory of a drive (its root when never visited).
std::string driveCurrentDirectory(char letter);

// Forgets every remembered directory; the current directory becomes the host
// working directory's virtual form, or the first drive's root.
void resetCurrentDirectories();

}  // namespace platform
