#pragma once
// list and verify: what an archive holds, and whether it is sound.
#include <ostream>
#include <string>
#include <vector>

#include "medium/medium_attributes.h"
#include "medium/medium_settings.h"
#include "tools/archive_reader.h"

namespace setupkit {

// Prints the header and every entry (kind, date in local time, file size,
// stored size, chunks, stored name) of a read archive, then whatever stopped
// the reading. With a medium's attributes each file's mode is shown too, and
// the links and empty folders follow the entries. Returns true when the
// archive was read to its end marker. With a medium's settings (its
// SETUP.INS) the title, application, destinations, Paths and Disks follow
// the header.
bool printListing(const ArchiveInfo& info, std::ostream& out, const medium::Attributes* attributes = nullptr,
                  const medium::Settings* settings = nullptr);

// A file's mode as list shows it ("0755"), "-" when the attributes do not
// know the name.
std::string modeText(const medium::Attributes& attributes, const std::string& storedName);

// Why `info` is not an archive at all, or empty when it is one (sound or
// damaged): no entry could be read and no TotalSize greater than 0, which is
// what any other file gives (its first bytes read as a header that runs past
// its end, or a run of zero bytes as an empty header and the end marker). A
// disk image made by `medium --image` is named as one. list and verify then
// print only this, as an error (status 2).
std::string notAnArchive(const ArchiveInfo& info);

struct VerifyReport {
  std::vector<Problem> problems;   // reading problems, then failed checks
  std::vector<Problem> refused;    // entries a restore below a destination refuses
  std::vector<std::string> notes;  // facts that are not damage
  size_t manifestsChecked = 0;
  bool sound() const { return problems.empty() && refused.empty(); }
};

// Checks a read archive beyond its chunks: TotalSize against the sum of the
// file sizes (greater than 0), each file list that is a manifest against the
// files' names, sizes and hashes, in order, and every file's name against
// what a restore below a destination refuses (a name holding a NUL byte is
// damage; one that climbs out or is too long for the host is refused).
VerifyReport verifyArchive(const ArchiveInfo& info);

// Prints a report: one line per problem with its volume and offset and the
// entry it concerns, then a summary.
void printVerifyReport(const ArchiveInfo& info, const VerifyReport& report, std::ostream& out);

// The kind of an entry as list shows it: file, list, volume or filler.
const char* kindName(EntryKind kind);

// A DOS date-time as "YYYY-MM-DD HH:MM:SS" (its fields are local time), or
// "invalid 0x...." when a field is out of range.
std::string formatDosDate(int32_t fileDate);

}  // namespace setupkit
