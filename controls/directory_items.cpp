#include "controls/directory_items.h"

#include "framework/core/path_utils.h"

std::vector<TDirectoryItem> buildDirectoryItems(const std::string& directory,
                                                const std::vector<std::string>& subdirectories) {
  std::vector<TDirectoryItem> items;
  const std::string root = fw::drivePart(directory) + "\\";
  const bool network = root.size() > 1 && root[1] == '\\';
  std::string rest = directory;
  bool slashAfterFirst = true;
  if (network) {
    items.push_back({root, TGlyph::OpenFolder});
    rest = directory.size() > root.size() ? directory.substr(root.size()) : std::string();
    slashAfterFirst = false;
  }
  if (!rest.empty()) {
    if (rest.back() != '\\') {
      size_t slash;
      while ((slash = rest.find('\\')) != std::string::npos) {
        std::string piece = rest.substr(0, slash);
        if (slashAfterFirst) piece += "\\";
        slashAfterFirst = false;
        items.push_back({piece, TGlyph::OpenFolder});
        rest.erase(0, slash + 1);
      }
    }
    items.push_back({rest, TGlyph::CurrentFolder});
  }
  for (const auto& name : subdirectories) items.push_back({name, TGlyph::ClosedFolder});
  return items;
}

int openDirectoryIndex(const std::vector<TDirectoryItem>& items) {
  int last = 0;
  for (int i = 0; i < int(items.size()); ++i) {
    if (items[i].Glyph == TGlyph::CurrentFolder) return i;
    if (items[i].Glyph == TGlyph::OpenFolder) last = i;
  }
  return last;
}

int directoryItemIndent(const std::vector<TDirectoryItem>& items, int index) {
  int level = index;
  if (index >= 0 && index < int(items.size()) && items[index].Glyph == TGlyph::ClosedFolder)
    level = openDirectoryIndex(items) + 1;
  return 4 * level + 2;
}

std::string directoryItemPath(const std::string& directory, const std::vector<TDirectoryItem>& items, int index) {
  const std::string drive = fw::drivePart(directory);
  if (index == 0) return drive + "\\";
  const TDirectoryItem& item = items.at(size_t(index));
  if (item.Glyph == TGlyph::ClosedFolder) return fw::withTrailingBackslash(directory) + item.Text;
  if (item.Glyph == TGlyph::CurrentFolder) return directory;
  // An ancestor: the open directory cut before the (index + 1)-th backslash
  // after its drive part.
  std::string path = directory.substr(drive.size());
  size_t cut = 0;
  for (int seen = 0; seen <= index; ++seen) {
    cut = path.find('\\', seen == 0 ? 0 : cut + 1);
    if (cut == std::string::npos) return directory;
  }
  return drive + path.substr(0, cut);
}
