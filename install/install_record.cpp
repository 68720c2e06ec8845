#include "install/install_record.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <nlohmann/json.hpp>
#include <random>

#include "install/json_text.h"

namespace install_record {

namespace {

using Json = nlohmann::ordered_json;  // members in the order they are set
constexpr const char* kFormatName = "setup install record";
// A record larger than this is no record of ours.
constexpr off_t kLargestRecord = off_t(1) << 30;

// Bytes as JSON members: `key` is readable UTF-8; `key`_hex holds the exact
// bytes when they are not UTF-8 (then `key` only approximates them).
void putText(Json& o, const std::string& key, const std::string& bytes) {
  o[key] = json_text::asUtf8(bytes);
  if (!json_text::isUtf8(bytes)) o[key + "_hex"] = json_text::hexOf(bytes);
}

std::string textOf(const Json& o, const std::string& key) {
  const std::string hexKey = key + "_hex";
  if (o.contains(hexKey)) {
    std::string bytes;
    if (!o[hexKey].is_string() || !json_text::bytesOfHex(o[hexKey].get<std::string>(), bytes))
      throw std::runtime_error("a " + hexKey + " that is no hexadecimal text");
    return bytes;
  }
  return o.at(key).get<std::string>();
}

void putName(Json& o, const std::string& name) { putText(o, "name", name); }
std::string nameOf(const Json& o) { return textOf(o, "name"); }

unsigned modeOf(const std::string& text) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("01234567") != std::string::npos)
    throw std::runtime_error("a mode that is no octal number");
  return unsigned(std::stoul(text, nullptr, 8)) & 07777;
}

Json fileJson(const FileEntry& f) {
  Json o;
  putName(o, f.name);
  o["size"] = f.size;
  o["sha256"] = f.sha256;
  o["date"] = f.date;
  if (f.mode != 0) o["mode"] = modeText(f.mode);
  return o;
}

bool isDigest(const std::string& s) {
  return s.size() == 64 &&
         std::all_of(s.begin(), s.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

FileEntry fileOf(const Json& o) {
  FileEntry f;
  f.name = nameOf(o);
  f.size = o.at("size").get<uint64_t>();
  f.sha256 = o.at("sha256").get<std::string>();
  f.date = o.at("date").get<std::string>();
  if (o.contains("mode")) f.mode = modeOf(o["mode"].get<std::string>());
  if (!isDigest(f.sha256)) throw std::runtime_error("a sha256 that is no digest");
  return f;
}

template <class T>
void addOrReplace(std::vector<T>& list, T entry) {
  for (auto& e : list)
    if (e.name == entry.name) {
      e = std::move(entry);
      return;
    }
  list.push_back(std::move(entry));
}

}  // namespace

void Record::addFile(FileEntry entry) {
  if (fileIndex.size() != files.size()) {
    fileIndex.clear();
    for (size_t i = 0; i < files.size(); ++i) fileIndex.emplace(files[i].name, i);
  }
  auto [at, added] = fileIndex.emplace(entry.name, files.size());
  if (added)
    files.push_back(std::move(entry));
  else
    files[at->second] = std::move(entry);
}

void Record::addFolder(const std::string& name) {
  if (folderIndex.size() != folders.size()) folderIndex = {folders.begin(), folders.end()};
  if (folderIndex.insert(name).second) folders.push_back(name);
}

void Record::addMenuEntry(MenuEntry entry) { addOrReplace(menu, std::move(entry)); }

void Record::addAside(AsideEntry entry) { addOrReplace(aside, std::move(entry)); }

void Record::addKept(KeptEntry entry) { addOrReplace(kept, std::move(entry)); }

void Record::removeFiles(const std::unordered_set<std::string>& names) {
  std::erase_if(files, [&](const FileEntry& f) { return names.count(f.name) > 0; });
  fileIndex.clear();
}

void Record::addLink(LinkEntry entry) {
  for (auto& l : links)
    if (l.name == entry.name) {
      l = std::move(entry);
      return;
    }
  links.push_back(std::move(entry));
}

void Record::mergeEarlier(const Record& earlier) {
  Record merged = earlier;
  for (const auto& f : folders) merged.addFolder(f);
  for (const auto& l : links) merged.addLink(l);
  for (const auto& f : files) merged.addFile(f);
  for (const auto& m : menu) merged.addMenuEntry(m);
  for (const auto& a : aside) merged.addAside(a);
  for (const auto& k : kept) merged.addKept(k);
  merged.destinationMade = earlier.destinationMade || destinationMade;
  merged.complete = complete;
  if (!application.empty()) merged.application = application;
  // What the last installation installed: its version (none is no version),
  // its medium's title and publisher, and when.
  merged.version = version;
  if (!title.empty()) merged.title = title;
  if (!publisher.empty()) merged.publisher = publisher;
  if (!installed.empty()) merged.installed = installed;
  if (publisherKey) merged.publisherKey = publisherKey;
  if (uninstaller) merged.uninstaller = uninstaller;
  *this = std::move(merged);
}

bool staysBelow(const std::string& name) {
  if (name.empty() || name[0] == '/' || name.find('\0') != std::string::npos) return false;
  size_t start = 0;
  for (;;) {
    const size_t end = std::min(name.find('/', start), name.size());
    const std::string part = name.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") return false;
    if (end == name.size()) return true;
    start = end + 1;
  }
}

std::string modeText(unsigned mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", mode & 07777);
  return text;
}

std::string isoDate(int64_t seconds) {
  const time_t t = time_t(seconds);
  struct tm tm {};
  gmtime_r(&t, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return text;
}

std::string toJson(const Record& r) {
  Json o;
  o["format"] = kFormatName;
  o["version"] = kFormatVersion;
  o["application"] = json_text::asUtf8(r.application);
  // Written only when known, so that a record without them reads as before.
  if (!r.version.empty()) o["app_version"] = json_text::asUtf8(r.version);
  if (!r.title.empty()) o["title"] = json_text::asUtf8(r.title);
  if (!r.publisher.empty()) o["publisher"] = json_text::asUtf8(r.publisher);
  if (!r.installed.empty()) o["installed"] = r.installed;
  if (!r.destination.empty()) putText(o, "destination", r.destination);
  o["complete"] = r.complete;
  o["destination_made"] = r.destinationMade;
  if (r.publisherKey) o["publisher_key"] = *r.publisherKey;
  o["uninstaller"] = r.uninstaller ? fileJson(*r.uninstaller) : Json(nullptr);
  Json folders = Json::array();
  for (const auto& f : r.folders) {
    Json e;
    putName(e, f);
    folders.push_back(std::move(e));
  }
  o["folders"] = std::move(folders);
  // Written only when there are links, so that a record without any reads
  // as before everywhere.
  if (!r.links.empty()) {
    Json links = Json::array();
    for (const auto& l : r.links) {
      Json e;
      putName(e, l.name);
      putText(e, "target", l.target);
      links.push_back(std::move(e));
    }
    o["links"] = std::move(links);
  }
  Json menu = Json::array();
  for (const auto& m : r.menu) {
    Json e;
    putName(e, m.name);
    e["scope"] = m.scope;
    e["size"] = m.size;
    e["sha256"] = m.sha256;
    if (!m.folder.empty()) putText(e, "folder", m.folder);
    if (!m.files.empty()) {
      Json files = Json::array();
      for (const auto& f : m.files) files.push_back({{"name", f.name}, {"size", f.size}, {"sha256", f.sha256}});
      e["files"] = std::move(files);
    }
    menu.push_back(std::move(e));
  }
  o["menu"] = std::move(menu);
  // Written only when there are any, so that a record without them reads
  // as before everywhere.
  if (!r.aside.empty()) {
    Json aside = Json::array();
    for (const auto& a : r.aside) {
      Json e;
      putName(e, a.name);
      putText(e, "aside", a.aside);
      aside.push_back(std::move(e));
    }
    o["aside"] = std::move(aside);
  }
  if (!r.kept.empty()) {
    Json kept = Json::array();
    for (const auto& k : r.kept) {
      Json e;
      putName(e, k.name);
      e["reason"] = k.reason;
      kept.push_back(std::move(e));
    }
    o["kept"] = std::move(kept);
  }
  // One file a line: a record of thousands of files stays readable.
  std::string text = o.dump(1);
  Json files = Json::array();
  std::string lines = "[";
  const char* separator = "\n  ";
  for (const auto& f : r.files) {
    lines += separator + fileJson(f).dump();
    separator = ",\n  ";
  }
  lines += r.files.empty() ? "]" : "\n ]";
  text.insert(text.size() - 2, ",\n \"files\": " + lines);
  return text + "\n";
}

bool fromJson(const std::string& text, Record& r, std::string& problem, bool* outside) {
  r = Record{};
  if (outside) *outside = false;
  try {
    const Json o = Json::parse(text);
    if (!o.is_object() || o.value("format", "") != kFormatName) {
      problem = "it is no install record";
      return false;
    }
    if (o.at("version").get<int>() != kFormatVersion) {
      problem = "it is of version " + o.at("version").dump() + ", not " + std::to_string(kFormatVersion);
      return false;
    }
    r.application = o.value("application", "");
    r.version = o.value("app_version", "");
    r.title = o.value("title", "");
    r.publisher = o.value("publisher", "");
    r.installed = o.value("installed", "");
    if (o.contains("destination")) r.destination = textOf(o, "destination");
    r.complete = o.at("complete").get<bool>();
    r.destinationMade = o.at("destination_made").get<bool>();
    if (o.contains("publisher_key") && !o["publisher_key"].is_null())
      r.publisherKey = o["publisher_key"].get<std::string>();
    if (!o.at("uninstaller").is_null()) r.uninstaller = fileOf(o["uninstaller"]);
    for (const auto& e : o.at("folders")) r.folders.push_back(nameOf(e));
    if (o.contains("links"))
      for (const auto& e : o.at("links")) r.links.push_back({nameOf(e), textOf(e, "target")});
    for (const auto& e : o.at("files")) r.files.push_back(fileOf(e));
    if (o.contains("aside"))
      for (const auto& e : o.at("aside")) r.aside.push_back({nameOf(e), textOf(e, "aside")});
    if (o.contains("kept"))
      for (const auto& e : o.at("kept")) r.kept.push_back({nameOf(e), e.at("reason").get<std::string>()});
    for (const auto& e : o.at("menu")) {
      MenuEntry m;
      m.name = nameOf(e);
      m.scope = e.at("scope").get<std::string>();
      m.size = e.at("size").get<uint64_t>();
      m.sha256 = e.at("sha256").get<std::string>();
      if (e.contains("folder")) m.folder = textOf(e, "folder");
      if (!isDigest(m.sha256) || (m.scope != "user" && m.scope != "system"))
        throw std::runtime_error("a menu entry of an unknown scope or without a digest");
      // A menu entry is a file directly in its applications folder.
      if (!staysBelow(m.name) || m.name.find('/') != std::string::npos) {
        problem = "it names a menu entry outside its applications folder: " + json_text::asUtf8(m.name);
        if (outside) *outside = true;
        return false;
      }
      if (e.contains("files"))
        for (const auto& f : e.at("files")) {
          DesktopFile d{f.at("name").get<std::string>(), f.at("size").get<uint64_t>(),
                        f.at("sha256").get<std::string>()};
          if (!isDigest(d.sha256)) throw std::runtime_error("a menu entry's file without a digest");
          if (!staysBelow(d.name)) {
            problem = "it names a menu entry's file outside its data folder: " + json_text::asUtf8(d.name);
            if (outside) *outside = true;
            return false;
          }
          m.files.push_back(std::move(d));
        }
      r.menu.push_back(std::move(m));
    }
  } catch (const std::exception& e) {
    problem = std::string("it is damaged: ") + e.what();
    return false;
  }
  auto leaves = [&](const std::string& name) {
    problem = "it names something outside the destination: " + json_text::asUtf8(name);
    if (outside) *outside = true;
    return false;
  };
  for (const auto& f : r.files)
    if (!staysBelow(f.name)) return leaves(f.name);
  for (const auto& f : r.folders)
    if (!staysBelow(f)) return leaves(f);
  for (const auto& l : r.links)
    if (!staysBelow(l.name)) return leaves(l.name);
  for (const auto& a : r.aside)
    if (!staysBelow(a.name) || !staysBelow(a.aside)) return leaves(staysBelow(a.name) ? a.aside : a.name);
  for (const auto& k : r.kept)
    if (!staysBelow(k.name)) return leaves(k.name);
  if (r.uninstaller && r.uninstaller->name != kUninstallerName) return leaves(r.uninstaller->name);
  return true;
}

LoadState load(int dirFd, Record& record, std::string& problem, const std::string& name) {
  const int fd = openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT) return LoadState::Missing;
    problem = errno == ELOOP ? "it is a symbolic link" : std::strerror(errno);
    return LoadState::Damaged;
  }
  struct stat st {};
  std::string text;
  bool readable = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size < kLargestRecord;
  if (readable) {
    text.resize(size_t(st.st_size));
    size_t done = 0;
    while (done < text.size()) {
      const ssize_t n = read(fd, text.data() + done, text.size() - done);
      if (n <= 0) break;
      done += size_t(n);
    }
    readable = done == text.size();
  }
  close(fd);
  if (!readable) {
    problem = "it is no regular file of a record's size, or cannot be read";
    return LoadState::Damaged;
  }
  bool outside = false;
  if (fromJson(text, record, problem, &outside)) return LoadState::Loaded;
  return outside ? LoadState::Outside : LoadState::Damaged;
}

bool store(int dirFd, const Record& record, std::string& problem, const std::string& name) {
  return storeText(dirFd, toJson(record), problem, name);
}

bool storeText(int dirFd, const std::string& text, std::string& problem, const std::string& name) {
  static thread_local std::minstd_rand random(std::random_device{}());
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temporary = ".~" + name + "." + std::to_string(random() % 1000000);
    fd = openat(dirFd, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    problem = std::strerror(errno);
    return false;
  }
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n <= 0) break;
    done += size_t(n);
  }
  const bool written = done == text.size() && fsync(fd) == 0;
  const int writeErrno = errno;
  close(fd);
  if (!written || renameat(dirFd, temporary.c_str(), dirFd, name.c_str()) != 0) {
    problem = std::strerror(written ? errno : writeErrno);
    unlinkat(dirFd, temporary.c_str(), 0);
    return false;
  }
  fsync(dirFd);
  return true;
}

bool remove(int dirFd, const std::string& name) { return unlinkat(dirFd, name.c_str(), 0) == 0 || errno == ENOENT; }

}  // namespace install_record
