#pragma once
// A check the restore runs on every file it writes, and on the restore as a
// whole: what a medium knows about its files beyond the archive (their modes,
// sizes and digests, its links and empty folders) is applied through it.
// TBackupFile::LandingCheck points at one; the restore then
//   - calls beginFile() before a file's first byte is written,
//   - hands every written byte to fileData(), in order,
//   - asks endFile() when the file's data is complete, before the file is
//     reported or takes its name: false drops the file (an old version
//     stays) and ends the restore as damage, like a chunk that cannot be
//     decoded; otherwise the file gets the mode it was given,
//   - and, when every entry was restored, calls endRestore(), whose failure
//     ends the restore as a file that could not be written.
#include <cstdint>
#include <functional>
#include <string>

class TRestoreTarget;

class TLandingCheck {
 public:
  virtual ~TLandingCheck() = default;

  // `storedName` is the archive's name of the entry.
  virtual void beginFile(const std::string& storedName) = 0;
  virtual void fileData(const void* data, size_t length) = 0;
  // False with the reason when the file is damaged; else `mode` is the
  // permissions the file gets (`hasMode` false: as without a check).
  virtual bool endFile(unsigned& mode, bool& hasMode, std::string& reason) = 0;
  // After the last entry of a restore that completed: `target` places names
  // below the restore's destination (`fullPath`: the stored tree). False with
  // the Windows-form path that failed and why.
  virtual bool endRestore(TRestoreTarget& target, bool fullPath, std::string& path, std::string& reason) = 0;

  // The size and SHA-256 (64 lower-case hexadecimal digits) of the bytes of
  // the last file endFile() passed, when the check computed them: the install
  // record takes them from here instead of reading the file a second time.
  virtual bool landedDigest(uint64_t& size, std::string& sha256) const {
    (void)size;
    (void)sha256;
    return false;
  }

  // Told of what endRestore makes besides files, so that the install record
  // can note it: OnMaking before each folder or link is made (its target
  // path, Windows form), OnLinkMade once a link is made, with its text.
  std::function<void(const std::string& target, bool folder)> OnMaking;
  std::function<void(const std::string& target, const std::string& text)> OnLinkMade;
};
