#include "platform/drives.h"

#include <algorithm>
#include <cctype>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/current_dir.h"
#include "platform/text_file.h"

namespace platform {

namespace {

std::optional<std::vector<Drive>>& table() {
  static std::optional<std::vector<Drive>> t;
  return t;
}

// Mount-table fields escape blanks and backslashes as octal (\040).
std::string unescapeMountField(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() + 0 && std::isdigit((unsigned char)s[i + 1]) &&
        std::isdigit((unsigned char)s[i + 2]) && std::isdigit((unsigned char)s[i + 3])) {
      out += char((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0'));
      i += 3;
    } else {
      out += s[i];
    }
  }
  return out;
}

bool under(const std::string& path, const std::string& folder) {
  return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/';
}

std::string lastComponent(const std::string& path) {
  auto p = path.find_last_of('/');
  return p == std::string::npos ? path : path.substr(p + 1);
}

// The fields of a line, separated by blanks (spaces, tabs).
std::vector<std::string> fieldsOf(const std::string& line) {
  std::vector<std::string> fields;
  for (size_t at = line.find_first_not_of(" \t\r\v\f"); at != std::string::npos;) {
    const size_t end = line.find_first_of(" \t\r\v\f", at);
    fields.push_back(line.substr(at, end == std::string::npos ? std::string::npos : end - at));
    at = end == std::string::npos ? end : line.find_first_not_of(" \t\r\v\f", end);
  }
  return fields;
}

}  // namespace

std::vector<Drive> driveTableFromMounts(const std::string& mountsText) {
  std::vector<Drive> drives;
  drives.push_back(Drive{});  // C: is the host root
  char next = 'D';
  for (const std::string& line : linesOf(mountsText)) {
    if (next > 'Z') break;
    const std::vector<std::string> fields = fieldsOf(line);
    if (fields.size() < 3) continue;
    std::string device = fields[0], mountPoint = fields[1];
    const std::string& fsType = fields[2];
    mountPoint = unescapeMountField(mountPoint);
    device = unescapeMountField(device);
    bool userFolder = under(mountPoint, "/media") || under(mountPoint, "/run/media") || under(mountPoint, "/mnt");
    Drive d;
    d.hostRoot = mountPoint;
    d.label = lastComponent(mountPoint);
    if (fsType == "nfs" || fsType == "nfs4" || fsType == "cifs" || fsType == "smb3" || fsType == "smbfs" ||
        fsType == "sshfs" || fsType == "fuse.sshfs" || fsType == "9p") {
      d.type = kDriveRemote;
      d.label.clear();
      // "server:/export" or "//server/share" both become \\server\share.
      std::string r = device;
      if (r.rfind("//", 0) == 0) r = r.substr(2);
      auto colon = r.find(":/");
      if (colon != std::string::npos) r = r.substr(0, colon) + r.substr(colon + 1);
      for (char& c : r)
        if (c == '/') c = '\\';
      while (!r.empty() && r.back() == '\\') r.pop_back();
      d.remoteName = "\\\\" + r;
    } else if (!userFolder) {
      continue;
    } else if (fsType == "iso9660" || fsType == "udf") {
      d.type = kDriveCdRom;
      d.fsFlags = kFsCasePreserved;
    } else if (fsType == "tmpfs" || fsType == "ramfs") {
      d.type = kDriveRamDisk;
    } else {
      d.type = kDriveRemovable;
      if (fsType == "vfat" || fsType == "exfat" || fsType == "msdos" || fsType == "ntfs" || fsType == "ntfs3" ||
          fsType == "fuseblk")
        d.fsFlags = kFsCasePreserved;
    }
    // A later mount on the same point hides the earlier one: it takes over
    // that drive's letter instead of adding a drive that cannot be reached.
    auto same =
        std::find_if(drives.begin() + 1, drives.end(), [&](const Drive& e) { return e.hostRoot == d.hostRoot; });
    if (same != drives.end()) {
      d.letter = same->letter;
      *same = d;
      continue;
    }
    d.letter = next++;
    drives.push_back(d);
  }
  return drives;
}

std::vector<Drive> readHostDriveTable() {
  return driveTableFromMounts(readWholeFile("/proc/self/mounts").value_or(""));
}

const std::vector<Drive>& driveTable() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (!table()) {
      table() = readHostDriveTable();
    }
  });
  return *table();
}

void installDriveTable(std::vector<Drive> drives) {
  driveTable();  // make sure the host table is never read over an installed one later
  for (auto& d : drives) d.letter = char(std::toupper((unsigned char)d.letter));
  table() = std::move(drives);
  resetCurrentDirectories();
}

const Drive* findDrive(char letter) {
  char up = char(std::toupper((unsigned char)letter));
  for (const auto& d : driveTable())
    if (d.letter == up) return &d;
  return nullptr;
}

}  // namespace platform
