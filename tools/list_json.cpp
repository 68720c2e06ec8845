#include "tools/list_json.h"

#include <nlohmann/json.hpp>

#include "tools/inspect.h"

namespace setupkit {

namespace {

using Json = nlohmann::ordered_json;  // members in the order they are set

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

// The bytes as UTF-8: valid sequences as they are, every other byte as the
// ISO 8859-1 character of its value.
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

Json jsonDate(int32_t fileDate) {
  std::string text = formatDosDate(fileDate);
  if (text.compare(0, 7, "invalid") == 0) return nullptr;
  text[10] = 'T';
  return text;
}

Json entryObject(const EntryInfo& e) {
  Json o;
  o["kind"] = kindName(e.kind);
  o["name"] = asUtf8(e.name);
  if (e.kind == EntryKind::File || e.kind == EntryKind::FileList) {
    o["date"] = jsonDate(e.fileDate);
    o["size"] = e.fileSize;
    o["stored"] = e.storedSize;
    o["chunks"] = e.chunks;
  } else {
    for (const char* key : {"date", "size", "stored", "chunks"}) o[key] = nullptr;
  }
  o["volume"] = e.at.volume;
  return o;
}

}  // namespace

bool printJsonListing(const ArchiveInfo& info, std::ostream& out, const medium::Attributes* attributes) {
  out << "[";
  const char* separator = "\n";
  for (const auto& e : info.entries) {
    Json o = entryObject(e);
    if (attributes && e.kind == EntryKind::File) o["mode"] = modeText(*attributes, e.name);
    out << separator << o.dump();
    separator = ",\n";
  }
  if (attributes) {
    for (const auto& link : attributes->links) {
      out << separator << Json{{"kind", "link"}, {"name", asUtf8(link.name)}, {"target", asUtf8(link.target)}}.dump();
      separator = ",\n";
    }
    for (const auto& folder : attributes->folders) {
      out << separator << Json{{"kind", "folder"}, {"name", asUtf8(folder)}}.dump();
      separator = ",\n";
    }
  }
  out << "\n]\n";
  return info.complete;
}

}  // namespace setupkit
