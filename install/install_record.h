#pragma once
// The install record: what an installation wrote below its destination, kept
// in DEST/.install-record.json so that the installation can be found and
// removed (DEST/uninstall, `setupkit uninstall`). docs/install-record.md
// describes the format.
//
// Names in the record are relative to DEST, components separated by "/", in
// the exact bytes the host file system holds. No call here follows a link
// below DEST.
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace install_record {

inline constexpr const char* kRecordName = ".install-record.json";
inline constexpr const char* kUninstallerName = "uninstall";
inline constexpr int kFormatVersion = 1;

// A file the installation wrote.
struct FileEntry {
  std::string name;  // relative to DEST
  uint64_t size = 0;
  std::string sha256;  // 64 lower-case hexadecimal digits
  std::string date;    // last write, ISO 8601 in UTC ("2026-12-08T00:01:02Z")
  unsigned mode = 0;   // permission bits (07777) as installed; 0 in records of earlier releases
};

// A symbolic link the installation made (from the medium's attributes).
struct LinkEntry {
  std::string name;    // relative to DEST
  std::string target;  // the link's text, exactly
};

// A file that goes with a desktop entry, in the data folder of its scope
// (~/.local/share or /usr/local/share): the entry's icon in the icon theme,
// the package of the file types it opens.
struct DesktopFile {
  std::string name;  // below the data folder ("icons/hicolor/48x48/apps/setup-demo-0a1b2c3d.png")
  uint64_t size = 0;
  std::string sha256;
};

// A desktop entry the installation wrote into an applications folder.
struct MenuEntry {
  std::string name;   // its file name ("setup-demo-0a1b2c3d.desktop")
  std::string scope;  // "user" ($XDG_DATA_HOME/applications) or "system" (/usr/local/share/applications)
  uint64_t size = 0;
  std::string sha256;
  // The applications folder it was written into (host path), for a user's
  // entry: found again when another process (root) removes the installation.
  // Empty in records of earlier releases.
  std::string folder;
  std::vector<DesktopFile> files = {};  // its icon and file types; absent in records of earlier releases
};

// A file of the user's that an installation replaced: kept aside in DEST,
// put back by the uninstaller.
struct AsideEntry {
  std::string name;   // where it stood, relative to DEST
  std::string aside;  // where it is kept, relative to DEST (".install-aside/3.VERSION")
};

// A file an installation left in DEST and named, which no installation owns:
// a file the user changed that a new version dropped or replaced.
struct KeptEntry {
  std::string name;  // relative to DEST
  std::string reason;
};

struct Record {
  std::string application;                  // App of SETUP.INS; may be empty
  std::string version;                      // Version of SETUP.INS; empty when unknown
  std::string title;                        // Title of SETUP.INS; may be empty
  std::string publisher;                    // Publisher of SETUP.INS; may be empty
  std::string installed;                    // when the last installation began, ISO 8601 in UTC
  std::string destination;                  // DEST's host path; empty in records of earlier releases
  bool complete = false;                    // the last installation ended as it should
  bool destinationMade = false;             // DEST did not exist before the first installation
  std::optional<std::string> publisherKey;  // the id of the key the medium was signed with, when it was
  std::vector<std::string> folders;         // folders below DEST the installations made, in the order made
  std::vector<FileEntry> files;
  std::vector<LinkEntry> links;  // made after the files; absent in records of earlier releases
  std::vector<MenuEntry> menu;
  std::optional<FileEntry> uninstaller;  // DEST/uninstall, when the installation placed it
  std::vector<AsideEntry> aside;         // absent in records of earlier releases
  std::vector<KeptEntry> kept;           // absent in records of earlier releases
  // The position of each file by name, for addFile; made again whenever it
  // does not cover `files`.
  std::unordered_map<std::string, size_t> fileIndex;
  // The names in `folders`, for addFolder; made again whenever it does not
  // cover them.
  std::unordered_set<std::string> folderIndex;

  // Adds or replaces (same name) an entry.
  void addFile(FileEntry entry);
  void addFolder(const std::string& name);
  void addLink(LinkEntry entry);  // replaces a link of the same name
  void addMenuEntry(MenuEntry entry);
  void addAside(AsideEntry entry);  // replaces one of the same name
  void addKept(KeptEntry entry);    // replaces one of the same name
  // Drops the files named in `names`.
  void removeFiles(const std::unordered_set<std::string>& names);
  // Takes in what an earlier record of the same destination holds and this
  // one does not: its files, folders, links, menu entries, the made
  // destination.
  void mergeEarlier(const Record& earlier);
};

// Whether `name` names something below DEST: relative, components neither
// empty, "." nor "..", no NUL byte.
bool staysBelow(const std::string& name);

std::string toJson(const Record& record);
// Reads the JSON text. False with `problem` when it is not a record of this
// format or version, or names anything outside DEST (then `outside` is set).
bool fromJson(const std::string& text, Record& record, std::string& problem, bool* outside = nullptr);

// A mode as four octal digits ("0755"), as the record keeps it.
std::string modeText(unsigned mode);

// The UTC date in the record's form for a time in seconds since 1970.
std::string isoDate(int64_t seconds);

enum class LoadState { Missing, Loaded, Damaged, Outside };
// Reads the record `name` (DEST's own by default) in the folder open as
// `dirFd` (a directory descriptor); a link there is refused as damage.
LoadState load(int dirFd, Record& record, std::string& problem, const std::string& name = kRecordName);
// Writes the record `name` by replacement: a new file under a temporary
// name, flushed to disk, then renamed over the old one, so that it is never
// seen half written.
bool store(int dirFd, const Record& record, std::string& problem, const std::string& name = kRecordName);
// The same with the record's text (toJson) made already: one text written
// into the store and into DEST is made once.
bool storeText(int dirFd, const std::string& text, std::string& problem, const std::string& name = kRecordName);
// Removes the record `name`.
bool remove(int dirFd, const std::string& name = kRecordName);

}  // namespace install_record
