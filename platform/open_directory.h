#pragma once
// A directory held open by its descriptor, and the names made, looked up and
// opened relative to it. A name below an open directory means the same entry
// whatever another program renames or links meanwhile, and no call here
// follows a symbolic link unless told to; this is how the restore keeps every
// file it writes below its destination.
//
// Failing calls set lastError() and lastErrorMessage() like the rest of the
// platform layer.
#include <sys/stat.h>

#include <memory>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "platform/name_listing.h"

namespace platform {

// How a symbolic link met where a directory is expected is treated.
enum class LinkRule {
  Refuse,   // never followed
  Trusted,  // followed when root or this process's user owns the link
};

class OpenDirectory {
 public:
  // Opens the host directory `hostPath`, following links: the caller chose it.
  // `own` when the caller has just made it. Null on failure.
  static std::shared_ptr<OpenDirectory> open(const std::string& hostPath, bool own = false);
  // The directory already open as `fd` (a copy of the descriptor is kept),
  // named `hostPath` in messages. Null on failure.
  static std::shared_ptr<OpenDirectory> fromDescriptor(int fd, const std::string& hostPath);
  ~OpenDirectory();
  OpenDirectory(const OpenDirectory&) = delete;
  OpenDirectory& operator=(const OpenDirectory&) = delete;

  const std::string& hostPath() const { return hostPath_; }
  // The directory's descriptor, for what must reach it without a lookup (a
  // signal handler removing an unfinished file); it stays the object's.
  int descriptor() const { return fd_; }
  // Whether this process made the directory while placing files in it; its
  // names then change through this object alone and are kept in memory.
  bool own() const { return own_; }

  // The entry a lookup by letter case finds for `name` here: `name` itself
  // when it exists under that exact spelling, another spelling, or empty when
  // there is none (or the directory cannot be read).
  std::string realName(std::string_view name);

  // Opens the subdirectory `name` (one component, never "." or ".."). A
  // symbolic link there is followed only as `links` allows; otherwise the
  // call fails and linkRefused() is true. Null on failure.
  std::shared_ptr<OpenDirectory> openChild(const std::string& name, LinkRule links);
  // Makes the subdirectory `name` (mode 0777 less the umask) and opens it.
  // Null on failure.
  std::shared_ptr<OpenDirectory> makeChild(const std::string& name);
  // Whether the last openChild() on this thread failed at a link it may not
  // follow. A child that another program removed (a name in the listing of a
  // directory of our own that is gone) is dropped from the listing.
  static bool linkRefused();

  // The status of the directory itself.
  bool status(struct stat& st) const;
  // The status of the entry `name` itself (a link is not followed).
  bool statEntry(const std::string& name, struct stat& st) const;
  // Whether the process may write the existing file `name`.
  bool writable(const std::string& name) const;

  // Creates the file `name` that must not exist yet (no link is followed),
  // for reading and writing, with mode `mode` less the umask.
  FileHandle createNew(const std::string& name, unsigned mode);
  // Creates an empty file under a new hidden name that tells what it is to
  // become (".~NAME.XXXXXX"), readable and writable by this user only; the
  // name is stored in `temporaryName`.
  FileHandle createTemporary(const std::string& forName, std::string& temporaryName);
  // Opens the existing regular file `name` for writing, emptied; a link is
  // not followed.
  FileHandle openForRewrite(const std::string& name);
  // Renames `from` to `to` in this directory, replacing `to` (a link is
  // replaced itself, not its target).
  bool rename(const std::string& from, const std::string& to);
  bool remove(const std::string& name);
  // Makes the symbolic link `name` holding `text`, in place of a link or
  // file of that name (never of a directory): made under a hidden name
  // first and renamed over it.
  bool makeLink(const std::string& name, const std::string& text);
  // The text of the symbolic link `name`; false when it is none.
  bool readLink(const std::string& name, std::string& text) const;
  // Removes the empty subdirectory `name` (a link there is not followed).
  bool removeDirectory(const std::string& name);
  // Opens the existing file `name` for reading; a link is not followed.
  FileHandle openForReading(const std::string& name);

 private:
  OpenDirectory(int fd, std::string hostPath, bool own);
  std::string childPath(std::string_view name) const;
  // Brings the listing up to date: one of our own is always current; another
  // is read again when the directory changed since it was read.
  bool refreshListing();
  // Records a change this object made itself: a name removed, a name added.
  void noteChanged(std::string_view removed, std::string_view added);

  int fd_;
  std::string hostPath_;
  bool own_;
  bool listed_ = false;
  Listing listing_;
};

// The permissions a new file gets: 0666 less the process's umask.
unsigned newFileMode();

}  // namespace platform
