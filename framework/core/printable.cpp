#include "framework/core/printable.h"

#include <cstdint>

namespace fw {

namespace {

// The length of the well-formed UTF-8 sequence at `s[i]` and its code point,
// or 0 when the bytes there are not one.
size_t decode(const std::string& s, size_t i, uint32_t& cp) {
  const auto byte = [&](size_t k) { return uint8_t(s[k]); };
  const uint8_t lead = byte(i);
  size_t n;
  uint32_t min;
  if (lead < 0x80) {
    cp = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    n = 2, min = 0x80, cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    n = 3, min = 0x800, cp = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    n = 4, min = 0x10000, cp = lead & 0x07;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    cp = cp << 6 | (byte(i + k) & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}

bool hidden(uint32_t cp) {
  return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0x061C || (cp >= 0x200B && cp <= 0x200F) ||
         (cp >= 0x2028 && cp <= 0x202E) || (cp >= 0x2060 && cp <= 0x206F) || cp == 0xFEFF ||
         (cp >= 0xFFF9 && cp <= 0xFFFB);
}

}  // namespace

std::string printable(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size();) {
    uint32_t cp = 0;
    const size_t n = decode(bytes, i, cp);
    if (n == 0 || hidden(cp)) {
      out += '?';
      i += n == 0 ? 1 : n;
    } else {
      out.append(bytes, i, n);
      i += n;
    }
  }
  return out;
}

bool isPrintable(const std::string& bytes) { return printable(bytes) == bytes; }

}  // namespace fw
