#include "engine/archive_format.h"

#include <cstdio>
#include <cstring>

namespace archive_format {

int volumeNumberOf(std::string_view name) {
  if (name.size() < kVolumeChangePrefix.size() + 3) return 0;
  int number = 0;
  for (char c : name.substr(kVolumeChangePrefix.size(), 3)) {
    if (c < '0' || c > '9') return 0;
    number = number * 10 + (c - '0');
  }
  return number;
}

std::string volumeNumberText(int number) {
  char text[8];
  std::snprintf(text, sizeof text, "%03d", number);
  return text;
}

std::string volumeFileName(const std::string& path, int number) {
  const size_t nameStart = path.find_last_of("\\/:") + 1;  // 0 when there is no separator
  const size_t dot = path.find_last_of('.');
  const std::string stem = dot == std::string::npos || dot < nameStart ? path : path.substr(0, dot);
  return stem + "." + volumeNumberText(number);
}

}  // namespace archive_format

bool isVolumeChangeName(std::string_view name) { return name.starts_with(archive_format::kVolumeChangePrefix); }

bool isDataBlockSignature(const char signature[4]) {
  return std::memcmp(signature, archive_format::kBlockSignature, 4) == 0;
}
