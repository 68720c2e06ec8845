#include "common/file_digest.h"

#include <unistd.h>

#include <vector>

bool digestOfDescriptor(int fd, std::string& sha256, uint64_t& size) {
  TSha256 digest;
  std::vector<uint8_t> buffer(1 << 16);
  size = 0;
  for (;;) {
    const ssize_t n = pread(fd, buffer.data(), buffer.size(), off_t(size));
    if (n < 0) return false;
    if (n == 0) break;
    digest.update(buffer.data(), size_t(n));
    size += uint64_t(n);
  }
  sha256 = digest.finishHex();
  return true;
}
