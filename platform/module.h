#pragma once
// The running program's own file.
#include <string>

namespace platform {

// The Windows-form full path of the running program's file (from the host's
// record of the executable). Empty, with lastError set, when the host does not
// report it or no drive covers it.
std::string moduleFileName();

}  // namespace platform
