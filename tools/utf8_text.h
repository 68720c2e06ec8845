#pragma once
// Names from archives as JSON text. Their valid UTF-8 passes through; each
// byte that is not part of valid UTF-8 (names are in whatever code page their
// writer used) stands for the character of that value in ISO 8859-1, so no
// byte is lost and a reader can recover the exact bytes.
#include <string>

namespace setupkit {

std::string asUtf8(const std::string& bytes);

}  // namespace setupkit
