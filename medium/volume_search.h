#pragma once
// Where the continuation volumes of an archive are found: beside the first
// volume (a medium copied into one folder), in the folder of their own disk
// beside the first volume's (disk2/ beside disk1/), and in folders the user
// names, in that order. Paths are in Windows form.
#include <optional>
#include <string>
#include <vector>

class TVolumeSearch {
 public:
  explicit TVolumeSearch(const std::string& firstVolume, std::vector<std::string> folders = {});

  // Adds a folder to look in (one typed in at a disk prompt).
  void addFolder(const std::string& folder);
  // The file of volume `number` (2 to 999): the first place that holds it.
  std::optional<std::string> find(int number) const;
  // Every file looked for, in order, for the message that names a missing
  // volume.
  std::vector<std::string> candidates(int number) const;

 private:
  std::string first_;
  std::vector<std::string> folders_;
};
