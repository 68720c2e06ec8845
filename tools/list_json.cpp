#include "tools/list_json.h"

#include <nlohmann/json.hpp>

#include "install/json_text.h"
#include "tools/inspect.h"

namespace setupkit {

namespace {

using Json = nlohmann::ordered_json;  // members in the order they are set

Json jsonDate(int32_t fileDate) {
  std::string text = formatDosDate(fileDate);
  if (text.compare(0, 7, "invalid") == 0) return nullptr;
  text[10] = 'T';
  return text;
}

Json entryObject(const EntryInfo& e) {
  Json o;
  o["kind"] = kindName(e.kind);
  o["name"] = json_text::asUtf8(e.name);
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

bool printJsonListing(const ArchiveInfo& info, std::ostream& out, const medium::Attributes* attributes,
                      const medium::Settings* settings) {
  out << "[";
  const char* separator = "\n";
  if (settings) {
    auto value = [](const std::string& text) { return text.empty() ? Json(nullptr) : Json(json_text::asUtf8(text)); };
    Json o;
    o["kind"] = "medium";
    o["setup"] = json_text::asUtf8(settings->source);
    o["title"] = value(settings->title);
    o["app"] = value(settings->app);
    o["destDir"] = value(settings->destDir);
    o["userDestDir"] = value(settings->userDestDir);
    o["paths"] = value(settings->paths);
    o["disks"] = value(settings->disks);
    out << separator << o.dump();
    separator = ",\n";
  }
  for (const auto& e : info.entries) {
    Json o = entryObject(e);
    if (attributes && e.kind == EntryKind::File) o["mode"] = modeText(*attributes, e.name);
    out << separator << o.dump();
    separator = ",\n";
  }
  if (attributes) {
    for (const auto& link : attributes->links) {
      out << separator
          << Json{{"kind", "link"}, {"name", json_text::asUtf8(link.name)}, {"target", json_text::asUtf8(link.target)}}
                 .dump();
      separator = ",\n";
    }
    for (const auto& folder : attributes->folders) {
      out << separator << Json{{"kind", "folder"}, {"name", json_text::asUtf8(folder)}}.dump();
      separator = ",\n";
    }
  }
  out << "\n]\n";
  return info.complete;
}

}  // namespace setupkit
