#pragma once
// Where a restore puts its files, and how it gets there safely.
//
// A target below the destination is reached directory by directory from an
// open descriptor of the destination: no symbolic link below it is ever
// followed (also not one a lookup by letter case would find), and a directory
// swapped for a link while the restore runs cannot redirect a write. The
// destination itself and the folders above it are the user's choice and may
// be links. A target elsewhere (the stored paths when no destination is given,
// or a path an event handler chose) is reached from its drive's root, where
// only links that root or the restoring user made are followed.
//
// Names that would climb out (".." components, a second drive), a "." that
// names no file, names holding a NUL byte, and paths longer than the host
// allows are refused before anything is made; a "." directory of a stored
// name is dropped.
//
// The walk through the host's directories is this class's own; a subclass
// (TMemoryRestoreTarget) places the files in memory instead, by the same
// rules.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/restore_output.h"
#include "platform/open_directory.h"

class TRestoreTarget {
 public:
  // `targetDir` is the restore's destination in Windows form, with its
  // trailing backslash, or empty for the stored paths.
  explicit TRestoreTarget(std::string targetDir);
  virtual ~TRestoreTarget() = default;

  // The Windows-form path a stored entry name is restored to: the name
  // itself without a destination; else the destination followed by its file
  // name (flat) or by the name without its drive and its "." directories
  // (`fullPath`).
  std::string targetOf(const std::string& storedName, bool fullPath) const;

  // Why a restore below a destination refuses the stored name whatever the
  // destination, or empty when it does not: a name that climbs out or starts
  // at a root of its own, one that holds a NUL byte, a component or a path
  // longer than the host allows.
  static std::string refusalOf(const std::string& storedName);
  // Whether `reason` is the refusal of a name holding a NUL byte: no name a
  // sound archive stores, so the archive is damaged rather than hostile.
  static bool isNulRefusal(const std::string& reason);

  // The DOS date-time of the file (anything but a directory, a link counting
  // as itself) at `target`, -1 when there is none; found without making
  // anything and without following links below the destination.
  virtual int32_t age(const std::string& target);

  // Makes the directories of `target` and its output file. Null on failure,
  // with the reason in `reason` (the system's text, or what was refused).
  virtual std::unique_ptr<TRestoreOutput> create(const std::string& target, std::string& reason);

  // Makes the directory `target` with the directories above it; one that
  // exists is kept. False with the reason on failure.
  bool makeDirectory(const std::string& target, std::string& reason);
  // Makes the symbolic link `target` holding `text` (the directories above
  // it made as for a file), replacing a file or link there. The link is
  // made, never followed.
  bool makeLink(const std::string& target, const std::string& text, std::string& reason);

 protected:
  // A target split into the directory it is reached from and the names below.
  struct Route {
    std::string anchor;  // the Windows-form directory the walk starts from
    bool isDestination = false;
    std::vector<std::string> directories;
    std::string file;
  };
  // Splits `target`; false with `reason` when it must be refused.
  bool route(const std::string& target, Route& out, std::string& reason) const;
  // Why the host refuses the route's names whatever its anchor (a component
  // or the path below the anchor too long); empty when it does not.
  static std::string lengthRefusal(const Route& route);

 private:
  // The open directory that holds the route's file, made when `create`;
  // null when it cannot be reached (`reason` tells why; empty when it is
  // merely missing).
  std::shared_ptr<platform::OpenDirectory> enter(const Route& route, bool create, std::string& reason);
  // The open directory of level `i`, opened again from a level above when its
  // descriptor was let go.
  std::shared_ptr<platform::OpenDirectory> directoryAt(size_t i);
  bool openAnchor(const Route& route, bool create, std::string& reason);

  // One directory of the current walk: the name asked for, the name found,
  // and the directory while its descriptor is kept.
  struct Level {
    std::string asked;
    std::string real;
    std::shared_ptr<platform::OpenDirectory> directory;
  };

  std::string targetDir_;
  std::string anchor_;  // the anchor of `levels_`
  platform::LinkRule links_ = platform::LinkRule::Refuse;
  std::vector<Level> levels_;  // levels_[0] is the anchor
};
