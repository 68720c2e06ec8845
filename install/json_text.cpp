#include "install/json_text.h"

#include <cstdint>

namespace json_text {

namespace {

// The length of the valid UTF-8 sequence at s[i], or 0 when none starts there.
size_t utf8Length(const std::string& s, size_t i) {
  auto byte = [&](size_t k) { return (unsigned char)s[k]; };
  unsigned char c = byte(i);
  size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
  if (n == 0 || i + n > s.size()) return 0;
  uint32_t code = n == 1 ? c : n == 2 ? c & 0x1F : n == 3 ? c & 0x0F : c & 0x07;
  for (size_t k = 1; k < n; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not valid UTF-8.
  static const uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kSmallest[n] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
  return n;
}

}  // namespace

bool isUtf8(const std::string& bytes) {
  for (size_t i = 0; i < bytes.size();) {
    const size_t n = utf8Length(bytes, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::string asUtf8(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size();) {
    if (size_t n = utf8Length(bytes, i)) {
      out.append(bytes, i, n);
      i += n;
    } else {
      unsigned char c = (unsigned char)bytes[i++];
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string hexOf(const std::string& bytes) {
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  for (unsigned char c : bytes) {
    text += kHex[c >> 4];
    text += kHex[c & 15];
  }
  return text;
}

bool bytesOfHex(const std::string& hex, std::string& bytes) {
  auto digit = [](char c) { return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1; };
  if (hex.size() % 2) return false;
  bytes.clear();
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int hi = digit(hex[i]), lo = digit(hex[i + 1]);
    if (hi < 0 || lo < 0) return false;
    bytes += char(hi * 16 + lo);
  }
  return true;
}

}  // namespace json_text
