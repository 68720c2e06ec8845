#pragma once
// The running program's own file.
#include <string>

namespace platform {

// The Windows-form full path of the running program's file (from the host's
// record of the executable). Empty, with lastError set, when the host does not
// report it or no drive covers it.
std::string moduleFileName();

// Makes moduleFileName() report `hostPath` instead of the running file: a
// program that runs from a copy of itself names the file it was copied from,
// so that its program directory stays the one it was started from. An empty
// path goes back to the running file.
void setModuleFileName(const std::string& hostPath);

}  // namespace platform
