#pragma once
// Running off a medium that spans disks. Disk 1 must be free to be taken out
// while the program asks for disk 2, so when SETUP.INS says the medium has
// more than one disk ([Setup] Disks), the program copies itself and its
// runtime folder to a private folder in /tmp and runs from there. The copy
// names the medium's folder as its program directory (SETUP.INS, SETUP.BIN
// and the volumes are still read from the medium), and it is removed when the
// program ends: a waiting parent process removes it after the program,
// however the program ended; copies left by a run that was killed outright
// are removed by the next start.
#include <string>

namespace startup {

// The folder prefix of private copies in /tmp.
inline constexpr const char* kPrivateCopyPrefix = "setup-run-";

// The number of disks SETUP.INS text names (its [Setup] Disks key); 1 when
// the key is missing or not a number.
int diskCountOf(const std::string& setupIns);

// Removes the private copies below `tempDirectory` whose program has ended
// (nobody holds the folder's lock). Returns how many were removed.
int removeStaleCopies(const std::string& tempDirectory);

// Called first thing in main(). Started from a medium of several disks, it
// makes the private copy and executes it (it returns only when that fails;
// the program then runs from the medium). Started as a private copy, it
// remembers the medium's folder as the program directory, then splits: the
// program goes on in a child process, and this process waits for it, removes
// the copy and exits with the program's exit status. Otherwise it does
// nothing.
void runOffTheMedium(char** argv);

}  // namespace startup
