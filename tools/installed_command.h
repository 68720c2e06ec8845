#pragma once
// installed: the installations this system (root's store of install
// records) and this user (the user's own store) know.
#include <iosfwd>

namespace setupkit {

struct InstalledOptions {
  bool json = false;   // one JSON object a line
  bool prune = false;  // remove the records of this process's store whose folder is gone
};

// Lists them on `out` (problems on `err`); returns the exit status: 0, or 1
// when a record to be pruned could not be removed.
int listInstalled(const InstalledOptions& options, std::ostream& out, std::ostream& err);

}  // namespace setupkit
