#include "tools/disk_layout.h"

#include "common/tool_error.h"

namespace setupkit {

int64_t firstVolumeCapacity(int64_t capacity, int64_t disk1Files) {
  if (capacity == 0) return 0;
  int64_t left = capacity - disk1Files;
  if (left < kMinimumFirstVolume)
    throw ToolError("The volume size " + std::to_string(capacity) +
                    " cannot hold the program, its runtime and SETUP.INS (" + std::to_string(disk1Files) +
                    " bytes) and the first volume on disk 1; give at least " +
                    std::to_string(disk1Files + kMinimumFirstVolume));
  return left;
}

std::string diskFolderName(int number) { return "disk" + std::to_string(number); }

std::string diskImageLabel(const std::string& title, int number) {
  constexpr size_t kMaxLabel = 32;
  std::string stem;
  for (unsigned char c : title) {
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    bool kept = (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (kept)
      stem += char(c);
    else if (!stem.empty() && stem.back() != '_')
      stem += '_';
  }
  const std::string suffix = "_DISK" + std::to_string(number);
  if (stem.size() + suffix.size() > kMaxLabel) stem.resize(kMaxLabel - suffix.size());
  while (!stem.empty() && stem.back() == '_') stem.pop_back();
  if (stem.empty()) stem = "SETUP";
  return stem + suffix;
}

}  // namespace setupkit
