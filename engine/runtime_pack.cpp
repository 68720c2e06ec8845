#include "engine/runtime_pack.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zstd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace runtime_pack {

namespace {

struct DStreamFree {
  void operator()(ZSTD_DStream* s) const { ZSTD_freeDStream(s); }
};

bool preadAll(int fd, void* into, size_t n, int64_t at) {
  char* p = static_cast<char*>(into);
  while (n > 0) {
    ssize_t got = pread(fd, p, n, at);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    p += got;
    n -= size_t(got);
    at += got;
  }
  return true;
}

// The decoded bytes of the frame, handed out piece by piece from the output
// buffer (no copy for file contents).
class Stream {
 public:
  Stream(int fd, int64_t offset, int64_t length)
      : fd_(fd), at_(offset + int64_t(kMagicSize)), end_(offset + length), stream_(ZSTD_createDStream()),
        in_(ZSTD_DStreamInSize()), out_(ZSTD_DStreamOutSize()) {
    ZSTD_DCtx_setParameter(stream_.get(), ZSTD_d_windowLogMax, kWindowLog);
    input_ = {in_.data(), 0, 0};
  }

  std::string problem;

  // Up to `want` decoded bytes at `*data`; 0 at the end of the frame or on a
  // problem.
  size_t next(const char** data, size_t want) {
    if (pos_ == filled_ && !refill()) return 0;
    size_t n = std::min(want, filled_ - pos_);
    *data = out_.data() + pos_;
    pos_ += n;
    return n;
  }

  bool exact(void* into, size_t n) {
    char* p = static_cast<char*>(into);
    while (n > 0) {
      const char* data;
      size_t got = next(&data, n);
      if (got == 0) {
        if (problem.empty()) problem = "the packed runtime ends in the middle of an entry";
        return false;
      }
      std::memcpy(p, data, got);
      p += got;
      n -= got;
    }
    return true;
  }

  // After the end record: the frame must end there, and the file with it.
  bool endsHere() {
    const char* data;
    if (next(&data, 1) != 0) {
      problem = "the packed runtime holds data after its end";
      return false;
    }
    if (!problem.empty()) return false;
    if (input_.pos != input_.size || at_ != end_) {
      problem = "the packed runtime is followed by other data";
      return false;
    }
    return true;
  }

  // A zstd frame (magic 0xFD2FB528) whose descriptor says it carries the
  // checksum of its content (bit 2).
  bool checkHeader() {
    unsigned char head[5];
    if (end_ - at_ < 5 || !preadAll(fd_, head, 5, at_) || head[0] != 0x28 || head[1] != 0xB5 || head[2] != 0x2F ||
        head[3] != 0xFD) {
      problem = "the packed runtime is damaged (no stream header)";
      return false;
    }
    if (!(head[4] & 0x04)) {
      problem = "the packed runtime carries no checksum";
      return false;
    }
    return true;
  }

 private:
  bool refill() {
    if (ended_ || !problem.empty()) return false;
    pos_ = filled_ = 0;
    while (true) {
      if (input_.pos == input_.size) {
        size_t n = size_t(std::min<int64_t>(int64_t(in_.size()), end_ - at_));
        if (n == 0) {
          problem = "the packed runtime is cut short";
          return false;
        }
        if (!preadAll(fd_, in_.data(), n, at_)) {
          problem = std::string("the packed runtime cannot be read: ") + (errno ? std::strerror(errno) : "cut short");
          return false;
        }
        at_ += int64_t(n);
        input_ = {in_.data(), n, 0};
      }
      ZSTD_outBuffer output = {out_.data(), out_.size(), 0};
      size_t ret = ZSTD_decompressStream(stream_.get(), &output, &input_);
      if (ZSTD_isError(ret)) {
        problem = std::string("the packed runtime is damaged (") + ZSTD_getErrorName(ret) + ")";
        return false;
      }
      filled_ = output.pos;
      if (ret == 0) ended_ = true;
      if (filled_ > 0) return true;
      if (ended_) return false;
    }
  }

  int fd_;
  int64_t at_, end_;
  std::unique_ptr<ZSTD_DStream, DStreamFree> stream_;
  std::vector<char> in_, out_;
  ZSTD_inBuffer input_;
  size_t pos_ = 0, filled_ = 0;
  bool ended_ = false;
};

uint64_t littleEndian(const unsigned char* p, int bytes) {
  uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

bool soundPath(const std::string& path) {
  if (path.empty() || path.front() == '/' || path.find('\0') != std::string::npos) return false;
  size_t start = 0;
  while (start <= path.size()) {
    size_t slash = path.find('/', start);
    if (slash == std::string::npos) slash = path.size();
    std::string component = path.substr(start, slash - start);
    if (component.empty() || component == "." || component == "..") return false;
    start = slash + 1;
  }
  return true;
}

// Reads every record; `onEntry` is called with each one's header and must
// consume a file's bytes through `stream`. Returns the problem or "".
std::string walk(int fd, int64_t offset, int64_t length,
                 const std::function<bool(Stream&, const Entry&, std::string&)>& onEntry) {
  if (!isPacked(fd, offset, length)) return "not a packed runtime";
  Stream stream(fd, offset, length);
  if (!stream.checkHeader()) return stream.problem;
  while (true) {
    unsigned char kind;
    if (!stream.exact(&kind, 1)) return stream.problem;
    if (kind == 'E') return stream.endsHere() ? std::string() : stream.problem;
    if (kind != 'D' && kind != 'F' && kind != 'X') return "the packed runtime is damaged (unknown entry)";
    unsigned char number[8];
    if (!stream.exact(number, 2)) return stream.problem;
    Entry entry;
    entry.kind = char(kind);
    entry.path.resize(size_t(littleEndian(number, 2)));
    if (!stream.exact(entry.path.data(), entry.path.size())) return stream.problem;
    if (!soundPath(entry.path)) return "the packed runtime is damaged (a bad name)";
    if (kind != 'D') {
      if (!stream.exact(number, 8)) return stream.problem;
      entry.size = littleEndian(number, 8);
    }
    std::string problem;
    if (!onEntry(stream, entry, problem)) return problem.empty() ? stream.problem : problem;
  }
}

// Hands the `size` bytes of the current file to `sink` piece by piece.
bool copyOut(Stream& stream, uint64_t size, const std::function<bool(const char*, size_t)>& sink) {
  while (size > 0) {
    const char* data;
    size_t n = stream.next(&data, size_t(std::min<uint64_t>(size, 1 << 20)));
    if (n == 0) {
      if (stream.problem.empty()) stream.problem = "the packed runtime ends in the middle of a file";
      return false;
    }
    if (!sink(data, n)) return false;
    size -= n;
  }
  return true;
}

}  // namespace

bool isPacked(int fd, int64_t offset, int64_t length) {
  char head[kMagicSize];
  return length >= int64_t(kMagicSize) && preadAll(fd, head, kMagicSize, offset) &&
         std::memcmp(head, kMagic, kMagicSize) == 0;
}

std::string unpack(int fd, int64_t offset, int64_t length, int directoryFd) {
  return walk(fd, offset, length, [&](Stream& stream, const Entry& entry, std::string& problem) {
    if (entry.kind == 'D') {
      if (mkdirat(directoryFd, entry.path.c_str(), 0700) == 0) return true;
      problem = "cannot make " + entry.path + ": " + std::strerror(errno);
      return false;
    }
    int out = openat(directoryFd, entry.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                     entry.kind == 'X' ? 0700 : 0600);
    if (out < 0) {
      problem = "cannot write " + entry.path + ": " + std::strerror(errno);
      return false;
    }
    bool written = copyOut(stream, entry.size, [&](const char* data, size_t n) {
      // Zeros become a hole (ICU's data library is trimmed into zeros): the
      // file reads the same, and nothing is copied.
      if (n > 0 && data[0] == 0 && std::memcmp(data, data + 1, n - 1) == 0) {
        if (lseek(out, off_t(n), SEEK_CUR) >= 0) return true;
        problem = "cannot write " + entry.path + ": " + std::strerror(errno);
        return false;
      }
      while (n > 0) {
        ssize_t put = write(out, data, n);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
          problem = "cannot write " + entry.path + ": " + std::strerror(put < 0 ? errno : ENOSPC);
          return false;
        }
        data += put;
        n -= size_t(put);
      }
      return true;
    });
    // A hole at the end needs the size set.
    if (written && ftruncate(out, off_t(entry.size)) != 0) {
      problem = "cannot write " + entry.path + ": " + std::strerror(errno);
      written = false;
    }
    if (close(out) != 0 && written) {
      problem = "cannot write " + entry.path + ": " + std::strerror(errno);
      return false;
    }
    return written;
  });
}

std::string list(int fd, int64_t offset, int64_t length, const std::function<void(const Entry&)>& entry) {
  return walk(fd, offset, length, [&](Stream& stream, const Entry& e, std::string&) {
    entry(e);
    return e.kind == 'D' || copyOut(stream, e.size, [](const char*, size_t) { return true; });
  });
}

}  // namespace runtime_pack
