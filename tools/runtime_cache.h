#pragma once
// runtime_cache: packed runtimes kept in the user's cache folder
// ($XDG_CACHE_HOME/setupkit/runtime, else ~/.cache/setupkit/runtime), so
// that a medium made again from the same program and libraries does not pack
// them again (a minute or more at the default level).
//
// An entry is named by the SHA-256 of everything its content follows from:
// the content, mode and name of every file gathered, whether binaries are
// stripped, the pack format, the zstd level and this tool's version. It is
// written under a unique temporary name and renamed into place, so two runs
// that pack the same runtime at once each leave a whole entry; an entry is
// read back and its checksum checked before it is used. The folder keeps the
// most recently used entries within kRuntimeCacheLimit bytes.
// SETUPKIT_RUNTIME_CACHE=off turns the cache off.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace setupkit {

inline constexpr int64_t kRuntimeCacheLimit = int64_t(512) << 20;

// The cache folder, or empty when there is none (turned off, or no
// absolute XDG_CACHE_HOME or HOME).
std::string runtimeCacheFolder();

// Builds an entry's key from what the packed runtime follows from.
class RuntimeCacheKey {
 public:
  RuntimeCacheKey();
  // A text that decides the content (a level, a version, a flag).
  void addText(const std::string& text);
  // A file copied to `target` in the packed folder: its name, its execute
  // bit and its content. Throws ToolError when it cannot be read.
  void addFile(const std::string& source, const std::string& target);
  // The key, 64 hexadecimal digits; the object is spent afterwards.
  std::string finish();

 private:
  struct State;
  std::shared_ptr<State> state_;
};

// Copies the cached entry `key` to `target` (through a temporary name) when
// there is a sound one; returns the bytes of the files it packs, or nullopt.
std::optional<int64_t> fetchCachedRuntime(const std::string& folder, const std::string& key, const std::string& target);

// Stores the packed runtime `packed` as entry `key` and trims the folder to
// its limit. Failures leave the cache as it was; they are not errors.
void storeCachedRuntime(const std::string& folder, const std::string& key, const std::string& packed);

}  // namespace setupkit
