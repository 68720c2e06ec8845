#include "medium/medium_attributes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "engine/restore_target.h"
#include "medium/installer_file.h"
#include "platform/file_window.h"
#include "platform/text_file.h"

namespace medium {

namespace {

constexpr std::string_view kHeader = "SETUP-ATTRIBUTES 1";
// Every stored name of a medium starts so: the restore drops these three
// characters to place a name below the destination.
constexpr std::string_view kDrive = "C:\\";
// The option line of a medium made with --group-write.
constexpr std::string_view kGroupWrite = "group-write";
// Larger files are hashed on a second thread while the restore goes on
// writing; for smaller ones handing the bytes over costs more than hashing.
constexpr uint64_t kThreadedSize = 1 << 20;
// A file of attributes larger than this is no attributes file.
constexpr int64_t kMaxFileSize = int64_t(1) << 30;

bool controlFree(std::string_view text) {
  return std::none_of(text.begin(), text.end(), [](char c) { return (unsigned char)c < 0x20 || c == 0x7f; });
}

std::vector<std::string_view> fieldsOf(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  for (;;) {
    const size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
    if (tab == std::string_view::npos) return fields;
    start = tab + 1;
  }
}

bool parseNumber(std::string_view text, int base, uint64_t& value) {
  if (text.empty() || text.size() > 20) return false;
  value = 0;
  for (char c : text) {
    const int digit = c - '0';
    if (digit < 0 || digit >= base) return false;
    if (value > (UINT64_MAX - uint64_t(digit)) / uint64_t(base)) return false;
    value = value * uint64_t(base) + uint64_t(digit);
  }
  return true;
}

// Levels below the tree's root the stored name's folder lies (C:\a\b\x: 2).
int folderDepth(const std::string& storedName) {
  int depth = 0;
  for (size_t i = 3; i < storedName.size(); ++i)
    if (storedName[i] == '\\' || storedName[i] == '/') ++depth;
  return depth;
}

std::string octal(unsigned mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", mode & 07777);
  return text;
}

// Why no publisher's tool gives a file `mode`; empty when one does.
// setupkit keeps modes through keptMode(), which never gives these.
std::string modeProblem(unsigned mode, bool groupWrite) {
  if (mode & 04000) return "set-user-ID mode refused (" + octal(mode) + ")";
  if (mode & 02000) return "set-group-ID mode refused (" + octal(mode) + ")";
  if (mode & 01000) return "sticky mode refused (" + octal(mode) + ")";
  // A later install must be able to replace the file.
  if ((mode & 0600) != 0600) return "mode " + octal(mode) + " refused: the owner cannot read and write the file";
  if (!groupWrite && (mode & 022))
    return "mode " + octal(mode) + " refused: group or other write, and the medium was not made to keep them";
  return {};
}

// Why a folder or link named `name` cannot be made below a destination, by
// the rules the restore applies to the archive's names; empty when it can.
std::string nameProblem(const std::string& name) {
  if (name.compare(0, kDrive.size(), kDrive) != 0) return "the name does not start with C:\\";
  return TRestoreTarget::refusalOf(name);
}

// The name as the restore tells names apart below the destination: without
// its drive and its "." folders, "/" as "\\", letter case ignored byte by
// byte, as the restore's lookup ignores it.
std::string nameKey(const std::string& name) {
  std::string key;
  key.reserve(name.size());
  size_t start = kDrive.size();
  while (start <= name.size()) {
    size_t end = name.find_first_of("\\/", start);
    if (end == std::string::npos) end = name.size();
    const std::string_view part = std::string_view(name).substr(start, end - start);
    if (part != ".") {
      if (!key.empty()) key += '\\';
      for (char c : part) key += char(std::tolower((unsigned char)c));
    }
    start = end + 1;
  }
  return key;
}

// Each name once: a file or link named twice, a link or folder at a file's
// or link's name, a folder named twice, and an entry below a name a file or
// link holds (the install could make only one of the two). Linear in the
// names' length: each entry looks up the keys of the folders above it.
bool namesOnce(const Attributes& a, std::string& problem) {
  struct Leaf {
    const char* kind;
    const std::string* name;
  };
  std::unordered_map<std::string, Leaf> leaves;  // files and links
  std::unordered_set<std::string> folders;
  std::vector<std::pair<std::string, const std::string*>> keys;  // every entry's key and name
  keys.reserve(a.files.size() + a.links.size() + a.folders.size());
  auto refuse = [&](const std::string& name, const std::string& what) {
    problem = name + ": " + what;
    return false;
  };
  for (const auto& [name, file] : a.files) {
    std::string key = nameKey(name);
    if (!leaves.emplace(key, Leaf{"a file", &name}).second) return refuse(name, "a file named twice");
    keys.emplace_back(std::move(key), &name);
  }
  for (const Link& link : a.links) {
    std::string key = nameKey(link.name);
    auto [it, fresh] = leaves.emplace(key, Leaf{"a link", &link.name});
    if (!fresh)
      return refuse(link.name,
                    it->second.kind == std::string("a file") ? "a link at the name of a file" : "a link named twice");
    keys.emplace_back(std::move(key), &link.name);
  }
  for (const std::string& folder : a.folders) {
    std::string key = nameKey(folder);
    if (auto it = leaves.find(key); it != leaves.end())
      return refuse(folder, std::string("a folder at the name of ") + it->second.kind + " (" + *it->second.name + ")");
    if (!folders.insert(key).second) return refuse(folder, "a folder named twice");
    keys.emplace_back(std::move(key), &folder);
  }
  for (const auto& [key, name] : keys)
    for (size_t at = key.find('\\'); at != std::string::npos; at = key.find('\\', at + 1))
      if (auto it = leaves.find(key.substr(0, at)); it != leaves.end())
        return refuse(*name, *it->second.name + " is " + it->second.kind + ", not a folder of it");
  return true;
}

Loaded damaged(std::string problem) {
  Loaded loaded;
  loaded.state = Loaded::State::Damaged;
  loaded.problem = std::move(problem);
  return loaded;
}

Loaded parsed(const std::string& text, const std::string& where) {
  Loaded loaded;
  std::string problem;
  if (!parseAttributes(text, loaded.attributes, problem)) return damaged(where + ": " + problem);
  loaded.state = Loaded::State::Found;
  return loaded;
}

}  // namespace

unsigned keptMode(unsigned hostMode, bool groupWrite) { return (hostMode & (groupWrite ? 0777u : 0755u)) | 0600u; }

bool linkTargetAllowed(const std::string& storedName, const std::string& target) {
  if (target.empty() || target[0] == '/' || !controlFree(target) || target.find('\\') != std::string::npos)
    return false;
  int climbs = 0;
  bool named = false;
  size_t start = 0;
  for (;;) {
    const size_t slash = target.find('/', start);
    const std::string part = target.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    if (part.empty() || part == ".") return false;
    if (part == "..") {
      if (named) return false;
      ++climbs;
    } else {
      named = true;
    }
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return climbs <= folderDepth(storedName);
}

std::string formatAttributes(const Attributes& attributes) {
  std::string text(kHeader);
  text += '\n';
  if (attributes.groupWrite) text += "O\t" + std::string(kGroupWrite) + "\n";
  for (const auto& [name, file] : attributes.files)
    text += "F\t" + octal(file.mode) + "\t" + std::to_string(file.size) + "\t" + digest::hexOf(file.sha256) + "\t" +
            name + "\n";
  for (const Link& link : attributes.links) text += "L\t" + link.name + "\t" + link.target + "\n";
  for (const std::string& folder : attributes.folders) text += "D\t" + folder + "\n";
  return text;
}

bool parseAttributes(std::string_view text, Attributes& out, std::string& problem) {
  out = Attributes();
  size_t lineNumber = 0;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) {
      problem = "the last line has no line break (the file was cut short)";
      return false;
    }
    const std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++lineNumber;
    auto bad = [&](const std::string& what) {
      problem = "line " + std::to_string(lineNumber) + ": " + what;
      return false;
    };
    if (lineNumber == 1) {
      if (line != kHeader) return bad("not an attributes file of version 1");
      continue;
    }
    const std::vector<std::string_view> f = fieldsOf(line);
    for (std::string_view field : f)
      if (!controlFree(field)) return bad("a control character");
    if (f[0] == "F") {
      uint64_t mode = 0, size = 0;
      FileAttributes file;
      if (f.size() != 5 || !parseNumber(f[1], 8, mode) || mode > 07777 || !parseNumber(f[2], 10, size) ||
          !digest::parseHex(std::string(f[3]), file.sha256) || f[4].empty())
        return bad("a damaged file line");
      // A file's name only has to find its entry; the archive's names are
      // checked by the restore as it reads them.
      if (f[4].compare(0, kDrive.size(), kDrive) != 0) return bad("a file name that does not start with C:\\");
      file.mode = unsigned(mode);
      file.size = size;
      if (!out.files.emplace(std::string(f[4]), file).second) return bad("a file named twice");
    } else if (f[0] == "L") {
      if (f.size() != 3 || f[1].empty()) return bad("a damaged link line");
      const std::string name(f[1]);
      if (const std::string why = nameProblem(name); !why.empty()) return bad("a link name refused: " + why);
      if (!linkTargetAllowed(name, std::string(f[2]))) return bad("a link that leaves the tree");
      out.links.push_back(Link{name, std::string(f[2])});
    } else if (f[0] == "D") {
      if (f.size() != 2 || f[1].empty()) return bad("a damaged folder line");
      const std::string name(f[1]);
      if (const std::string why = nameProblem(name); !why.empty()) return bad("a folder name refused: " + why);
      out.folders.push_back(name);
    } else if (f[0] == "O") {
      // Options of the medium; those of later versions are left to them.
      if (f.size() >= 2 && f[1] == kGroupWrite) out.groupWrite = true;
    }
    // Lines of other kinds are left for later versions of this program.
  }
  if (lineNumber == 0) {
    problem = "the file is empty";
    return false;
  }
  // The option line may stand anywhere: modes are judged once all is read.
  for (const auto& [name, file] : out.files)
    if (const std::string why = modeProblem(file.mode, out.groupWrite); !why.empty()) {
      problem = name + ": " + why;
      return false;
    }
  return namesOnce(out, problem);
}

Loaded loadFile(const std::string& hostPath) {
  const std::optional<std::string> text = platform::readWholeFile(hostPath, size_t(kMaxFileSize));
  if (!text) {
    const int error = errno;
    struct stat st {};
    if (::stat(hostPath.c_str(), &st) != 0 && errno == ENOENT) return {};
    return damaged("cannot read " + hostPath + ": " + std::strerror(error));
  }
  return parsed(*text, hostPath);
}

Loaded loadFromInstaller(const std::string& hostPath) {
  const installer::Layout layout = installer::readLayout(hostPath, false);
  if (layout.state != installer::State::Sound || layout.parts.attributes == 0) return {};
  if (layout.parts.attributes > kMaxFileSize) return damaged(hostPath + ": its attributes part is damaged");
  std::string text(size_t(layout.parts.attributes), '\0');
  const int fd = open(hostPath.c_str(), O_RDONLY | O_CLOEXEC);
  bool read = fd >= 0;
  for (size_t done = 0; read && done < text.size();) {
    const ssize_t n = pread(fd, text.data() + done, text.size() - done, layout.parts.attributesOffset() + off_t(done));
    read = n > 0;
    done += read ? size_t(n) : 0;
  }
  if (fd >= 0) close(fd);
  if (!read) return damaged("cannot read the attributes of " + hostPath);
  return parsed(text, hostPath);
}

Loaded loadForArchive(const std::string& hostPath) {
  // An archive read in place from a one-file installer (the program's
  // stand-in SETUP.BIN, or the installer itself).
  if (auto window = platform::fileWindowOf(hostPath)) return loadFromInstaller(window->file);
  if (installer::readLayout(hostPath, false).state == installer::State::Sound) return loadFromInstaller(hostPath);
  const size_t slash = hostPath.find_last_of('/');
  return loadFile((slash == std::string::npos ? std::string() : hostPath.substr(0, slash + 1)) + kAttributesFileName);
}

// Hashes the bytes of one large file at a time on its own thread, through
// a ring of buffers, so that the restore goes on decoding and writing the
// file's next chunks meanwhile. The thread is woken once per batch of
// buffers, not per buffer, and drains whatever is there.
class TMediumCheck::HashThread {
 public:
  HashThread() : slots_(std::make_unique<Slot[]>(kSlots)), thread_([this] { run(); }) {}
  ~HashThread() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      quit_ = true;
    }
    work_.notify_all();
    thread_.join();
  }

  void add(const void* data, size_t length) {
    const char* p = static_cast<const char*>(data);
    while (length > 0) {
      std::unique_lock<std::mutex> lock(mutex_);
      if (used_ == kSlots) {
        flush_ = true;
        work_.notify_one();
        room_.wait(lock, [this] { return used_ < kSlots; });
        flush_ = false;
      }
      Slot& slot = slots_[(first_ + used_) % kSlots];
      lock.unlock();
      slot.length = std::min(length, kSlotSize);
      std::memcpy(slot.bytes, p, slot.length);
      p += slot.length;
      length -= slot.length;
      lock.lock();
      ++used_;
      if (used_ % kBatch == 0 && idle_) work_.notify_one();
    }
  }

  // Waits until every byte given is hashed; returns the digest.
  digest::Sha256Digest finish() {
    std::unique_lock<std::mutex> lock(mutex_);
    flush_ = true;
    if (idle_) work_.notify_one();
    room_.wait(lock, [this] { return used_ == 0 && idle_; });
    flush_ = false;
    return hash_.finish();
  }

 private:
  static constexpr size_t kSlots = 64;
  static constexpr size_t kBatch = 8;
  static constexpr size_t kSlotSize = 16384;
  struct Slot {
    size_t length = 0;
    char bytes[kSlotSize];
  };

  void run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      work_.wait(lock, [this] { return quit_ || used_ >= kBatch || (flush_ && used_ > 0); });
      if (quit_) return;
      idle_ = false;
      while (used_ > 0) {
        Slot& slot = slots_[first_];
        lock.unlock();
        hash_.update(slot.bytes, slot.length);
        lock.lock();
        first_ = (first_ + 1) % kSlots;
        --used_;
        room_.notify_one();
      }
      idle_ = true;
      room_.notify_one();
    }
  }

  std::mutex mutex_;
  std::condition_variable work_, room_;
  std::unique_ptr<Slot[]> slots_;
  size_t first_ = 0, used_ = 0;
  bool idle_ = true, flush_ = false, quit_ = false;
  digest::Sha256 hash_;
  std::thread thread_;
};

TMediumCheck::TMediumCheck(Attributes attributes) : attributes_(std::move(attributes)) {}
TMediumCheck::~TMediumCheck() = default;

void TMediumCheck::beginFile(const std::string& storedName) {
  landed_ = nullptr;
  if (threaded_) thread_->finish();  // a file dropped half-way: its bytes are let go
  hash_ = digest::Sha256();
  seen_ = 0;
  currentName_ = storedName;
  auto it = attributes_.files.find(storedName);
  current_ = it == attributes_.files.end() ? nullptr : &it->second;
  threaded_ = current_ && current_->size >= kThreadedSize && std::thread::hardware_concurrency() > 1;
  if (threaded_ && !thread_) thread_ = std::make_unique<HashThread>();
}

void TMediumCheck::fileData(const void* data, size_t length) {
  seen_ += length;
  if (threaded_)
    thread_->add(data, length);
  else
    hash_.update(data, length);
}

bool TMediumCheck::endFile(unsigned& mode, bool& hasMode, std::string& reason) {
  const digest::Sha256Digest sum = threaded_ ? thread_->finish() : hash_.finish();
  threaded_ = false;
  if (!current_) {
    reason = "the medium's attributes do not list this file (the medium is damaged)";
    return false;
  }
  if (seen_ != current_->size) {
    reason = "its size differs from the medium's attributes: " + std::to_string(seen_) + " bytes where they say " +
             std::to_string(current_->size) + " (the medium is damaged)";
    return false;
  }
  if (sum != current_->sha256) {
    reason = "its SHA-256 differs from the medium's attributes (the medium is damaged)";
    return false;
  }
  mode = current_->mode & 0777;
  hasMode = true;
  landed_ = current_;
  return true;
}

bool TMediumCheck::landedDigest(uint64_t& size, std::string& sha256) const {
  if (!landed_) return false;
  // The bytes matched the listed size and digest, so these are theirs.
  size = landed_->size;
  sha256 = digest::hexOf(landed_->sha256);
  return true;
}

bool TMediumCheck::endRestore(TRestoreTarget& target, bool fullPath, std::string& path, std::string& reason) {
  // A flat install has no folders to keep, and the stored paths are no tree
  // of the medium's.
  if (!fullPath) return true;
  for (const std::string& folder : attributes_.folders) {
    path = target.targetOf(folder, true);
    if (OnMaking) OnMaking(path, true);
    if (!target.makeDirectory(path, reason)) return false;
  }
  for (const Link& link : attributes_.links) {
    path = target.targetOf(link.name, true);
    if (!linkTargetAllowed(link.name, link.target)) {
      reason = "the link leaves the destination";
      return false;
    }
    if (OnMaking) OnMaking(path, false);
    if (!target.makeLink(path, link.target, reason)) return false;
    if (OnLinkMade) OnLinkMade(path, link.target);
  }
  path.clear();
  return true;
}

}  // namespace medium
