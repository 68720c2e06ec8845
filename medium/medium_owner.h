#pragma once
// Whether anyone but root could change a medium while root installs from
// it. What root checks (the signature, the attributes) must be what it then
// unpacks, runs and installs, so root never reads a medium another user can
// change:
// - a folder medium (the folder, every folder above it, and each file the
//   programs read from it) that another user can change is refused;
// - a one-file installer another user can change is first copied into an
//   anonymous file of this process, and only that copy is checked and read.
// A process of another user reads what that user could change anyway, and is
// not held to this.
#include <string>

namespace medium_owner {

// Why someone other than root could change what the folder at the resolved
// path `path`, or a folder above it, holds; empty when no one could. A
// folder others may write counts only with its sticky bit (as /tmp): there
// they cannot rename or remove root's entries, and the next one down must be
// root's too.
std::string foldersChangeable(const std::string& path);

// Why someone other than root could change the medium whose first volume is
// the host file `hostArchive`: its folders, or one of the medium's files
// there (a file the setup program or the launcher reads, in any letter case,
// and the runtime folder's tree) that is not root's or that others may
// write. The archive of a one-file installer counts by the installer file
// (its folders too, since it is opened by name again); an anonymous copy
// (/proc/self/fd/N) by itself alone. Empty when only root could.
std::string changeableByOthers(const std::string& hostArchive);

// Whether someone other than root could change the bytes of the file open
// as `fd` (it is not root's, or others may write it).
bool bytesChangeableByOthers(int fd);

// A copy of the file open as `fd` in an anonymous file that no other process
// can change (sealed against writing, growing and shrinking): its descriptor
// (closed on exec when `closeOnExec`), or -1 with `problem` set.
int privateCopy(int fd, bool closeOnExec, std::string& problem);

}  // namespace medium_owner
