#include "install/verify.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>
#include <ostream>
#include <thread>

#include "common/exit_status.h"
#include "common/sha256.h"
#include "framework/core/printable.h"
#include "install/json_text.h"
#include "install/record_store.h"

namespace install_verify {

namespace {

using install_record::FileEntry;
using install_record::modeText;

// Files at least this large are hashed first, the largest first, so that
// no thread is left with a large one at the end; the rest in the record's
// order, which keeps the files of a folder together.
constexpr uint64_t kLargeFile = uint64_t(1) << 20;
constexpr size_t kBufferSize = size_t(256) << 10;

// Reaches folders below DEST from its descriptor, one component at a time,
// never following a link; the last folder reached is kept open.
class Walker {
 public:
  explicit Walker(int destFd) : destFd_(destFd) {}
  ~Walker() { forget(); }
  Walker(const Walker&) = delete;
  Walker& operator=(const Walker&) = delete;

  // The folder `folder` ("" for DEST itself), or -1 with errno.
  int folder(const std::string& folder) {
    if (folder.empty()) return destFd_;
    if (lastFd_ >= 0 && folder == lastFolder_) return lastFd_;
    forget();
    int current = destFd_;
    size_t start = 0;
    while (start <= folder.size()) {
      const size_t end = std::min(folder.find('/', start), folder.size());
      const std::string part = folder.substr(start, end - start);
      const int next = openat(current, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      const int error = errno;
      if (current != destFd_) close(current);
      if (next < 0) {
        errno = error;
        return -1;
      }
      current = next;
      start = end + 1;
    }
    lastFd_ = current;
    lastFolder_ = folder;
    return current;
  }

  // The folder holding `name`, and its last component in `leaf`.
  int parentOf(const std::string& name, std::string& leaf) {
    const size_t slash = name.rfind('/');
    leaf = slash == std::string::npos ? name : name.substr(slash + 1);
    return folder(slash == std::string::npos ? std::string() : name.substr(0, slash));
  }

 private:
  void forget() {
    if (lastFd_ >= 0) close(lastFd_);
    lastFd_ = -1;
  }
  int destFd_;
  int lastFd_ = -1;
  std::string lastFolder_;
};

// Why a name could not be reached: missing, or something else in its place.
Difference unreachable(Kind kind, const std::string& name, int error, bool onTheWay) {
  if (error == ENOENT) return {Finding::Missing, kind, name, onTheWay ? "its folder is missing" : "it is missing"};
  if (error == ELOOP || error == ENOTDIR)
    return {Finding::Changed, kind, name,
            onTheWay ? "a folder on its way is a symbolic link or no folder" : "it was replaced by a symbolic link"};
  return {Finding::Changed, kind, name, std::string("it cannot be read: ") + std::strerror(error)};
}

void checkFile(const FileEntry& entry, Kind kind, Walker& walker, std::vector<uint8_t>& buffer,
               std::vector<Difference>& found, uint64_t& bytes) {
  std::string leaf;
  const int dir = walker.parentOf(entry.name, leaf);
  if (dir < 0) {
    found.push_back(unreachable(kind, entry.name, errno, true));
    return;
  }
  const int fd = openat(dir, leaf.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    found.push_back(unreachable(kind, entry.name, errno, false));
    return;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    found.push_back({Finding::Changed, kind, entry.name, "it is no longer a regular file"});
    return;
  }
  const unsigned mode = st.st_mode & 07777;
  if (uint64_t(st.st_size) != entry.size) {
    found.push_back({Finding::Changed, kind, entry.name,
                     "its size is " + std::to_string(st.st_size) + " bytes, recorded " + std::to_string(entry.size)});
  } else {
    digest::Sha256 sha;
    bool readable = true;
    for (;;) {
      const ssize_t n = read(fd, buffer.data(), buffer.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) readable = false;
      if (n <= 0) break;
      sha.update(buffer.data(), size_t(n));
      bytes += uint64_t(n);
    }
    if (!readable)
      found.push_back({Finding::Changed, kind, entry.name, std::string("it cannot be read: ") + std::strerror(errno)});
    else if (digest::hexOf(sha.finish()) != entry.sha256)
      found.push_back({Finding::Changed, kind, entry.name, "its content differs from the record (SHA-256)"});
  }
  close(fd);
  if (entry.mode != 0 && mode != entry.mode)
    found.push_back({Finding::ModeChanged, kind, entry.name,
                     "its mode is " + modeText(mode) + ", recorded " + modeText(entry.mode)});
}

void checkLink(const install_record::LinkEntry& link, Walker& walker, std::vector<Difference>& found) {
  std::string leaf;
  const int dir = walker.parentOf(link.name, leaf);
  if (dir < 0) {
    found.push_back(unreachable(Kind::Link, link.name, errno, true));
    return;
  }
  struct stat st {};
  if (fstatat(dir, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    found.push_back(unreachable(Kind::Link, link.name, errno, false));
    return;
  }
  if (!S_ISLNK(st.st_mode)) {
    found.push_back({Finding::Changed, Kind::Link, link.name, "it is no longer a symbolic link"});
    return;
  }
  std::string text(size_t(st.st_size) + 1, '\0');
  const ssize_t n = readlinkat(dir, leaf.c_str(), text.data(), text.size());
  if (n < 0 || size_t(n) >= text.size() || text.substr(0, size_t(n)) != link.target)
    found.push_back({Finding::Changed, Kind::Link, link.name,
                     "it points to " + fw::printable(n < 0 ? std::string() : text.substr(0, size_t(n))) +
                         ", recorded " + fw::printable(link.target)});
}

}  // namespace

const char* findingName(Finding finding) {
  switch (finding) {
    case Finding::Missing: return "missing";
    case Finding::Changed: return "changed";
    case Finding::ModeChanged: return "mode changed";
    case Finding::Incomplete: return "incomplete";
  }
  return "changed";
}

const char* kindName(Kind kind) {
  switch (kind) {
    case Kind::File: return "file";
    case Kind::Link: return "link";
    case Kind::Folder: return "folder";
    case Kind::Uninstaller: return "uninstaller";
    case Kind::Record: return "record";
  }
  return "file";
}

Report compare(int destFd, const install_record::Record& record, unsigned threads) {
  Report report;
  if (!record.complete)
    report.differences.push_back(
        {Finding::Incomplete, Kind::Record, install_record::kRecordName, "the last installation did not complete"});
  // The files (and the uninstaller, last), each checked by whichever thread
  // takes it; what each one found goes in its own slot, so the report keeps
  // the record's order.
  std::vector<const FileEntry*> files;
  for (const auto& f : record.files) files.push_back(&f);
  if (record.uninstaller) files.push_back(&*record.uninstaller);
  std::vector<size_t> order;
  for (size_t i = 0; i < files.size(); ++i)
    if (files[i]->size >= kLargeFile) order.push_back(i);
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return files[a]->size > files[b]->size; });
  for (size_t i = 0; i < files.size(); ++i)
    if (files[i]->size < kLargeFile) order.push_back(i);
  std::vector<std::vector<Difference>> found(files.size());
  std::atomic<size_t> next{0};
  std::atomic<uint64_t> hashed{0};
  auto work = [&] {
    Walker walker(destFd);
    std::vector<uint8_t> buffer(kBufferSize);
    uint64_t bytes = 0;
    for (size_t at; (at = next.fetch_add(1)) < order.size();) {
      const size_t i = order[at];
      const bool uninstaller = record.uninstaller && i == files.size() - 1;
      checkFile(*files[i], uninstaller ? Kind::Uninstaller : Kind::File, walker, buffer, found[i], bytes);
    }
    hashed += bytes;
  };
  if (threads == 0) threads = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
  threads = unsigned(std::min<size_t>(threads, std::max<size_t>(files.size(), 1)));
  std::vector<std::thread> pool;
  for (unsigned t = 1; t < threads; ++t) pool.emplace_back(work);
  work();
  for (auto& t : pool) t.join();
  for (auto& list : found)
    for (auto& d : list) report.differences.push_back(std::move(d));
  report.files = record.files.size();
  report.bytes = hashed;

  Walker walker(destFd);
  for (const auto& link : record.links) checkLink(link, walker, report.differences);
  report.links = record.links.size();
  for (const auto& folder : record.folders) {
    if (walker.folder(folder) >= 0) continue;
    const int error = errno;
    report.differences.push_back(error == ENOENT
                                     ? Difference{Finding::Missing, Kind::Folder, folder, "it is missing"}
                                     : Difference{Finding::Changed, Kind::Folder, folder, "it is no longer a folder"});
  }
  report.folders = record.folders.size();
  return report;
}

}  // namespace install_verify

namespace {

using Json = nlohmann::ordered_json;

void putName(Json& o, const std::string& name) {
  o["name"] = json_text::asUtf8(name);
  if (!json_text::isUtf8(name)) o["name_hex"] = json_text::hexOf(name);
}

}  // namespace

int runVerify(const VerifyOptions& options, VerifyConsole& console) {
  using namespace install_verify;
  const std::string shownDest = fw::printable(options.dest);
  auto end = [&](int status, const std::string& message, const Report* report) {
    if (options.json) {
      Json o;
      o["event"] = "done";
      o["status"] = status;
      o["destination"] = json_text::asUtf8(options.dest);
      if (report) {
        o["files"] = report->files;
        o["links"] = report->links;
        o["folders"] = report->folders;
        o["bytes"] = report->bytes;
        o["differences"] = report->differences.size();
      }
      o["message"] = message;
      console.out.put(o.dump() + "\n");
    } else {
      (status == setupkit::kExitOk || report ? console.out : console.err).put(message + "\n");
    }
    console.out.flush();
    return status;
  };
  // DEST is opened once; every name is reached from it.
  const int destFd = open(options.dest.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (destFd < 0) {
    if (errno == ELOOP)
      return end(setupkit::kExitRefused, shownDest + " is a symbolic link; name the folder itself", nullptr);
    return end(setupkit::kExitMissing, "Nothing is installed in " + shownDest + ": " + std::strerror(errno), nullptr);
  }
  struct Closer {
    int fd;
    ~Closer() { close(fd); }
  } closer{destFd};
  const record_store::Earlier earlier = record_store::loadEarlier(destFd);
  switch (earlier.state) {
    case install_record::LoadState::Missing:
      return end(setupkit::kExitMissing,
                 "Nothing is installed in " + shownDest + ": " +
                     (earlier.problem.empty() ? std::string("it has no install record") : earlier.problem),
                 nullptr);
    case install_record::LoadState::Damaged:
      return end(setupkit::kExitDamaged, "The install record of " + shownDest + " cannot be used: " + earlier.problem,
                 nullptr);
    case install_record::LoadState::Outside:
      return end(setupkit::kExitRefused, "The install record of " + shownDest + " is refused: " + earlier.problem,
                 nullptr);
    case install_record::LoadState::Loaded: break;
  }
  const Report report = compare(destFd, earlier.record);
  for (const auto& d : report.differences) {
    if (options.json) {
      Json o;
      o["event"] = findingName(d.finding);
      o["kind"] = kindName(d.kind);
      putName(o, d.name);
      o["reason"] = d.detail;
      console.out.put(o.dump() + "\n");
    } else {
      console.out.put(std::string(findingName(d.finding)) + " " + kindName(d.kind) + ": " + fw::printable(d.name) +
                      " (" + d.detail + ")\n");
    }
  }
  const std::string counted = std::to_string(report.files) + (report.files == 1 ? " file, " : " files, ") +
                              std::to_string(report.links) + (report.links == 1 ? " link, " : " links, ") +
                              std::to_string(report.folders) + (report.folders == 1 ? " folder" : " folders");
  if (report.differences.empty()) return end(setupkit::kExitOk, shownDest + ": " + counted + " as installed", &report);
  const size_t n = report.differences.size();
  return end(setupkit::kExitDamaged,
             shownDest + ": " + counted + " checked; " + std::to_string(n) +
                 (n == 1 ? " difference from" : " differences from") + " the install record",
             &report);
}
