#pragma once
// Looking at a restore before it runs: where each file would land, and which
// files would land on the same name.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/backup_file.h"

namespace setupkit {

// The stored name of every file entry of the archive (Windows form), in
// archive order: the paths a restore to the stored paths writes. The engine runs with every entry declined, so data
// blocks are stepped over and nothing is written. `needDisk` answers volume changes as in the restore. `complete` is
// false when a volume change was cancelled. A damaged archive is told in `damage`.
struct RestorePlan {
  std::vector<std::string> targets;
  bool complete = true;
  std::string damage;          // why the archive could not be read to its end; empty when it could
  std::string damagedVolume;   // the volume that could not be read (Windows form)
  int64_t damagedOffset = -1;  // where in it: the start of the record being read; -1 in the header
};
// `locate` finds a volume elsewhere than beside the one before, as
// TBackupFile::LocateVolume does.
RestorePlan planRestore(const std::string& archive, const TNeedDiskEvent& needDisk,
                        const std::function<std::string(int, const std::string&)>& locate = {});

// Entries whose targets name the same file. Names that differ only in
// letter case count as the same: the platform finds a file under such a name.
struct NameClash {
  std::string target;                    // as the first of them forms it
  std::vector<std::string> storedNames;  // in archive order
};
std::vector<NameClash> findClashes(const std::vector<std::string>& storedNames,
                                   const std::vector<std::string>& targets);

// The deepest directory holding every path (Windows form, "\" separated),
// without a trailing backslash except for a drive root; empty when there are
// no paths or they share no drive.
std::string commonDirectory(const std::vector<std::string>& paths);

}  // namespace setupkit
