#pragma once
// Text from an archive or the file system as it is shown on a terminal.
#include <string>

namespace setupkit {

// `bytes` with every control character (below 0x20, and 0x7F) written as
// \xHH, so that a name cannot move the cursor, clear a line or start a line
// of its own.
std::string printable(const std::string& bytes);

}  // namespace setupkit
