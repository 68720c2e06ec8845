#pragma once
// Which GNU C library the system has. The launcher is linked statically, so
// it runs where the setup program (linked against the build machine's C
// library) cannot; it asks the system's library file, since its own copy
// knows only the build's version.
#include <optional>
#include <string>

namespace launcher {

struct LibcVersion {
  int major = 0, minor = 0;
  bool operator<(const LibcVersion& o) const { return major != o.major ? major < o.major : minor < o.minor; }
  std::string text() const { return std::to_string(major) + "." + std::to_string(minor); }
};

// The version of the build machine's C library: the setup program of the
// same build needs it.
LibcVersion builtLibcVersion();

// The system's: read from its libc.so.6 ("... release version 2.36."), where
// the loader of this architecture finds it. Empty when there is none (a
// system of another C library) or it tells no version.
std::optional<LibcVersion> hostLibcVersion();

// The version in the text of a libc.so.6; exposed for tests.
std::optional<LibcVersion> libcVersionIn(const std::string& bytes);

}  // namespace launcher
