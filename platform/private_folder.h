#pragma once
// Private folders: where the setup program runs from when it must not run
// off the medium (a copy of itself, or the runtime its launcher unpacks).
//
// A private folder is made only in a base folder that nobody but this user
// (and root) can change: the base is a real directory, not a link, owned by
// the effective user and writable by nobody else, or root's sticky
// world-writable folder (/tmp); every folder above it belongs to root or the
// user and is writable by nobody else unless sticky. Otherwise another user
// could rename the folder away while it is filled, or point it elsewhere,
// and a root installer started through su or sudo -E (which keep the user's
// XDG_RUNTIME_DIR, TMPDIR and HOME) would run that user's program.
//
// A folder is made with mode 0700 below the base's open descriptor and at
// once given a marker file of fixed content, then a lock that is held for as
// long as the program runs. Only a folder that carries the marker, belongs
// to this user, has mode 0700 and whose lock nobody holds is ever removed as
// stale: another program's folder of a similar name is left alone.
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
// $XDG_RUNTIME_DIR, $TMPDIR, /tmp, and the user's cache folder
// ($XDG_CACHE_HOME, else ~/.cache). Relative and empty values are skipped.
// Whether a base may be used is decided when it is opened (openBase).
std::vector<std::string> privateFolderBases();

// Opens the base folder `base` for private folders: a descriptor of it
// (O_PATH), or -1 with the reason in `why` when it may not hold one. With
// `makeMissing`, a missing last component is made (mode 0700) when its
// parent may hold private folders itself (the cache folder of a new
// account); only a private folder about to be made there needs it, so that
// looking for stale folders leaves no empty ~/.cache behind.
int openBase(const std::string& base, std::string& why, bool makeMissing = false);

// Whether `base` may hold private folders (see above); the reason when not.
bool isTrustedBase(const std::string& base, std::string* why = nullptr);

struct PrivateFolder {
  std::string path;    // host path, below the base's real path
  int lock = -1;       // descriptor holding the lock; it stays open across exec
  int directory = -1;  // descriptor of the folder itself (close-on-exec)
};

// Makes `base`/setup-run-XXXXXX with its marker and takes its lock. Empty
// when any step fails (then nothing is left), with the reason in `why`.
std::optional<PrivateFolder> makePrivateFolder(const std::string& base, std::string* why = nullptr);

// Closes the folder's descriptors and removes it with everything in it.
void discardPrivateFolder(PrivateFolder& folder);

// True for a folder this program made: named setup-run-*, a directory (not a
// link) of this user with mode 0700, holding the marker (a regular file of
// this user with the marker's text), in a base that may hold private folders.
bool isOwnPrivateFolder(const std::string& folder);

// Whether programs and shared libraries can be run from the folder open as
// `directory`: a file written there is tried with access(X_OK) and mapped
// executable (a noexec mount refuses both).
bool allowsExecuting(int directory);

// Writes `content` to the new file `name` in the folder open as `directory`
// (mode 0600, never through a link). False on failure, errno set.
bool writeFileAt(int directory, const std::string& name, const std::string& content);

// Leaves the working directory when it lies in the folder `medium` (a host
// path), so that the medium is not kept busy by it: for the user's home
// folder, else for `fallback`. A working directory elsewhere is kept (a file
// chooser starts there). Returns the directory left, empty when it was kept.
std::string leaveMediumDirectory(const std::string& medium, const std::string& fallback);

// Removes the private folders below `base` whose program has ended (nobody
// holds the lock, or there is none and the folder is older than a minute).
// Nothing is removed from a base that may not hold private folders. Returns
// how many were removed.
int removeStalePrivateFolders(const std::string& base);

}  // namespace platform
