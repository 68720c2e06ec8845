#pragma once
// Where an installation's authoritative install record lives, and which
// record a process may act on.
//
// An installation by root keeps its record where only root can write:
// STATE/installs/NAME.json, STATE fixed when the program is built
// (/var/lib/setupkit; never taken from the environment, so that whoever
// starts a root installer cannot choose it). An installation by a user keeps
// it in the user's own state folder ($XDG_STATE_HOME/setupkit/installs, by
// default ~/.local/state/setupkit/installs). NAME is the SHA-256 of DEST's
// host path (as the opened folder resolves), so one destination has one
// record. DEST/.install-record.json is a copy for people to read.
//
// A process acts only on its own store's record. The copy in DEST counts only
// for an installation of an earlier release (which kept no other), and only
// while nobody but this process's user (or root) could have written it: the
// record file and DEST belong to that user or root and no one else may write
// them. Root never merges, pins from or removes by a record a user could
// change.
#include <cstdint>
#include <string>
#include <vector>

#include "install/install_record.h"

namespace record_store {

// The store folder of this process: root's (fixed) or the user's.
std::string directory();
// Root's store (fixed when the program is built), and this user's own
// ($XDG_STATE_HOME/setupkit/installs, else ~/.local/state/...; empty
// without a home).
std::string systemDirectory();
std::string userDirectory();
// The record's file name for the destination whose host path is `destHost`.
std::string recordName(const std::string& destHost);
// The host path of the folder open as `dirFd` (symbolic links resolved).
std::string pathOf(int dirFd);

enum class Source { None, Store, Destination };

struct Earlier {
  install_record::LoadState state = install_record::LoadState::Missing;
  install_record::Record record;
  std::string problem;
  Source source = Source::None;
};

// The record of the installation in DEST (open as `destFd`) that this
// process may act on: its store's, else a copy in DEST that only it (or root)
// could have written. Missing when there is neither.
Earlier loadEarlier(int destFd);

// Writes the authoritative record of DEST (open as `destFd`), making the
// store folder when missing. False with the problem.
bool store(int destFd, const install_record::Record& record, std::string& problem);
// The same with the record's text made already (install_record::toJson).
bool storeText(int destFd, const std::string& text, std::string& problem);
// Removes it; true when it is gone.
bool remove(int destFd);
// Opens the store folder (made when missing and `make`), its folders on the
// way checked as for the records: a directory descriptor, or -1 with
// `problem`.
int openDirectory(bool make, std::string& problem);

// A record of a store, as a listing shows it.
struct Stored {
  std::string file;  // host path of the record file
  install_record::LoadState state = install_record::LoadState::Missing;
  install_record::Record record;
  std::string problem;     // why it cannot be read
  int64_t modified = 0;    // the record file's last change, seconds since 1970
  int64_t modifiedNs = 0;  // and its nanoseconds
};

// Every record of the store folder `directory` (host path), by file name;
// none when it does not exist. No link is followed.
std::vector<Stored> list(const std::string& directory);

// The destination of the newest installation of `application` this
// process's store knows (by when it was installed) whose record pins
// `publisherKey` (or none, when it is empty) and whose folder is still
// there: empty when there is none.
std::string newestDestination(const std::string& application, const std::string& publisherKey);

// Whether the file or folder `st` describes can have been written by nobody
// but `uid` and root.
bool onlyWritableBy(unsigned uid, unsigned mode, unsigned owner);

}  // namespace record_store
