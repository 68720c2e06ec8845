#pragma once
// list --json: the entries of an archive for scripts.
#include <ostream>

#include "medium/medium_attributes.h"
#include "medium/medium_settings.h"
#include "tools/archive_reader.h"

namespace setupkit {

// Prints a JSON array with one object per entry, one object per line:
// {"kind":"file","name":"C:\\A.TXT","date":"2024-05-01T12:00:00","size":5,
//  "stored":13,"chunks":1,"volume":1}. kind is file, list, volume or filler;
// date is the stored DOS date-time as ISO 8601 without a zone (it is local
// time), null when it is no valid date; date, size, stored and chunks are
// null for volume changes and fillers; volume is the number of the volume
// holding the entry record. A name's valid UTF-8 passes through; each byte
// that is not part of valid UTF-8 (names from archives are in whatever code
// page their writer used) stands for the character of that value in
// ISO 8859-1, so no byte is lost. Returns true when the archive was read to
// its end marker.
// With a medium's settings the array begins with one object of kind
// "medium": {"kind":"medium","setup":"medium/SETUP.INS","title":...,"app":...,
// "destDir":...,"userDestDir":...,"paths":...,"disks":...}, each value a
// string as SETUP.INS gives it, null when it has no such key.
bool printJsonListing(const ArchiveInfo& info, std::ostream& out, const medium::Attributes* attributes = nullptr,
                      const medium::Settings* settings = nullptr);

}  // namespace setupkit
