#include "platform/volumes.h"

#include <atomic>
#include <cctype>

#include "platform/drives.h"
#include "platform/errors.h"

namespace platform {

namespace {

constexpr uint32_t kErrorBadDevice = 1200;
constexpr uint32_t kErrorNotConnected = 2250;

std::atomic<uint32_t> gErrorMode{0};

bool isUnc(const std::string& s) {
  return s.size() >= 2 && (s[0] == '\\' || s[0] == '/') && (s[1] == '\\' || s[1] == '/');
}

// The drive letter a root text names, or 0.
char driveLetterOf(const std::string& root) {
  if (root.size() >= 2 && root[1] == ':' && std::isalpha((unsigned char)root[0]))
    return char(std::toupper((unsigned char)root[0]));
  return 0;
}

}  // namespace

uint32_t getLogicalDrives() {
  uint32_t mask = 0;
  for (const auto& d : driveTable())
    if (d.letter >= 'A' && d.letter <= 'Z') mask |= 1u << (d.letter - 'A');
  return mask;
}

uint32_t getDriveType(const std::string& root) {
  char letter = driveLetterOf(root);
  if (!letter) return kDriveUnknown;
  const Drive* d = findDrive(letter);
  return d ? d->type : kDriveNoRootDir;
}

bool getVolumeInformation(const std::string& root, std::string& label, uint32_t& fsFlags) {
  if (isUnc(root)) {
    setLastError(kErrorBadNetPath);
    return false;
  }
  char letter = driveLetterOf(root);
  if (!letter) {
    setLastError(kErrorInvalidName);
    return false;
  }
  const Drive* d = findDrive(letter);
  if (!d) {
    setLastError(kErrorInvalidDrive);
    return false;
  }
  if (!d->mediumPresent) {
    setLastError(kErrorNotReady);
    return false;
  }
  label = d->label;
  fsFlags = d->fsFlags;
  return true;
}

bool getRemoteName(const std::string& localName, std::string& remoteName) {
  char letter = driveLetterOf(localName);
  if (!letter || localName.size() != 2) {
    setLastError(kErrorBadDevice);
    return false;
  }
  const Drive* d = findDrive(letter);
  if (!d || d->type != kDriveRemote || d->remoteName.empty()) {
    setLastError(kErrorNotConnected);
    return false;
  }
  remoteName = d->remoteName;
  return true;
}

uint32_t setErrorMode(uint32_t mode) { return gErrorMode.exchange(mode); }

ConnectDialogEntry findConnectDialog() { return {}; }

}  // namespace platform
