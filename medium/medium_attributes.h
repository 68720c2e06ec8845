#pragma once
// What a medium carries beside its archive, whose format holds names, dates
// and bytes only: each file's mode, size and SHA-256, the symbolic links of
// the publisher's tree and its empty folders. One text file, SETUP.ATR,
// beside SETUP.BIN on a folder medium and a part of the one-file installer
// (medium/installer_file.h); docs/medium.md describes it.
//
// Every install of a medium goes through this API, so that the wizard,
// `setupkit restore` and the launcher's unattended install apply the same
// rules:
//
//   medium::Loaded loaded = medium::loadForArchive(hostPathOfSetupBin);
//   if (loaded.state == medium::Loaded::State::Damaged) -> refuse (damage)
//   medium::TMediumCheck check(std::move(loaded.attributes));
//   if (loaded.state == medium::Loaded::State::Found) backup.LandingCheck = &check;
//   backup.Restore(archive, destination);   // RestoreFullPath as SETUP.INS says
//
// With the check attached the restore checks each file's size and SHA-256
// as it lands (a mismatch drops the file, keeps an old version and ends the
// restore as damage: TRestoreResult::damaged()), gives it its mode, and at
// the end makes the links and the empty folders below the destination. A
// medium without the file (made before it existed) installs as before.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/sha256.h"
#include "engine/landing_check.h"

namespace medium {

inline constexpr const char* kAttributesFileName = "SETUP.ATR";

struct FileAttributes {
  unsigned mode = 0644;
  uint64_t size = 0;
  digest::Sha256Digest sha256{};
};

struct Link {
  std::string name;    // the stored name (C:\usr\bin\hi)
  std::string target;  // relative, "/" between names ("../lib/hello")
};

struct Attributes {
  std::map<std::string, FileAttributes> files;  // by stored name, exactly as in the archive
  std::vector<Link> links;
  std::vector<std::string> folders;  // stored names of empty folders (C:\var\empty)
  // The publisher made the medium with --group-write: files may keep group
  // and other write. Without it a mode with them is damage.
  bool groupWrite = false;
};

// The mode a publisher's file keeps: its execute bits, its read bits, and
// group and other write only when `groupWrite`; always readable and
// writable by its owner; never set-user-ID, set-group-ID or sticky.
unsigned keptMode(unsigned hostMode, bool groupWrite);

// Whether a link stored as `storedName` may hold `target`: relative, names
// separated by "/", any ".." only at its start and no more of them than the
// link lies folders deep, no "." or empty names and no control character.
// Such a target, read from the link's own folder, stays below the tree's
// root whatever other links of the tree it passes through.
bool linkTargetAllowed(const std::string& storedName, const std::string& target);

std::string formatAttributes(const Attributes& attributes);
// False with the problem (naming the line or the name) for a text that is
// not one, and for what no publisher's tool writes, so that an install
// refuses it before writing anything: a mode the owner cannot read and
// write, a set-user-ID, set-group-ID or sticky mode, group or other write
// without the medium's leave; a name that does not start with C:\, a folder
// or link name the restore would refuse (climbing out, a root of its own,
// too long); a name listed twice (letter case and "." folders aside), or
// one a file or link holds and another entry needs as its folder.
bool parseAttributes(std::string_view text, Attributes& out, std::string& problem);

struct Loaded {
  enum class State {
    None,  // the medium has no attributes: it installs as before
    Found,
    Damaged,  // present but unreadable or malformed: the medium is damaged
  };
  State state = State::None;
  Attributes attributes;
  std::string problem;  // when Damaged
};

// The attributes file `hostPath` (None when there is no such file).
Loaded loadFile(const std::string& hostPath);
// The attributes part of the one-file installer `hostPath`, whose trailer
// is read (not summed again); None when it has none or is no installer.
Loaded loadFromInstaller(const std::string& hostPath);
// For the archive `hostPath`: the installer's part when it is a one-file
// installer or a file window onto one (platform/file_window.h), else
// SETUP.ATR beside it.
Loaded loadForArchive(const std::string& hostPath);

// The restore's check for a medium's attributes (see above).
class TMediumCheck : public TLandingCheck {
 public:
  explicit TMediumCheck(Attributes attributes);
  ~TMediumCheck() override;

  void beginFile(const std::string& storedName) override;
  void fileData(const void* data, size_t length) override;
  bool endFile(unsigned& mode, bool& hasMode, std::string& reason) override;
  bool endRestore(TRestoreTarget& target, bool fullPath, std::string& path, std::string& reason) override;
  bool landedDigest(uint64_t& size, std::string& sha256) const override;

 private:
  class HashThread;
  Attributes attributes_;
  const FileAttributes* current_ = nullptr;
  const FileAttributes* landed_ = nullptr;  // the last file endFile() passed
  std::string currentName_;
  uint64_t seen_ = 0;
  bool threaded_ = false;  // the current file is hashed on the second thread
  digest::Sha256 hash_;
  std::unique_ptr<HashThread> thread_;
};

}  // namespace medium
