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

namespace {

// The trailer whose last byte lies before `end`, read as a reader of this
// version reads it.
struct Trailer {
  bool found = false;  // the magic ends at `end`
  bool sane = false;   // a version and part sizes this program reads
  uint32_t crc = 0;
  Parts parts;
};

Trailer trailerEndingAt(int fd, int64_t end) {
  Trailer t;
  unsigned char trailer[kTrailerSize];
  t.found = end >= kTrailerSize && readAt(fd, trailer, sizeof trailer, end - kTrailerSize) &&
            std::memcmp(trailer + kTrailerSize - sizeof kMagic, kMagic, sizeof kMagic) == 0;
  if (!t.found) return t;
  Parts& parts = t.parts;
  t.crc = uint32_t(readLe(trailer + 32, 4));
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
    readable = count >= 4 && count <= kMaxParts && end >= parts.trailer &&
               readAt(fd, table.data(), table.size(), end - parts.trailer);
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
  t.sane = sane && parts.launcher > 0 && parts.archive > 0;
  return t;
}

// Where a sound installer that bytes were appended to ends: the last
// trailer before `size` whose parts fill the file up to it; 0 when none.
// Read backwards in blocks, the magic looked for across block edges.
int64_t installerEndBefore(int fd, int64_t size) {
  constexpr int64_t kBlock = 1 << 20;
  const int64_t overlap = int64_t(sizeof kMagic) - 1;
  std::vector<unsigned char> block(size_t(kBlock + overlap));
  for (int64_t blockEnd = size; blockEnd > 0;) {
    const int64_t start = std::max<int64_t>(0, blockEnd - kBlock);
    const int64_t length = std::min(size, blockEnd + overlap) - start;
    if (!readAt(fd, block.data(), size_t(length), start)) return 0;
    for (int64_t at = length - int64_t(sizeof kMagic); at >= 0; --at) {
      if (block[size_t(at)] != (unsigned char)kMagic[0] || std::memcmp(block.data() + at, kMagic, sizeof kMagic) != 0)
        continue;
      const int64_t end = start + at + int64_t(sizeof kMagic);
      if (end >= size) continue;
      const Trailer t = trailerEndingAt(fd, end);
      if (t.sane && t.parts.total() == end) return end;
    }
    blockEnd = start;
  }
  return 0;
}

}  // namespace

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
  const bool program = size >= 4 && readAt(file.fd, head, 4, 0) &&
                       std::memcmp(head,
                                   "\x7f"
                                   "ELF",
                                   4) == 0;
  const Trailer trailer = trailerEndingAt(file.fd, size);
  if (!trailer.found) {
    if (!program) return layout;
    // A sound installer with something written after it (a second download
    // appended, a signature added by hand) is no download cut short.
    if (const int64_t end = installerEndBefore(file.fd, size)) {
      layout.state = State::Damaged;
      layout.problem = std::to_string(size - end) + " bytes appended after its installer trailer (at byte " +
                       std::to_string(end) + "): the file is damaged (download it again)";
      return layout;
    }
    layout.state = State::CutShort;
    layout.problem = "the file ends before its installer trailer: it was cut short (download it again)";
    return layout;
  }
  Parts& parts = layout.parts;
  parts = trailer.parts;
  const uint32_t crc = trailer.crc;
  if (!trailer.sane) {
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
