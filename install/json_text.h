#pragma once
// Names in JSON. Names from archives and from the host are bytes in whatever
// code page their writer used; JSON text is UTF-8.
#include <string>

namespace json_text {

// Whether `bytes` is valid UTF-8 (no overlong forms, surrogates or values
// past U+10FFFF).
bool isUtf8(const std::string& bytes);
// The bytes as UTF-8 for reading: valid sequences as they are, every other
// byte as the ISO 8859-1 character of its value. Two names can read the same
// this way; where the exact bytes matter, keep hexOf() beside it.
std::string asUtf8(const std::string& bytes);
// The bytes as lower-case hexadecimal digits, and back (false on any other
// text).
std::string hexOf(const std::string& bytes);
bool bytesOfHex(const std::string& hex, std::string& bytes);

}  // namespace json_text
