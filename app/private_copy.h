#pragma once
// Running off a medium that spans disks. Disk 1 must be free to be taken out
// while the program asks for disk 2, so when SETUP.INS says the medium has
// more than one disk ([Setup] Disks), the program copies itself and its
// runtime folder to a private folder (platform/private_folder.h: the first
// of $XDG_RUNTIME_DIR, $TMPDIR or /tmp, the cache folder that allows running
// programs) and runs from there. The launcher of a medium with a packed
// runtime unpacks into such a folder too, and starts the program there. The copy
// names the medium's folder as its program directory (SETUP.INS, SETUP.BIN
// and the volumes are still read from the medium), and it is removed when the
// program ends: a waiting parent process removes it after the program,
// however the program ended; copies left by a run that was killed outright
// are removed by the next start.
#include <string>

#include "platform/private_folder.h"

namespace startup {

// The folder prefix of private copies.
inline constexpr const char* kPrivateCopyPrefix = platform::kPrivateFolderPrefix;

// The number of disks SETUP.INS text names (its [Setup] Disks key); 1 when
// the key is missing or not a number.
int diskCountOf(const std::string& setupIns);

// The program file a program started in `privateFolder` reports as its own
// (its directory is the medium's folder; its name gives the application
// title): the file the launcher was started as, which the launcher writes
// into the folder's `.started`, else `programName`.
std::string programFileOnMedium(const std::string& privateFolder, const std::string& medium,
                                const std::string& programName);

// Who signed the medium (`signed by key ID, comment "COMMENT"`, or "unsigned"), as
// the launcher checked it before it unpacked the program, or as the program
// checked it when started straight from a folder medium; empty when the
// program does not run from a medium.
const std::string& mediumSigner();
// The signer's public key as the install record pins it; empty when unsigned.
const std::string& mediumPublisher();

// Removes the private copies below `tempDirectory` whose program has ended
// (nobody holds the folder's lock) and that carry this program's marker.
// Returns how many were removed.
int removeStaleCopies(const std::string& tempDirectory);

// Called first thing in main(). Started from a medium of several disks, it
// makes the private copy and executes it (it returns only when that fails;
// the program then runs from the medium). Started as a private copy, it
// remembers the medium's folder as the program directory (and maps a
// one-file installer's archive onto SETUP.BIN there), then splits: the
// program goes on in a child process, and this process waits for it, removes
// the copy and exits with the program's exit status. Started straight from a
// folder medium, it checks the medium's signature first and ends the process
// with the status of a refusal (2 changed, 5 not trusted) when it fails.
// Otherwise it does nothing.
void runOffTheMedium(char** argv);

}  // namespace startup
