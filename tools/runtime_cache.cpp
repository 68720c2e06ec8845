#include "tools/runtime_cache.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "common/tool_error.h"
#include "medium/runtime_pack.h"
#include "tools/sha256.h"

namespace fs = std::filesystem;

namespace setupkit {

namespace {

constexpr const char* kEntrySuffix = ".pak";

// A temporary left by a run that was stopped is removed once it is this old.
constexpr auto kStaleTemporary = std::chrono::hours(1);

// Copies `from` to a new unique temporary beside `target` and renames it
// into place. Returns false (leaving nothing) when any step fails.
bool copyByReplacement(const fs::path& from, const fs::path& target) {
  std::string pattern = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
  int fd = mkstemp(pattern.data());
  if (fd < 0) return false;
  close(fd);
  std::error_code ec;
  fs::copy_file(from, pattern, fs::copy_options::overwrite_existing, ec);
  if (!ec)
    fs::permissions(
        pattern, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read, ec);
  if (!ec) fs::rename(pattern, target, ec);
  if (ec) fs::remove(pattern, ec);
  return !ec;
}

// Removes the least recently used entries until the rest fit the limit, and
// temporaries of stopped runs.
void trim(const fs::path& folder) {
  struct Item {
    fs::path path;
    fs::file_time_type used;
    int64_t size;
  };
  std::vector<Item> entries;
  std::error_code ec;
  const auto now = fs::file_time_type::clock::now();
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path& path = it->path();
    const std::string name = path.filename().string();
    const auto used = fs::last_write_time(path, ec);
    if (ec) continue;
    if (name[0] == '.') {
      if (now - used > kStaleTemporary) fs::remove(path, ec);
    } else if (path.extension() == kEntrySuffix) {
      entries.push_back({path, used, int64_t(fs::file_size(path, ec))});
    }
  }
  std::sort(entries.begin(), entries.end(), [](const Item& a, const Item& b) { return a.used > b.used; });
  int64_t total = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    total += entries[i].size;
    // The newest entry stays even alone over the limit: it was just made.
    if (i > 0 && total > kRuntimeCacheLimit) fs::remove(entries[i].path, ec);
  }
}

}  // namespace

std::string runtimeCacheFolder() {
  if (const char* off = std::getenv("SETUPKIT_RUNTIME_CACHE"); off && std::string(off) == "off") return {};
  const char* cache = std::getenv("XDG_CACHE_HOME");
  const char* home = std::getenv("HOME");
  std::string base = cache && cache[0] == '/' ? cache : home && home[0] == '/' ? std::string(home) + "/.cache" : "";
  return base.empty() ? base : base + "/setupkit/runtime";
}

struct RuntimeCacheKey::State {
  Sha256 hash;
};

RuntimeCacheKey::RuntimeCacheKey() : state_(std::make_shared<State>()) {}

void RuntimeCacheKey::addText(const std::string& text) {
  // Each part with its length, so that no two lists of parts hash alike.
  const std::string length = std::to_string(text.size()) + ":";
  state_->hash.update(length.data(), length.size());
  state_->hash.update(text.data(), text.size());
}

void RuntimeCacheKey::addFile(const std::string& source, const std::string& target) {
  std::error_code ec;
  const fs::perms perms = fs::status(source, ec).permissions();
  const uint64_t size = fs::file_size(source, ec);
  std::ifstream in(source, std::ios::binary);
  if (ec || !in) throw ToolError("Cannot read " + source);
  addText(target);
  addText((perms & fs::perms::owner_exec) != fs::perms::none ? "X" : "F");
  addText(std::to_string(size));
  std::vector<char> buffer(1 << 20);
  uint64_t read = 0;
  while (in) {
    in.read(buffer.data(), std::streamsize(buffer.size()));
    const auto n = in.gcount();
    if (n <= 0) break;
    state_->hash.update(buffer.data(), size_t(n));
    read += uint64_t(n);
  }
  if (read != size) throw ToolError("Cannot read " + source);
}

std::string RuntimeCacheKey::finish() { return state_->hash.finishHex(); }

std::optional<int64_t> fetchCachedRuntime(const std::string& folder, const std::string& key,
                                          const std::string& target) {
  if (folder.empty()) return std::nullopt;
  const fs::path entry = fs::path(folder) / (key + kEntrySuffix);
  const int fd = open(entry.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return std::nullopt;
  // Read through once: a damaged entry is packed again, not copied.
  int64_t bytes = 0;
  const off_t length = lseek(fd, 0, SEEK_END);
  std::string problem =
      length > 0 && runtime_pack::isPacked(fd, 0, length)
          ? runtime_pack::list(fd, 0, length, [&](const runtime_pack::Entry& e) { bytes += int64_t(e.size); })
          : std::string("not a packed runtime");
  close(fd);
  std::error_code ec;
  if (!problem.empty()) {
    fs::remove(entry, ec);
    return std::nullopt;
  }
  if (!copyByReplacement(entry, target)) return std::nullopt;
  fs::last_write_time(entry, fs::file_time_type::clock::now(), ec);  // recently used
  return bytes;
}

void storeCachedRuntime(const std::string& folder, const std::string& key, const std::string& packed) {
  if (folder.empty()) return;
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) return;
  if (copyByReplacement(packed, fs::path(folder) / (key + kEntrySuffix))) trim(folder);
}

}  // namespace setupkit
