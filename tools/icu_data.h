#pragma once
// ICU's data library (libicudata.so.NN, 31 MB) holds one table of contents
// and the data items of every ICU service. Of what Qt Core can call, the
// setup program reaches collation (the sorted file lists) and case mapping,
// with the supplemental data they follow from; the items of the other
// services (the locales' own formatting data, break
// iteration and its dictionaries, transliteration, spelled-out numbers,
// currency, unit, language, region and time zone names, the time zone
// tables, character names and the character set converters' tables) are
// taken out of the table and their bytes zeroed. The file keeps its size and
// layout; the packed runtime carries the zeros for almost nothing and the
// launcher leaves them as holes.
#include <cstdint>
#include <string>

namespace setupkit {

// Whether an item of ICU's data ("icudt72l/brkitr/char.brk") belongs to a
// service the setup program never reaches.
bool isUnreachedIcuItem(const std::string& name);

// Trims the data library `path` in place as above. Returns the bytes zeroed;
// 0 when the file holds no ICU data it knows (it is then left as it was).
int64_t trimIcuData(const std::string& path);

}  // namespace setupkit
