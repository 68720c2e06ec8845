#pragma once
// Names from an archive or the file system as they are shown to people: on
// a terminal (list, restore -v, errors, clash lists) and in the wizard.
#include <string>

namespace fw {

// `bytes` with every character that could change what is seen written as
// "?", the way terminal listings show such names: C0 and C1 controls, DEL,
// bytes that are not UTF-8 (one "?" each), and the invisible or
// bidirectional format characters (U+061C, U+200B-U+200F, U+2028-U+202E,
// U+2060-U+206F, U+FEFF, U+FFF9-U+FFFB). Everything else, other letters
// included, stays as it is. The "?" can never be read as a separator or as
// part of an escape, and `--json` output keeps the exact bytes.
std::string printable(const std::string& bytes);

// Whether `bytes` would be shown unchanged.
bool isPrintable(const std::string& bytes);

}  // namespace fw
