#pragma once
// Private folders: where the setup program runs from when it must not run
// off the medium (a copy of itself, or the runtime its launcher unpacks).
// A folder is made with mkdtemp (mode 0700) and at once given a marker file
// of fixed content, then a lock that is held for as long as the program
// runs. Only a folder that carries the marker, belongs to this user, has
// mode 0700 and whose lock nobody holds is ever removed as stale: another
// program's folder of a similar name is left alone.
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The name prefix of private folders.
inline constexpr const char* kPrivateFolderPrefix = "setup-run-";
// The marker's file name and its content.
inline constexpr const char* kPrivateFolderMarker = ".setup-private-folder";
inline constexpr const char* kPrivateFolderMarkerText = "setup private folder 1\n";

// The folders private folders may be made in, in the order they are tried:
// $XDG_RUNTIME_DIR, $TMPDIR (else /tmp), and the user's cache folder
// ($XDG_CACHE_HOME, else ~/.cache). Relative and empty values are skipped.
std::vector<std::string> privateFolderBases();

struct PrivateFolder {
  std::string path;  // host path
  int lock = -1;     // descriptor holding the lock; it stays open across exec
};

// Makes `base`/setup-run-XXXXXX with its marker and takes its lock. Empty
// when any step fails (then nothing is left).
std::optional<PrivateFolder> makePrivateFolder(const std::string& base);

// True for a folder this program made: named setup-run-*, a directory (not a
// link) of this user with mode 0700, holding the marker (a regular file of
// this user with the marker's text).
bool isOwnPrivateFolder(const std::string& folder);

// Whether programs and shared libraries can be run from `folder`: a file
// written there is tried with access(X_OK) and mapped executable (a noexec
// mount refuses both).
bool allowsExecuting(const std::string& folder);

// Leaves the working directory when it lies in the folder `medium` (a host
// path), so that the medium is not kept busy by it: for the user's home
// folder, else for `fallback`. A working directory elsewhere is kept (a file
// chooser starts there). Returns the directory left, empty when it was kept.
std::string leaveMediumDirectory(const std::string& medium, const std::string& fallback);

// Removes the private folders below `base` whose program has ended (nobody
// holds the lock, or there is none and the folder is older than a minute).
// Returns how many were removed.
int removeStalePrivateFolders(const std::string& base);

}  // namespace platform
