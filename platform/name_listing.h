#pragma once
// A directory's names grouped without regard to letter case, as the
// case-insensitive lookup and the restore's placement keep them in memory,
// and what identifies one state of a directory. Internal to the platform layer.
#include <sys/stat.h>

#include <cctype>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform {

// Letter case is ignored byte by byte, as tolower() sees the bytes.
inline char foldChar(char c) { return char(std::tolower((unsigned char)c)); }

// What identifies one state of a directory: any entry added or removed changes
// its modification time (and, on most file systems, its size or link count);
// a directory removed and made anew is another inode.
struct DirVersion {
  int64_t mtimeNs = 0;
  uint64_t ino = 0;
  uint64_t dev = 0;
  int64_t size = 0;
  uint64_t links = 0;
  bool operator==(const DirVersion&) const = default;
};

// Hashing and comparing names without regard to letter case, so that a
// listing is looked up by any spelling of a name without a lower-case copy.
struct FoldedHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const {
    size_t h = 14695981039346656037ull;  // FNV-1a
    for (char c : s) h = (h ^ (unsigned char)foldChar(c)) * 1099511628211ull;
    return h;
  }
};

struct FoldedEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
      if (a[i] != b[i] && foldChar(a[i]) != foldChar(b[i])) return false;
    return true;
  }
};

// How a name stands in a directory according to a listing.
struct CachedEntry {
  enum Kind { NoListing, Exact, Variant, Missing } kind = NoListing;
  std::string real;  // the variant's name
};

struct Listing {
  DirVersion version;
  // Every entry, grouped by name without regard to letter case. The key is the
  // group's first entry, the one a lookup by letter case finds; the value holds
  // its later entries (only a case-sensitive file system has any).
  std::unordered_map<std::string, std::vector<std::string>, FoldedHash, FoldedEqual> groups;

  void add(std::string_view name) {
    // Most names are new: emplacing first hashes the name once.
    auto [it, inserted] = groups.emplace(std::string(name), std::vector<std::string>());
    if (inserted || it->first == name || isLaterEntry(it->second, name)) return;
    it->second.emplace_back(name);
  }
  void remove(std::string_view name) {
    auto it = groups.find(name);
    if (it == groups.end()) return;
    std::vector<std::string>& later = it->second;
    if (it->first != name) {
      for (auto e = later.begin(); e != later.end(); ++e)
        if (*e == name) {
          later.erase(e);
          break;
        }
      return;
    }
    if (later.empty()) {
      groups.erase(it);
      return;
    }
    // The group's next entry becomes the one a lookup by letter case finds.
    auto node = groups.extract(it);
    node.key() = std::move(node.mapped().front());
    node.mapped().erase(node.mapped().begin());
    groups.insert(std::move(node));
  }
  // The name as it stands here: under that exact name, under another letter
  // case, or not at all.
  CachedEntry find(std::string_view name) const {
    auto it = groups.find(name);
    if (it == groups.end()) return {CachedEntry::Missing, {}};
    if (it->first == name || isLaterEntry(it->second, name)) return {CachedEntry::Exact, {}};
    return {CachedEntry::Variant, it->first};
  }
  // The entry a lookup by letter case finds for `name`, whether or not `name`
  // exists exactly.
  std::optional<std::string> firstVariant(std::string_view name) const {
    auto it = groups.find(name);
    if (it == groups.end()) return std::nullopt;
    return it->first;
  }

 private:
  static bool isLaterEntry(const std::vector<std::string>& later, std::string_view name) {
    for (const auto& e : later)
      if (e == name) return true;
    return false;
  }
};

inline DirVersion versionOf(const struct stat& st) {
  return DirVersion{int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec, uint64_t(st.st_ino),
                    uint64_t(st.st_dev), int64_t(st.st_size), uint64_t(st.st_nlink)};
}

}  // namespace platform
