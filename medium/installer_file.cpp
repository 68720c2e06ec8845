#include "medium/installer_file.h"

#include <fcntl.h>
#include <libdeflate.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

namespace installer {

namespace {

constexpr char kMagic[16] = {'S', 'E', 'T', 'U', 'P', '-', 'O', 'N', 'E', '-', 'F', 'I', 'L', 'E', '\r', '\n'};
constexpr uint32_t kVersion = 2;
// The parts this program knows: launcher, configuration, runtime, archive,
// attributes, signature.
constexpr uint32_t kKnownParts = 6;
// More parts than any version will have: a damaged count.
constexpr uint32_t kMaxParts = 64;

uint64_t readLe(const unsigned char* p, int bytes) {
  uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

void writeLe(std::string& out, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out += char((v >> (8 * i)) & 0xff);
}

struct Fd {
  int fd;
  ~Fd() {
    if (fd >= 0) close(fd);
  }
};

bool readAt(int fd, void* buffer, size_t size, int64_t offset) {
  char* p = static_cast<char*>(buffer);
  while (size > 0) {
    ssize_t n = pread(fd, p, size, offset);
    if (n <= 0) return false;
    p += n;
    size -= size_t(n);
    offset += n;
  }
  return true;
}

}  // namespace

uint32_t crc32Update(uint32_t crc, const void* data, size_t size) { return libdeflate_crc32(crc, data, size); }

std::string trailerBytes(const Parts& parts, uint32_t crc) {
  std::string out;
  writeLe(out, uint64_t(parts.launcher), 8);
  writeLe(out, uint64_t(parts.configuration), 8);
  writeLe(out, uint64_t(parts.runtime), 8);
  writeLe(out, uint64_t(parts.archive), 8);
  writeLe(out, uint64_t(parts.attributes), 8);
  if (parts.signature > 0) writeLe(out, uint64_t(parts.signature), 8);
  writeLe(out, parts.signature > 0 ? kKnownParts : kKnownParts - 1, 4);
  writeLe(out, crc, 4);
  writeLe(out, kVersion, 4);
  out.append(kMagic, sizeof kMagic);
  return out;
}

Layout readLayout(const std::string& path, bool checksum) {
  Layout layout;
  Fd file{open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  struct stat st {};
  if (file.fd < 0 || fstat(file.fd, &st) != 0) {
    layout.state = State::Unreadable;
    layout.problem = std::string("cannot read ") + path + ": " + std::strerror(errno);
    return layout;
  }
  const int64_t size = st.st_size;
  unsigned char head[4] = {};
  const bool program = size >= 4 && readAt(file.fd, head, 4, 0) && std::memcmp(head, "\x7f" "ELF", 4) == 0;
  unsigned char trailer[kTrailerSize];
  const bool haveTrailer = size >= kTrailerSize && readAt(file.fd, trailer, sizeof trailer, size - kTrailerSize) &&
                           std::memcmp(trailer + kTrailerSize - sizeof kMagic, kMagic, sizeof kMagic) == 0;
  if (!haveTrailer) {
    if (program) {
      layout.state = State::CutShort;
      layout.problem = "the file ends before its installer trailer: it was cut short (download it again)";
    }
    return layout;
  }
  Parts& parts = layout.parts;
  const uint32_t crc = uint32_t(readLe(trailer + 32, 4));
  const uint32_t version = uint32_t(readLe(trailer + 36, 4));
  const int64_t limit = int64_t(1) << 48;
  // The part sizes, first to last: version 1 has four before its CRC-32;
  // version 2 has N before its count.
  std::vector<int64_t> sizes;
  bool readable = version == 1 || version == kVersion;
  if (version == 1) {
    parts.trailer = kTrailerSize;
    for (int i = 0; i < 4; ++i) sizes.push_back(int64_t(readLe(trailer + size_t(8) * i, 8)));
  } else if (readable) {
    const uint32_t count = uint32_t(readLe(trailer + 28, 4));
    parts.trailer = 28 + 8 * int64_t(count);
    std::vector<unsigned char> table(size_t(8) * count);
    readable = count >= 4 && count <= kMaxParts && size >= parts.trailer &&
               readAt(file.fd, table.data(), table.size(), size - parts.trailer);
    for (uint32_t i = 0; readable && i < count; ++i) sizes.push_back(int64_t(readLe(table.data() + size_t(8) * i, 8)));
  }
  bool sane = readable;
  for (int64_t part : sizes) sane = sane && part >= 0 && part <= limit;
  if (sane) {
    parts.launcher = sizes[0];
    parts.configuration = sizes[1];
    parts.runtime = sizes[2];
    parts.archive = sizes[3];
    if (sizes.size() > 4) parts.attributes = sizes[4];
    if (sizes.size() > 5) parts.signature = sizes[5];
    for (size_t i = kKnownParts; i < sizes.size(); ++i) parts.later += sizes[i];
  }
  if (!sane || parts.launcher <= 0 || parts.archive <= 0) {
    layout.state = State::Damaged;
    layout.problem = "its installer trailer is damaged (download it again)";
    return layout;
  }
  if (parts.total() != size) {
    layout.state = parts.total() > size ? State::CutShort : State::Damaged;
    layout.problem = "it holds " + std::to_string(size) + " bytes where its trailer says " +
                     std::to_string(parts.total()) +
                     (parts.total() > size ? ": it was cut short (download it again)" : " (download it again)");
    return layout;
  }
  if (checksum) {
    constexpr size_t kBlock = 1 << 20;
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[kBlock]);
    uint32_t sum = 0;
    int64_t left = size - parts.trailer, at = 0;
    while (left > 0) {
      size_t n = size_t(std::min<int64_t>(left, int64_t(kBlock)));
      if (!readAt(file.fd, buffer.get(), n, at)) {
        layout.state = State::Unreadable;
        layout.problem = std::string("cannot read it: ") + std::strerror(errno);
        return layout;
      }
      sum = crc32Update(sum, buffer.get(), n);
      at += int64_t(n);
      left -= int64_t(n);
    }
    if (sum != crc) {
      layout.state = State::Damaged;
      layout.problem = "its checksum does not match: the file is damaged (download it again)";
      return layout;
    }
  }
  layout.state = State::Sound;
  return layout;
}

}  // namespace installer
