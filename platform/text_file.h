#pragma once
// Whole small files read into memory and text cut into lines, with POSIX
// calls only: the static programs (the launcher, the uninstaller) link no
// C++ streams, whose locale machinery would outweigh their own code.
#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The bytes of the file at `path`, or nothing when it cannot be opened or
// read, or holds more than `limit` bytes (errno then says why: EFBIG for the
// limit). Files of /proc, whose size is not known beforehand, read too.
std::optional<std::string> readWholeFile(const std::string& path, size_t limit = size_t(1) << 30);

// The lines of `text` without their '\n', as std::getline gives them: a
// last line without an end is a line, an end at the very end starts none.
std::vector<std::string> linesOf(const std::string& text);

// The next line of `file` (standard input) without its '\n'; false at its
// end, as std::getline.
bool readLine(std::FILE* file, std::string& line);

}  // namespace platform
