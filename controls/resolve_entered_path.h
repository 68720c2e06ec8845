#pragma once
// Resolves a typed or given path against the process's current directory, the
// way the directory and file lists take the paths they are given.
#include <string>

struct TResolvedPath {
  char Drive = 0;        // the drive letter, 0 for none (a network path)
  std::string DirPart;   // the directory: "\dir" with a drive letter, else "\\server\share\dir"
  std::string FilePart;  // a file name or mask left over, else empty
};

// Splits `EnteredPath` into drive letter, directory part and file part:
// "C:\Windows\win.ini" gives C, "\Windows", "win.ini" when win.ini is a file;
// a last component that is neither a file nor a mask is taken as a directory
// and entered. "[name]" is a directory relative to the current one. Relative,
// rooted and drive-relative paths are completed from the current
// directories. Every directory entered on the way is entered for real; the
// previous current directory is made current again at the end, also on
// failure, if it still exists. Raises EInOutError with the platform's error
// number when a directory cannot be entered.
TResolvedPath ResolveEnteredPath(const std::string& EnteredPath);
