#include "medium/runtime_pack.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zstd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/interrupt.h"

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

uint64_t littleEndian(const unsigned char* p, int bytes) {
  uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

struct Frame {
  int64_t offset = 0, length = 0;
};

// Where the frames lie, from the header; every byte after it belongs to
// exactly one frame.
struct Layout {
  std::vector<Frame> frames;
  int windowLog = kWindowLog;
  bool branches = true;  // 'f' and 'x' records may occur (version 3)
  std::string problem;
};

// 3, 2 or 1 for the magic of each version, 0 for anything else.
int versionOf(const char (&head)[kMagicSize]) {
  if (std::memcmp(head, kMagic, kMagicSize) == 0) return 3;
  if (std::memcmp(head, kMagicVersion2, kMagicSize) == 0) return 2;
  return std::memcmp(head, kMagicVersion1, kMagicSize) == 0 ? 1 : 0;
}

Layout layoutOf(int fd, int64_t offset, int64_t length) {
  Layout layout;
  auto fail = [&](const char* problem) {
    layout.problem = problem;
    return layout;
  };
  char head[kMagicSize];
  const int version = length >= int64_t(kMagicSize) && preadAll(fd, head, kMagicSize, offset) ? versionOf(head) : 0;
  if (version == 0) return fail("not a packed runtime");
  layout.branches = version >= 3;
  int64_t at = offset + int64_t(kMagicSize);
  const int64_t end = offset + length;
  if (version == 1) {
    layout.frames.push_back({at, end - at});
    layout.windowLog = kWindowLogVersion1;
    return layout;
  }
  unsigned char number[8];
  if (end - at < 4 || !preadAll(fd, number, 4, at)) return fail("the packed runtime is cut short");
  const uint64_t count = littleEndian(number, 4);
  if (count == 0 || count > kMaxFrames) return fail("the packed runtime is damaged (a bad number of parts)");
  at += 4;
  // The frames follow the table of their sizes.
  const int64_t tableEnd = at + int64_t(count * 8);
  if (tableEnd > end) return fail("the packed runtime is cut short");
  for (int64_t frame = tableEnd; at < tableEnd; at += 8) {
    if (!preadAll(fd, number, 8, at)) return fail("the packed runtime is cut short");
    const uint64_t size = littleEndian(number, 8);
    if (size == 0) return fail("the packed runtime is damaged (an empty part)");
    if (size > uint64_t(end - frame)) return fail("the packed runtime is cut short");
    layout.frames.push_back({frame, int64_t(size)});
    frame += int64_t(size);
  }
  if (layout.frames.back().offset + layout.frames.back().length != end)
    return fail("the packed runtime is followed by other data");
  return layout;
}

// The decoded bytes of one frame, handed out piece by piece from the output
// buffer (no copy for file contents).
class Stream {
 public:
  Stream(int fd, const Frame& frame, int windowLog)
      : fd_(fd), at_(frame.offset), end_(frame.offset + frame.length), stream_(ZSTD_createDStream()),
        in_(ZSTD_DStreamInSize()), out_(ZSTD_DStreamOutSize()) {
    ZSTD_DCtx_setParameter(stream_.get(), ZSTD_d_windowLogMax, windowLog);
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

  // After the end record: the frame must end there, and its stretch with it.
  bool endsHere() {
    const char* data;
    if (next(&data, 1) != 0) {
      problem = "the packed runtime holds data after its end";
      return false;
    }
    return endedWhole();
  }

  // When next() gave nothing: whether the frame ended there, its checksum
  // matched and nothing follows it in its stretch.
  bool endedWhole() {
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

using OnEntry = std::function<bool(Stream&, const Entry&, std::string&)>;

// Reads the records of frame `index` of `layout`; `onEntry` is called with
// each one's header and must consume a file's bytes through the stream.
// Folders may be named in the first frame only; the last frame ends with
// the end record, the others between records. Returns the problem or "".
std::string walkFrame(int fd, const Layout& layout, size_t index, const OnEntry& onEntry) {
  Stream stream(fd, layout.frames[index], layout.windowLog);
  if (!stream.checkHeader()) return stream.problem;
  const bool last = index + 1 == layout.frames.size();
  while (true) {
    unsigned char kind;
    const char* data;
    if (stream.next(&data, 1) == 0) {
      if (!stream.problem.empty()) return stream.problem;
      if (last) return "the packed runtime is cut short (no end record)";
      return stream.endedWhole() ? std::string() : stream.problem;
    }
    kind = static_cast<unsigned char>(*data);
    if (kind == 'E') {
      if (!last) return "the packed runtime is damaged (an end before the last part)";
      return stream.endsHere() ? std::string() : stream.problem;
    }
    const bool branches = layout.branches && (kind == 'f' || kind == 'x');
    if (branches) kind = kind == 'f' ? 'F' : 'X';
    if (kind != 'D' && kind != 'F' && kind != 'X') return "the packed runtime is damaged (unknown entry)";
    if (kind == 'D' && index > 0) return "the packed runtime is damaged (a folder after the first part)";
    unsigned char number[8];
    if (!stream.exact(number, 2)) return stream.problem;
    Entry entry;
    entry.kind = char(kind);
    entry.branches = branches;
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

// Reads every record of every frame in order. Returns the problem or "".
std::string walk(int fd, int64_t offset, int64_t length, const OnEntry& onEntry) {
  const Layout layout = layoutOf(fd, offset, length);
  if (!layout.problem.empty()) return layout.problem;
  for (size_t i = 0; i < layout.frames.size(); ++i)
    if (std::string problem = walkFrame(fd, layout, i, onEntry); !problem.empty()) return problem;
  return {};
}

// Hands the `size` bytes of the current file to `sink` piece by piece; stops
// at an interrupt (platform/interrupt.h).
bool copyOut(Stream& stream, uint64_t size, const std::function<bool(const char*, size_t)>& sink) {
  while (size > 0) {
    if (platform::interruptRequested()) {
      stream.problem = kInterrupted;
      return false;
    }
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

// Writes the files on a thread of its own while the stream is decoded: the
// decoded bytes are handed over in pieces of up to 128 KiB, at most two
// waiting. Pieces of zeros become holes (ICU's data library is trimmed into
// zeros): the file reads the same, and nothing is copied there. A file gets
// its size only once all of its bytes came; one abandoned is removed.
class FileWriter {
 public:
  // The files are made below the folder open as `directoryFd`.
  explicit FileWriter(int directoryFd) : directoryFd_(directoryFd), thread_([this] { run(); }) {}
  ~FileWriter() { finish(); }

  // `fd` is the file `path` just made; it is known to the handler of a
  // second interrupt until it is complete or removed. `branches`: its bytes
  // come with absolute branch targets.
  void begin(int fd, const std::string& path, uint64_t size, bool branches) {
    current_ = {fd,    path,  size,     {},
                false, false, branches, platform::UnfinishedFile(directoryFd_, path.c_str(), fd, false)};
  }

  bool put(const char* data, size_t n) {
    while (n > 0) {
      const size_t take = std::min(n, kPiece - current_.bytes.size());
      current_.bytes.insert(current_.bytes.end(), data, data + take);
      data += take;
      n -= take;
      if (current_.bytes.size() == kPiece && !hand(false)) return false;
    }
    return true;
  }

  // The current file is complete (`whole`): it is sized and closed; or it
  // is abandoned: closed and removed.
  void end(bool whole) { hand(true, whole); }

  std::string problem() {
    std::lock_guard<std::mutex> lock(mutex_);
    return problem_;
  }

  // Waits for every write; returns the first problem.
  std::string finish() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
    return problem_;
  }

 private:
  static constexpr size_t kPiece = size_t(128) * 1024, kWaiting = 2;

  struct Job {
    int fd = -1;
    std::string path;
    uint64_t size = 0;
    std::vector<char> bytes;
    bool last = false;
    bool whole = false;  // with `last`: every byte came
    bool branches = false;
    platform::UnfinishedFile unfinished;  // with `last`: let go of once done
  };

  bool hand(bool last, bool whole = false) {
    Job job{current_.fd, current_.path, current_.size, std::move(current_.bytes), last, whole, current_.branches, {}};
    if (last) job.unfinished = std::move(current_.unfinished);
    current_.bytes.clear();
    current_.bytes.reserve(kPiece);
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return jobs_.size() < kWaiting || !problem_.empty(); });
    jobs_.push_back(std::move(job));
    changed_.notify_all();
    return problem_.empty();
  }

  void run() {
    // The bytes of the current file not yet converted back (the last few of
    // the piece before, whose place reaches into this one), and where they
    // lie in it.
    std::vector<char> held;
    uint64_t at = 0;
    while (true) {
      Job job;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return !jobs_.empty() || done_; });
        if (jobs_.empty()) return;
        job = std::move(jobs_.front());
        jobs_.pop_front();
      }
      changed_.notify_all();
      if (job.branches) {
        job.bytes.insert(job.bytes.begin(), held.begin(), held.end());
        const size_t done = convertBranches(job.bytes.data(), job.bytes.size(), at, false);
        held.clear();
        if (!job.last) {
          held.assign(job.bytes.begin() + std::ptrdiff_t(done), job.bytes.end());
          job.bytes.resize(done);
        }
        at = job.last ? 0 : at + done;
      }
      std::string failed = job.last && !job.whole ? std::string() : write(job);
      if (job.last) {
        // A write that failed (this file's or an earlier one's, whose pieces
        // after it were dropped) leaves the file without all of its bytes.
        const bool whole = job.whole && failed.empty() && problem().empty();
        if (whole && ftruncate(job.fd, off_t(job.size)) != 0) failed = std::strerror(errno);
        if (close(job.fd) != 0 && failed.empty()) failed = std::strerror(errno);
        // Abandoned, or not written whole: no file of that name is left.
        if (!whole || !failed.empty()) unlinkat(directoryFd_, job.path.c_str(), 0);
        job.unfinished.release();
      }
      if (!failed.empty()) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (problem_.empty()) problem_ = "cannot write " + job.path + ": " + failed;
      }
    }
  }

  // Writes the piece, or passes over it when it is all zeros (a hole).
  std::string write(const Job& job) {
    const char* data = job.bytes.data();
    size_t n = job.bytes.size();
    if (n == 0) return {};
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!problem_.empty()) return {};
    }
    if (data[0] == 0 && std::memcmp(data, data + 1, n - 1) == 0)
      return lseek(job.fd, off_t(n), SEEK_CUR) >= 0 ? std::string() : std::strerror(errno);
    while (n > 0) {
      ssize_t put = ::write(job.fd, data, n);
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return std::strerror(put < 0 ? errno : ENOSPC);
      data += put;
      n -= size_t(put);
    }
    return {};
  }

  int directoryFd_;
  Job current_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Job> jobs_;
  bool done_ = false;
  std::string problem_;
  std::thread thread_;
};

}  // namespace

size_t convertBranches(char* data, size_t size, uint64_t base, bool toAbsolute) {
  constexpr uint32_t kReach = uint32_t(1) << 24;  // displacements within 16 MiB either way
  constexpr uint32_t kSpan = 2 * kReach;          // positions modulo 32 MiB
  auto* p = reinterpret_cast<unsigned char*>(data);
  size_t i = 0;
  while (i + 4 < size) {
    // Eight bytes at a time past those holding no opcode byte (0xE8 or
    // 0xE9: the byte's top seven bits 0xE8's).
    if (i + 8 <= size) {
      uint64_t word;
      std::memcpy(&word, p + i, 8);
      const uint64_t x = (word ^ 0xE8E8E8E8E8E8E8E8ULL) & 0xFEFEFEFEFEFEFEFEULL;
      if (((x - 0x0101010101010101ULL) & ~x & 0x8080808080808080ULL) == 0) {
        i += 8;
        continue;
      }
    }
    if ((p[i] & 0xFE) != 0xE8) {
      ++i;
      continue;
    }
    // Every opcode byte is followed by four bytes that are passed over,
    // converted or not: the places looked at then depend on opcode bytes
    // only, which no conversion changes, and are the same both ways.
    const uint32_t value =
        uint32_t(p[i + 1]) | uint32_t(p[i + 2]) << 8 | uint32_t(p[i + 3]) << 16 | uint32_t(p[i + 4]) << 24;
    if (value + kReach < kSpan) {  // within 16 MiB either way
      // The place after the displacement, modulo 32 MiB, added or taken
      // away, the result kept within 16 MiB either way.
      const auto next = uint32_t((base + i + 5) & (kSpan - 1));
      const uint32_t converted = ((toAbsolute ? value + next : value - next) + kReach) % kSpan - kReach;
      for (int b = 0; b < 4; ++b) p[i + 1 + size_t(b)] = static_cast<unsigned char>(converted >> (8 * b));
    }
    i += 5;
  }
  return i;
}

bool isPacked(int fd, int64_t offset, int64_t length) {
  char head[kMagicSize];
  return length >= int64_t(kMagicSize) && preadAll(fd, head, kMagicSize, offset) && versionOf(head) != 0;
}

std::string unpack(int fd, int64_t offset, int64_t length, int directoryFd) {
  const Layout layout = layoutOf(fd, offset, length);
  if (!layout.problem.empty()) return layout.problem;
  std::atomic<bool> stop{false};
  // Unpacks frame `index` through `writer`; false when it failed. The files
  // of a frame that did not end whole (damage found, its checksum wrong, an
  // interrupt) are removed: none of them is known to hold the packed bytes.
  auto unpackFrame = [&](size_t index, FileWriter& writer, std::string& problem) {
    std::vector<std::string> made;
    problem = walkFrame(fd, layout, index, [&](Stream& stream, const Entry& entry, std::string& problem) {
      if (stop) return false;  // another frame failed: its problem is the one told
      if (platform::interruptRequested()) {
        problem = kInterrupted;
        return false;
      }
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
      made.push_back(entry.path);
      writer.begin(out, entry.path, entry.size, entry.branches);
      const bool read = copyOut(stream, entry.size, [&](const char* data, size_t n) { return writer.put(data, n); });
      writer.end(read);
      if (!read) return false;
      problem = writer.problem();
      return problem.empty();
    });
    if (!problem.empty())
      for (const std::string& path : made) unlinkat(directoryFd, path.c_str(), 0);
    return problem.empty();
  };
  // The first frame (the folders) alone, then the others side by side.
  std::vector<std::string> problems(layout.frames.size());
  {
    FileWriter writer(directoryFd);
    unpackFrame(0, writer, problems[0]);
    if (std::string written = writer.finish(); problems[0].empty()) problems[0] = written;
  }
  if (problems[0].empty() && layout.frames.size() > 1) {
    std::atomic<size_t> next{1};
    auto work = [&] {
      FileWriter writer(directoryFd);
      size_t last = 0;  // the last frame taken: a write that fails late is told as its problem
      for (size_t i; !stop && (i = next++) < layout.frames.size(); last = i)
        if (!unpackFrame(i, writer, problems[i])) stop = true;
      if (std::string written = writer.finish(); !written.empty() && last > 0) {
        stop = true;
        if (problems[last].empty()) problems[last] = written;
      }
    };
    const size_t threads = std::min<size_t>(kFileFrames, layout.frames.size() - 1);
    std::vector<std::thread> helpers;
    for (size_t t = 1; t < threads; ++t) helpers.emplace_back(work);
    work();
    for (std::thread& t : helpers) t.join();
  }
  // The first problem in the pack's order; a frame stopped because another
  // failed tells nothing of its own.
  for (const std::string& problem : problems)
    if (!problem.empty()) return problem;
  return {};
}

Problem kindOf(const std::string& problem) {
  if (problem.empty()) return Problem::None;
  if (problem == kInterrupted) return Problem::Interrupted;
  // What could not be made or written names it: "cannot make", "cannot write".
  return problem.rfind("cannot ", 0) == 0 ? Problem::WriteFailed : Problem::Damaged;
}

std::string list(int fd, int64_t offset, int64_t length, const std::function<void(const Entry&)>& entry) {
  return walk(fd, offset, length, [&](Stream& stream, const Entry& e, std::string&) {
    entry(e);
    return e.kind == 'D' || copyOut(stream, e.size, [](const char*, size_t) { return true; });
  });
}

std::string extract(int fd, int64_t offset, int64_t length, const std::string& path, int outFd) {
  const Layout layout = layoutOf(fd, offset, length);
  if (!layout.problem.empty()) return layout.problem;
  bool found = false;
  // Frame by frame, up to the end of the one that holds the file: its
  // checksum is checked, the later frames need not be decoded.
  for (size_t i = 0; i < layout.frames.size() && !found; ++i) {
    std::string problem = walkFrame(fd, layout, i, [&](Stream& stream, const Entry& e, std::string& why) {
      if (e.kind == 'D') return true;
      const bool wanted = e.path == path;
      found = found || wanted;
      // A file with absolute branch targets is converted back whole.
      std::string whole;
      const bool copied = copyOut(stream, e.size, [&](const char* data, size_t n) {
        if (wanted && e.branches) {
          whole.append(data, n);
          if (whole.size() < e.size) return true;
          convertBranches(whole.data(), whole.size(), 0, false);
          data = whole.data();
          n = whole.size();
        }
        while (wanted && n > 0) {
          const ssize_t put = ::write(outFd, data, n);
          if (put < 0 && errno == EINTR) continue;
          if (put <= 0) return false;
          data += put;
          n -= size_t(put);
        }
        return true;
      });
      if (!copied && wanted) why = "cannot copy " + path + ": " + std::strerror(errno);
      return copied;
    });
    if (!problem.empty()) return problem;
  }
  return found ? std::string() : "no " + path;
}

}  // namespace runtime_pack
