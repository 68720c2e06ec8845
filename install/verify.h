#pragma once
// Compares an installed tree with its install record: `setupkit verify DEST`
// and `DEST/uninstall --verify` run this.
//
// The record is the one this process may act on (record_store::loadEarlier):
// its store's, or a copy in DEST only it could have written. DEST is opened
// once (a link there is refused) and every name is reached from that
// descriptor, component by component, never following a symbolic link. Each
// recorded file is checked for its presence, its size and SHA-256 and its
// mode (records of earlier releases hold no mode: not checked); each link
// for its text; each folder for its presence. Files are hashed on every
// core, the largest first.
//
// The differences are kept as a list (compare()), so that a repair can take
// the same list and put back what is named.
#include <cstdint>
#include <string>
#include <vector>

#include "install/install_record.h"
#include "install/uninstall.h"  // ConsoleText

namespace install_verify {

enum class Finding {
  Missing,      // not there
  Changed,      // another size or content, or something else under its name
  ModeChanged,  // the same content with other permission bits
  Incomplete,   // the record says the last installation did not complete
};
enum class Kind { File, Link, Folder, Uninstaller, Record };

struct Difference {
  Finding finding = Finding::Missing;
  Kind kind = Kind::File;
  std::string name;    // relative to DEST, as in the record
  std::string detail;  // what differs, for people
};

struct Report {
  std::vector<Difference> differences;  // in the record's order: files, uninstaller, links, folders
  size_t files = 0, links = 0, folders = 0;
  uint64_t bytes = 0;  // of the files hashed
};

// "missing", "changed", "mode changed", "incomplete"; "file", "link",
// "folder", "uninstaller", "record".
const char* findingName(Finding finding);
const char* kindName(Kind kind);

// Compares the tree below the folder open as `destFd` with `record`, hashing
// on `threads` threads (0: one per core, at most 8).
Report compare(int destFd, const install_record::Record& record, unsigned threads = 0);

}  // namespace install_verify

struct VerifyOptions {
  std::string dest;   // host path of the installation's folder
  bool json = false;  // one JSON object a line on `out` instead of text
};

struct VerifyConsole {
  ConsoleText& out;
  ConsoleText& err;
};

// Returns the exit status (common/exit_status.h): 0 the tree is as
// recorded, 2 something differs (each difference is named) or the record is
// damaged, 3 nothing is installed there (no folder, no record this process
// may act on), 5 refused (DEST is a link, the record names anything outside
// DEST).
int runVerify(const VerifyOptions& options, VerifyConsole& console);
