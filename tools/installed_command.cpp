#include "tools/installed_command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>
#include <ostream>

#include "common/exit_status.h"
#include "framework/core/printable.h"
#include "install/json_text.h"
#include "install/publisher_pin.h"
#include "install/record_store.h"

namespace setupkit {

namespace {

using Json = nlohmann::ordered_json;

// Whether a recorded destination is gone: nothing, or no folder, under its
// name. A folder that cannot be looked at (no permission) is not gone.
bool gone(const std::string& destination) {
  struct stat st {};
  if (lstat(destination.c_str(), &st) == 0) return !S_ISDIR(st.st_mode);
  return errno == ENOENT || errno == ENOTDIR;
}

struct Row {
  std::string scope, file;
  const record_store::Stored* stored = nullptr;
  std::string state, keyId, when;
};

std::string shown(const std::string& text) { return text.empty() ? "-" : fw::printable(text); }

}  // namespace

int listInstalled(const InstalledOptions& options, std::ostream& out, std::ostream& err) {
  // Root's store is the system's; a user's own store is read only by that
  // user (root keeps no store of its own beside the system's).
  std::vector<std::pair<std::string, std::vector<record_store::Stored>>> stores;
  stores.emplace_back("system", record_store::list(record_store::systemDirectory()));
  if (geteuid() != 0 && !record_store::userDirectory().empty())
    stores.emplace_back("user", record_store::list(record_store::userDirectory()));
  const std::string ownStore = geteuid() == 0 ? "system" : "user";

  int status = kExitOk;
  std::vector<Row> rows;
  for (const auto& [scope, records] : stores)
    for (const auto& s : records) {
      Row row{scope, s.file, &s, "", "", ""};
      const install_record::Record& r = s.record;
      if (s.state != install_record::LoadState::Loaded) {
        row.state = "damaged";
      } else {
        row.state = !r.destination.empty() && gone(r.destination) ? "gone" : r.complete ? "complete" : "incomplete";
        if (r.publisherKey && !r.publisherKey->empty()) row.keyId = publisher_pin::keyIdOf(*r.publisherKey);
        row.when = r.installed;
      }
      // Only the records of this process's own store, and only those whose
      // folder is gone for certain.
      if (options.prune && row.state == "gone" && scope == ownStore) {
        if (unlink(s.file.c_str()) == 0) {
          err << "setupkit: removed the record of " << fw::printable(r.destination) << " (the folder is gone)\n";
          continue;
        }
        err << "setupkit: cannot remove " << fw::printable(s.file) << ": " << std::strerror(errno) << "\n";
        status = kExitFailed;
      }
      rows.push_back(std::move(row));
    }

  if (options.json) {
    for (const Row& row : rows) {
      const install_record::Record& r = row.stored->record;
      Json o;
      o["scope"] = row.scope;
      o["state"] = row.state;
      if (row.state == "damaged") {
        o["problem"] = row.stored->problem;
      } else {
        o["application"] = json_text::asUtf8(r.application);
        o["version"] = r.version.empty() ? Json(nullptr) : Json(json_text::asUtf8(r.version));
        o["title"] = json_text::asUtf8(r.title);
        o["publisher"] = json_text::asUtf8(r.publisher);
        o["destination"] = r.destination.empty() ? Json(nullptr) : Json(json_text::asUtf8(r.destination));
        o["publisher_key_id"] = row.keyId.empty() ? Json(nullptr) : Json(row.keyId);
        o["complete"] = r.complete;
        o["installed"] = row.when.empty() ? Json(nullptr) : Json(row.when);
      }
      o["record"] = json_text::asUtf8(row.file);
      out << o.dump() << "\n";
    }
    return status;
  }
  if (rows.empty()) {
    out << "No installation is recorded.\n";
    return status;
  }
  // Columns as wide as their longest text.
  std::vector<std::vector<std::string>> table = {
      {"SCOPE", "APPLICATION", "VERSION", "DESTINATION", "KEY ID", "STATE", "INSTALLED"}};
  for (const Row& row : rows) {
    const install_record::Record& r = row.stored->record;
    if (row.state == "damaged")
      table.push_back({row.scope, "-", "-", fw::printable(row.file), "-", "damaged", "-"});
    else
      table.push_back({row.scope, shown(r.application), shown(r.version),
                       r.destination.empty() ? "(not recorded)" : fw::printable(r.destination), shown(row.keyId),
                       row.state, shown(row.when)});
  }
  std::vector<size_t> width(table[0].size(), 0);
  for (const auto& line : table)
    for (size_t i = 0; i < line.size(); ++i) width[i] = std::max(width[i], line[i].size());
  for (const auto& line : table) {
    std::string text;
    for (size_t i = 0; i < line.size(); ++i)
      text += i + 1 < line.size() ? line[i] + std::string(width[i] - line[i].size() + 2, ' ') : line[i];
    out << text << "\n";
  }
  return status;
}

}  // namespace setupkit
