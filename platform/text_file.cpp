#include "platform/text_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace platform {

std::optional<std::string> readWholeFile(const std::string& path, size_t limit) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string text;
  char block[16384];
  for (;;) {
    const ssize_t n = read(fd, block, sizeof block);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || text.size() + size_t(n) > limit) {
      const int error = n < 0 ? errno : EFBIG;
      close(fd);
      if (n == 0) return text;
      errno = error;
      return std::nullopt;
    }
    text.append(block, size_t(n));
  }
}

bool readLine(std::FILE* file, std::string& line) {
  char* buffer = nullptr;
  size_t capacity = 0;
  const ssize_t n = getline(&buffer, &capacity, file);
  if (n >= 0) line.assign(buffer, size_t(n) - (n > 0 && buffer[n - 1] == '\n' ? 1 : 0));
  std::free(buffer);
  return n >= 0;
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find('\n', at);
    if (end == std::string::npos) {
      lines.push_back(text.substr(at));
      break;
    }
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return lines;
}

}  // namespace platform
