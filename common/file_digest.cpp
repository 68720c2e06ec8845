#include "common/file_digest.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

bool readRange(int fd, int64_t offset, int64_t size, const std::function<void(const uint8_t*, size_t)>& take,
               uint64_t* read) {
  std::vector<uint8_t> buffer(size_t(1) << 20);
  uint64_t done = 0;
  while (size != 0) {
    const size_t want = size < 0 ? buffer.size() : size_t(std::min<int64_t>(size, int64_t(buffer.size())));
    const ssize_t n = pread(fd, buffer.data(), want, off_t(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || (n == 0 && size > 0)) return false;
    if (n == 0) break;
    take(buffer.data(), size_t(n));
    offset += n;
    done += uint64_t(n);
    if (size > 0) size -= n;
  }
  if (read) *read = done;
  return true;
}

bool digestOfDescriptor(int fd, std::string& sha256, uint64_t& size) {
  TSha256 digest;
  if (!readRange(
          fd, 0, -1, [&digest](const uint8_t* data, size_t n) { digest.update(data, n); }, &size))
    return false;
  sha256 = digest.finishHex();
  return true;
}
