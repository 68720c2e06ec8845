#pragma once
// Drives and volumes in Windows terms: which letters exist, what kind of drive
// each one is, its volume label and file-system flags, the remote name of a
// network drive, and the critical-error mode.
#include <cstdint>
#include <functional>
#include <string>

namespace platform {

// A bit mask of the drive letters in the drive table, bit 0 = A.
uint32_t getLogicalDrives();

// The type of the drive whose root is given ("C:\", "c:", "C:\dir" counts as
// its drive): a DriveType of drives.h, kDriveNoRootDir for a letter without a
// drive and kDriveUnknown for a text that names no drive letter.
uint32_t getDriveType(const std::string& root);

// The volume label and file-system flags (FileSystemFlags of drives.h) of the
// drive of `root`. False with lastError 15 for a letter without a drive, 21
// for a drive without medium, 53 for a network path, 123 for no drive at all.
bool getVolumeInformation(const std::string& root, std::string& label, uint32_t& fsFlags);

// The remote name ("\\server\share") of the network drive named by
// `localName` ("X:"). False with lastError 2250 when the letter is no network
// drive (or has no remote name), 1200 when the text is no drive name.
bool getRemoteName(const std::string& localName, std::string& remoteName);

// Error modes of setErrorMode.
enum ErrorMode : uint32_t {
  kSemFailCriticalErrors = 1,  // no "insert disk" boxes: the call fails instead
};

// Sets the process's critical-error mode and returns the previous one. This
// host shows no critical-error boxes, so the mode is only kept.
uint32_t setErrorMode(uint32_t mode);

// The platform's dialog for connecting a network drive, called with the
// native handle of the owner window and the resource type (1 = drives);
// returns a Windows error number (0 on success). Empty where the platform
// offers no such dialog, as on this host.
using ConnectDialogEntry = std::function<uint32_t(uintptr_t ownerWindow, uint32_t resourceType)>;
ConnectDialogEntry findConnectDialog();

}  // namespace platform
