#include "app/launcher/host_libc.h"

#include <cctype>

#include "platform/text_file.h"

namespace launcher {

LibcVersion builtLibcVersion() {
#if defined(__GLIBC__)
  return {__GLIBC__, __GLIBC_MINOR__};
#else
  return {};
#endif
}

std::optional<LibcVersion> libcVersionIn(const std::string& bytes) {
  static const std::string kMark = "release version ";
  for (size_t at = bytes.find(kMark); at != std::string::npos; at = bytes.find(kMark, at + 1)) {
    size_t i = at + kMark.size();
    auto number = [&](int& value) {
      const size_t start = i;
      value = 0;
      while (i < bytes.size() && std::isdigit((unsigned char)bytes[i]) && i - start < 4)
        value = value * 10 + (bytes[i++] - '0');
      return i > start;
    };
    LibcVersion v;
    if (number(v.major) && i < bytes.size() && bytes[i++] == '.' && number(v.minor)) return v;
  }
  return std::nullopt;
}

std::optional<LibcVersion> hostLibcVersion() {
  // Debian and its derivatives, then the others' lib64.
  for (const char* path : {"/lib/x86_64-linux-gnu/libc.so.6", "/usr/lib/x86_64-linux-gnu/libc.so.6",
                           "/lib/aarch64-linux-gnu/libc.so.6", "/usr/lib/aarch64-linux-gnu/libc.so.6",
                           "/lib64/libc.so.6", "/usr/lib64/libc.so.6", "/lib/libc.so.6", "/usr/lib/libc.so.6"}) {
    const std::optional<std::string> bytes = platform::readWholeFile(path);
    if (!bytes) continue;
    if (auto v = libcVersionIn(*bytes)) return v;
  }
  return std::nullopt;
}

}  // namespace launcher
