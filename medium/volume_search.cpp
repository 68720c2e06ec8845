#include "medium/volume_search.h"

#include "engine/archive_format.h"
#include "framework/core/path_utils.h"
#include "platform/files.h"

namespace {

// "diskN" (any letter case) with N a number: the folder of one disk.
bool isDiskFolderName(const std::string& name) {
  if (name.size() < 5) return false;
  return fw::lowerCase(name.substr(0, 4)) == "disk" && name.find_first_not_of("0123456789", 4) == std::string::npos;
}

}  // namespace

TVolumeSearch::TVolumeSearch(const std::string& firstVolume, std::vector<std::string> folders)
    : first_(firstVolume), folders_(std::move(folders)) {}

void TVolumeSearch::addFolder(const std::string& folder) { folders_.push_back(folder); }

std::vector<std::string> TVolumeSearch::candidates(int number) const {
  const std::string beside = archive_format::volumeFileName(first_, number);
  const std::string name = fw::fileNamePart(beside);
  std::vector<std::string> places{beside};
  const std::string folder = fw::withoutTrailingBackslash(fw::directoryPart(first_));
  if (isDiskFolderName(fw::fileNamePart(folder)))
    places.push_back(fw::withTrailingBackslash(fw::directoryPart(folder)) + "disk" + std::to_string(number) + "\\" +
                     name);
  for (const auto& f : folders_) places.push_back(fw::withTrailingBackslash(f) + name);
  return places;
}

std::optional<std::string> TVolumeSearch::find(int number) const {
  for (const auto& place : candidates(number))
    if (platform::fileExists(place)) return place;
  return std::nullopt;
}
