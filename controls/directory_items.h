#pragma once
// The items of the directory list for an open directory, as plain data: the
// column of ancestors, the open directory and its sub-directories, each with
// its glyph, and the geometry and paths that follow from them.
#include <string>
#include <vector>

#include "controls/glyphs.h"

struct TDirectoryItem {
  std::string Text;
  TGlyph Glyph;  // OpenFolder, CurrentFolder or ClosedFolder
};

// The items for open directory `directory` (a full path: "C:\", "C:\dir",
// "\\server\share\dir"): the drive root ("C:\" or "\\server\share\") and
// every further ancestor as OpenFolder, the open directory as CurrentFolder
// (a share's root stays OpenFolder), then `subdirectories` in the order given
// as ClosedFolder.
std::vector<TDirectoryItem> buildDirectoryItems(const std::string& directory,
                                                const std::vector<std::string>& subdirectories);

// The index of the item that stands for the open directory itself: the
// CurrentFolder item, or the last OpenFolder item of a share's root.
int openDirectoryIndex(const std::vector<TDirectoryItem>& items);

// The left indent of item `index`: 4 pixels per level plus 2. Ancestors and
// the open directory stand at their own index; sub-directories one level
// right of the open directory.
int directoryItemIndent(const std::vector<TDirectoryItem>& items, int index);

// The directory that item `index` stands for: the drive root for item 0, the
// open directory for its own item, an ancestor's path, or the open directory
// joined with a sub-directory's name.
std::string directoryItemPath(const std::string& directory, const std::vector<TDirectoryItem>& items, int index);
