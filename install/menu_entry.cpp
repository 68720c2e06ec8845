#include "install/menu_entry.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <set>

#include "common/file_digest.h"
#include "install/json_text.h"
#include "platform/ini.h"

extern char** environ;

namespace menu_entry {

namespace {

constexpr const char* kSection = "Menu";
constexpr const char* kSystemDataFolder = "/usr/local/share";
constexpr const char* kIconFolder = "icons/hicolor";
constexpr const char* kMimePackages = "mime/packages";
constexpr int64_t kLargestIcon = 8 << 20;

// The menu's categories a desktop entry may name: the registered main and
// additional ones. Screensaver, TrayIcon, Applet and Shell are reserved for
// entries shown in one desktop only, which an installer's entry is not.
const std::set<std::string>& registeredCategories() {
  static const std::set<std::string> names = {
      // main
      "AudioVideo", "Audio", "Video", "Development", "Education", "Game", "Graphics", "Network", "Office", "Science",
      "Settings", "System", "Utility",
      // additional
      "Building", "Debugger", "IDE", "GUIDesigner", "Profiling", "RevisionControl", "Translation", "Calendar",
      "ContactManagement", "Database", "Dictionary", "Chart", "Email", "Finance", "FlowChart", "PDA",
      "ProjectManagement", "Presentation", "Spreadsheet", "WordProcessor", "2DGraphics", "VectorGraphics",
      "RasterGraphics", "3DGraphics", "Scanning", "OCR", "Photography", "Publishing", "Viewer", "TextTools",
      "DesktopSettings", "HardwareSettings", "Printing", "PackageManager", "Dialup", "InstantMessaging", "Chat",
      "IRCClient", "Feed", "FileTransfer", "HamRadio", "News", "P2P", "RemoteAccess", "Telephony", "TelephonyTools",
      "VideoConference", "WebBrowser", "WebDevelopment", "Midi", "Mixer", "Sequencer", "Tuner", "TV",
      "AudioVideoEditing", "Player", "Recorder", "DiscBurning", "ActionGame", "AdventureGame", "ArcadeGame",
      "BoardGame", "BlocksGame", "CardGame", "KidsGame", "LogicGame", "RolePlaying", "Shooter", "Simulation",
      "SportsGame", "StrategyGame", "Art", "Construction", "Music", "Languages", "ArtificialIntelligence", "Astronomy",
      "Biology", "Chemistry", "ComputerScience", "DataVisualization", "Economy", "Electricity", "Geography", "Geology",
      "Geoscience", "History", "Humanities", "ImageProcessing", "Literature", "Maps", "Math", "NumericalAnalysis",
      "MedicalSoftware", "Physics", "Robotics", "Spirituality", "Sports", "ParallelComputing", "Amusement", "Archiving",
      "Compression", "Electronics", "Emulator", "Engineering", "FileTools", "FileManager", "TerminalEmulator",
      "Filesystem", "Monitor", "Security", "Accessibility", "Calculator", "Clock", "TextEditor", "Documentation",
      "Adult", "Core", "KDE", "GNOME", "XFCE", "DDE", "GTK", "Qt", "Motif", "Java", "ConsoleOnly"};
  return names;
}

// The top-level media types a desktop's MIME database knows.
bool knownTopLevelType(const std::string& top) {
  static const std::set<std::string> tops = {"application", "audio",     "font", "image", "inode",    "message",
                                             "model",       "multipart", "text", "video", "x-content"};
  return tops.count(top) > 0;
}

// A media type's name: letters, digits and !#$&-^_.+ (RFC 6838), starting
// with a letter or digit.
bool typeName(const std::string& s) {
  if (s.empty() || s.size() > 127 || !std::isalnum((unsigned char)s[0])) return false;
  for (unsigned char c : s)
    if (!std::isalnum(c) && !std::strchr("!#$&-^_.+", c)) return false;
  return true;
}

// The hicolor theme's fixed sizes, each a folder SIZExSIZE.
bool hicolorSize(int size) {
  for (int s : {16, 22, 24, 32, 36, 48, 64, 72, 96, 128, 192, 256, 512})
    if (s == size) return true;
  return false;
}

std::string xmlEscaped(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '&')
      out += "&amp;";
    else if (c == '<')
      out += "&lt;";
    else if (c == '>')
      out += "&gt;";
    else if (c == '"')
      out += "&quot;";
    else
      out += c;
  }
  return out;
}

bool hasControl(const std::string& s) {
  for (unsigned char c : s)
    if (c < 0x20 || c == 0x7F) return true;
  return false;
}

// A value of a string key: backslash escaped, and a leading space written
// as \s, since readers skip the blanks after "=" (control characters are
// refused before an entry is written).
std::string escaped(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\\')
      out += "\\\\";
    else if (c == ' ' && out.empty())
      out += "\\s";
    else
      out += c;
  }
  return out;
}

// A program path as one quoted argument of Exec: inside the quotes ", `, $
// and \ take a backslash; a % is doubled (field codes). The value is then
// escaped as every string value is, which doubles the backslashes again.
std::string execArgument(const std::string& path) {
  std::string quoted = "\"";
  for (char c : path) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    if (c == '%') quoted += '%';
    quoted += c;
  }
  quoted += '"';
  return escaped(quoted);
}

// The host path of a name below the destination given in SETUP.INS ("bin\app"
// or "bin/app").
std::string below(const std::string& dest, const std::string& name) {
  std::string relative = name;
  for (char& c : relative)
    if (c == '\\') c = '/';
  return dest + (dest.empty() || dest.back() != '/' ? "/" : "") + relative;
}

std::string normalised(const std::string& name) {
  std::string relative = name;
  for (char& c : relative)
    if (c == '\\') c = '/';
  return relative;
}

bool yes(const std::string& v) {
  return v == "1" || v == "true" || v == "True" || v == "TRUE" || v == "yes" || v == "Yes";
}

// $HOME when it is absolute. No name service is asked: the launcher, which
// installs too, is linked statically and uses none.
std::string homeFolder() {
  const char* home = std::getenv("HOME");
  return home && home[0] == '/' ? std::string(home) : std::string();
}

bool makeFolders(const std::string& path) {
  for (size_t slash = 1; slash <= path.size(); ++slash) {
    if (slash != path.size() && path[slash] != '/') continue;
    const std::string part = path.substr(0, slash);
    if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The program `name` in the system's folders, never along an inherited PATH
// (a root installation may carry a user's); empty when it is not installed.
std::string systemProgram(const char* name) {
  for (const char* dir : {"/usr/bin", "/bin", "/usr/local/bin"}) {
    std::string path = std::string(dir) + "/" + name;
    if (access(path.c_str(), X_OK) == 0) return path;
  }
  return {};
}

// Runs a database tool of the system on `folder`, output discarded, and
// waits for it; nothing when the tool is not installed (the desktop reads
// the folders itself then).
void runTool(const char* name, const std::vector<std::string>& options, const std::string& folder) {
  std::string program = systemProgram(name);
  if (program.empty()) return;
  std::vector<std::string> args{program};
  args.insert(args.end(), options.begin(), options.end());
  args.push_back(folder);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  posix_spawn_file_actions_destroy(&actions);
}

// Writes `bytes` as `folder`/`name` by replacement (a temporary name, then a
// rename), mode 0644, making the folder when missing. Empty, or the problem.
std::string replaceFile(const std::string& folder, const std::string& name, const std::string& bytes) {
  if (folder.empty() || !makeFolders(folder)) return "cannot make the folder " + folder + ": " + std::strerror(errno);
  const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return folder + ": " + std::strerror(errno);
  const std::string temporary = ".~" + name + "." + std::to_string(getpid());
  const int fd = openat(dir, temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  bool ok = fd >= 0 && ::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size()) && fchmod(fd, 0644) == 0;
  if (fd >= 0) close(fd);
  ok = ok && renameat(dir, temporary.c_str(), dir, name.c_str()) == 0;
  std::string problem;
  if (!ok) {
    problem = folder + "/" + name + ": " + std::strerror(errno);
    unlinkat(dir, temporary.c_str(), 0);
  }
  close(dir);
  return problem;
}

// The bytes of a regular file, read without following a link at its name;
// false when it is none or larger than `limit`.
bool readSmallFile(const std::string& path, int64_t limit, std::string& bytes) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  struct stat st {};
  if (fd < 0) return false;
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= limit;
  if (ok) {
    bytes.assign(size_t(st.st_size), '\0');
    size_t done = 0;
    while (ok && done < bytes.size()) {
      const ssize_t n = read(fd, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      ok = n > 0;
      if (ok) done += size_t(n);
    }
  }
  close(fd);
  return ok;
}

install_record::DesktopFile recorded(const std::string& name, const std::string& bytes) {
  TSha256 digest;
  digest.update(bytes.data(), bytes.size());
  return {name, bytes.size(), digest.finishHex()};
}

// The shared MIME package that declares the entry's file types.
std::string mimePackage(const Settings& s) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n";
  std::vector<std::string> types;
  for (const FileType& t : s.fileTypes)
    if (std::find(types.begin(), types.end(), t.type) == types.end()) types.push_back(t.type);
  for (const std::string& type : types) {
    xml += "  <mime-type type=\"" + type + "\">\n    <comment>" + xmlEscaped(s.name) + " file</comment>\n";
    for (const FileType& t : s.fileTypes)
      if (t.type == type) xml += "    <glob pattern=\"" + xmlEscaped(t.glob) + "\"/>\n";
    xml += "  </mime-type>\n";
  }
  return xml + "</mime-info>\n";
}

std::string stemOf(const std::string& entryName) {
  const std::string suffix = ".desktop";
  return entryName.size() > suffix.size() ? entryName.substr(0, entryName.size() - suffix.size()) : entryName;
}

}  // namespace

bool parseFileType(const std::string& text, FileType& t, std::string& problem) {
  const size_t equals = text.find('=');
  const std::string type = equals == std::string::npos ? text : text.substr(0, equals);
  const std::string glob = equals == std::string::npos ? std::string() : text.substr(equals + 1);
  const size_t slash = type.find('/');
  if (equals == std::string::npos || slash == std::string::npos || !knownTopLevelType(type.substr(0, slash)) ||
      !typeName(type.substr(slash + 1))) {
    problem = "a file type is TYPE=GLOB with TYPE a MIME type (application/x-demo-sheet=*.dsh): " + text;
    return false;
  }
  bool plain = !glob.empty() && glob.size() <= 64;
  for (unsigned char c : glob)
    if (c <= ' ' || c >= 0x7F || std::strchr(";=/\\<>&\"'", c)) plain = false;
  if (!plain) {
    problem =
        "a file type's pattern is a file name pattern of printable characters without blanks, ; = / \\ < > & \" ': " +
        text;
    return false;
  }
  t = {type, glob};
  return true;
}

std::string fileTypesValue(const std::vector<FileType>& types) {
  std::string value;
  for (const FileType& t : types) value += (value.empty() ? "" : ";") + t.type + "=" + t.glob;
  return value;
}

std::string categoriesProblem(const std::string& categories) {
  std::set<std::string> names;
  for (size_t start = 0; start < categories.size();) {
    const size_t end = std::min(categories.find(';', start), categories.size());
    const std::string name = categories.substr(start, end - start);
    start = end + 1;
    if (name.empty()) continue;
    if (name.rfind("X-", 0) != 0 && !registeredCategories().count(name))
      return "\"" + name + "\" is no registered menu category (or a private one, X-...)";
    names.insert(name);
  }
  for (const char* media : {"Audio", "Video"})
    if (names.count(media) && !names.count("AudioVideo")) return std::string(media) + " goes with AudioVideo";
  return {};
}

std::string iconKind(const std::string& bytes, int& size) {
  size = 0;
  static const std::string kPng("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
  if (bytes.size() >= 24 && bytes.compare(0, kPng.size(), kPng) == 0) {
    auto be32 = [&](size_t at) {
      return uint32_t((unsigned char)bytes[at]) << 24 | uint32_t((unsigned char)bytes[at + 1]) << 16 |
             uint32_t((unsigned char)bytes[at + 2]) << 8 | uint32_t((unsigned char)bytes[at + 3]);
    };
    const uint32_t width = be32(16), height = be32(20);
    if (width != height || !hicolorSize(int(width))) return {};
    size = int(width);
    return "png";
  }
  // SVG: XML text whose first element is <svg (a declaration, comments and a
  // doctype may come first).
  const size_t head = std::min<size_t>(bytes.size(), 4096);
  const std::string start = bytes.substr(0, head);
  const size_t svg = start.find("<svg");
  if (svg == std::string::npos) return {};
  for (size_t at = start.find('<'); at != std::string::npos && at < svg; at = start.find('<', at + 1)) {
    const char next = at + 1 < start.size() ? start[at + 1] : '\0';
    if (next != '?' && next != '!') return {};
    at = start.find('>', at);
    if (at == std::string::npos) return {};
  }
  return "svg";
}

Settings fromIni(const std::string& text) {
  auto read = [&](const char* key) { return platform::profileStringFromText(kSection, key, "", text); };
  Settings s;
  s.name = read("Name");
  s.exec = read("Exec");
  s.icon = read("Icon");
  s.comment = read("Comment");
  s.categories = read("Categories");
  s.terminal = yes(read("Terminal"));
  const std::string types = read("FileTypes");
  for (size_t start = 0; start < types.size();) {
    const size_t end = std::min(types.find(';', start), types.size());
    FileType t;
    std::string ignored;
    // A type that cannot be one is left out here and named by problemOf.
    if (parseFileType(types.substr(start, end - start), t, ignored))
      s.fileTypes.push_back(t);
    else
      s.fileTypes.push_back({types.substr(start, end - start), {}});
    start = end + 1;
  }
  return s;
}

std::string problemOf(const Settings& s) {
  if (s.name.empty()) return "[Menu] has no Name";
  if (s.exec.empty()) return "[Menu] has no Exec";
  for (const std::string* text : {&s.name, &s.exec, &s.icon, &s.comment, &s.categories})
    if (hasControl(*text) || !json_text::isUtf8(*text))
      return "[Menu] holds a control character or text that is not UTF-8";
  if (!install_record::staysBelow(normalised(s.exec)))
    return "[Menu] Exec is no program below the destination: " + s.exec;
  if (!s.icon.empty() && !install_record::staysBelow(normalised(s.icon)))
    return "[Menu] Icon is no image below the destination: " + s.icon;
  if (std::string problem = categoriesProblem(s.categories); !problem.empty()) return "[Menu] Categories: " + problem;
  for (const FileType& t : s.fileTypes) {
    FileType checked;
    std::string problem;
    if (!parseFileType(t.type + "=" + t.glob, checked, problem)) return "[Menu] FileTypes: " + problem;
  }
  return {};
}

std::string entryText(const Settings& s, const std::string& dest, std::string& problem, const std::string& iconName) {
  if (!json_text::isUtf8(dest) || hasControl(dest)) {
    problem = "the destination's name is not UTF-8 text, which a menu entry needs";
    return {};
  }
  std::string categories = s.categories;
  if (!categories.empty() && categories.back() != ';') categories += ';';
  std::string text = "[Desktop Entry]\nType=Application\nVersion=1.0\n";
  text += "Name=" + escaped(s.name) + "\n";
  if (!s.comment.empty()) text += "Comment=" + escaped(s.comment) + "\n";
  // With file types the program is given the files it is asked to open.
  text += "Exec=" + execArgument(below(dest, s.exec)) + (s.fileTypes.empty() ? "" : " %F") + "\n";
  text += "Path=" + escaped(dest) + "\n";
  if (!iconName.empty())
    text += "Icon=" + escaped(iconName) + "\n";
  else if (!s.icon.empty())
    text += "Icon=" + escaped(below(dest, s.icon)) + "\n";
  if (!categories.empty()) text += "Categories=" + escaped(categories) + "\n";
  if (!s.fileTypes.empty()) {
    std::string types;
    for (const FileType& t : s.fileTypes)
      if (types.find(t.type + ";") != 0 && types.find(";" + t.type + ";") == std::string::npos) types += t.type + ";";
    text += "MimeType=" + types + "\n";
  }
  text += std::string("Terminal=") + (s.terminal ? "true" : "false") + "\n";
  return text;
}

std::string fileName(const Settings& s, const std::string& dest) {
  std::string stem;
  for (char c : s.name) {
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
      stem += c;
    else if (c >= 'A' && c <= 'Z')
      stem += char(c - 'A' + 'a');
    else if (!stem.empty() && stem.back() != '-')
      stem += '-';
  }
  while (!stem.empty() && stem.back() == '-') stem.pop_back();
  if (stem.size() > 40) stem.resize(40);
  TSha256 digest;
  digest.update(dest.data(), dest.size());
  return "setup-" + (stem.empty() ? std::string("program") : stem) + "-" + digest.finishHex().substr(0, 8) + ".desktop";
}

std::string scopeOfProcess() { return geteuid() == 0 ? "system" : "user"; }

std::string dataFolder(const std::string& scope) {
  if (scope == "system") return kSystemDataFolder;
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data && data[0] == '/') return data;
  const std::string home = homeFolder();
  return home.empty() ? std::string() : home + "/.local/share";
}

std::string applicationsFolder(const std::string& scope) {
  const std::string data = dataFolder(scope);
  return data.empty() ? std::string() : data + "/applications";
}

bool write(const Settings& s, const std::string& dest, install_record::MenuEntry& entry, std::string& problem) {
  // A destination no entry can hold gets no icon or file types either.
  if (entryText(s, dest, problem).empty()) return false;
  entry.scope = scopeOfProcess();
  entry.name = fileName(s, dest);
  entry.files.clear();
  const std::string stem = stemOf(entry.name);
  const std::string data = dataFolder(entry.scope);
  if (data.empty()) {
    problem = "there is no data folder for the menu (HOME is not set)";
    return false;
  }
  // The icon goes into the hicolor theme under the entry's own name, which
  // Icon= then names: a PNG in the folder of its size, an SVG as scalable.
  // Any other image is named by its path, as a menu shows it as it can.
  std::string iconName, iconBytes;
  if (!s.icon.empty() && readSmallFile(below(dest, s.icon), kLargestIcon, iconBytes)) {
    int size = 0;
    const std::string kind = iconKind(iconBytes, size);
    if (!kind.empty()) {
      const std::string sizeFolder =
          kind == "svg" ? std::string("scalable") : std::to_string(size) + "x" + std::to_string(size);
      const std::string folder = std::string(kIconFolder) + "/" + sizeFolder + "/apps";
      const std::string name = stem + "." + kind;
      if (std::string why = replaceFile(data + "/" + folder, name, iconBytes); why.empty()) {
        entry.files.push_back(recorded(folder + "/" + name, iconBytes));
        iconName = stem;
        // A theme's cache is out of date once its folder is newer.
        utimensat(AT_FDCWD, (data + "/" + kIconFolder).c_str(), nullptr, 0);
      }
    }
  }
  const std::string text = entryText(s, dest, problem, iconName);
  if (text.empty()) return false;
  if (!s.fileTypes.empty()) {
    const std::string package = mimePackage(s);
    if (std::string why = replaceFile(data + "/" + kMimePackages, stem + ".xml", package); !why.empty()) {
      problem = why;
      return false;
    }
    entry.files.push_back(recorded(std::string(kMimePackages) + "/" + stem + ".xml", package));
    refreshMimeDatabase(data + "/mime");
  }
  const std::string folder = applicationsFolder(entry.scope);
  // A user's folder depends on the user's environment: kept, so that the
  // entry is found again whoever removes the installation.
  if (entry.scope == "user") entry.folder = folder;
  if (std::string why = replaceFile(folder, entry.name, text); !why.empty()) {
    problem = why;
    return false;
  }
  const install_record::DesktopFile written = recorded(entry.name, text);
  entry.sha256 = written.sha256;
  entry.size = written.size;
  refreshDatabase(folder);
  return true;
}

namespace {

// Removes `folder`/`name` when it is a regular file of that size and
// SHA-256; a link at the name is never followed.
Removal removeIfUnchanged(const std::string& folder, const std::string& name, uint64_t recordedSize,
                          const std::string& recordedSha, std::string& problem) {
  const int dir = folder.empty() ? -1 : open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) {
    if (errno == ENOENT) return Removal::Missing;
    problem = folder + ": " + std::strerror(errno);
    return Removal::Failed;
  }
  Removal result = Removal::Failed;
  const int fd = openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  struct stat st {};
  std::string sha;
  uint64_t size = 0;
  if (fd < 0 && errno == ENOENT) {
    result = Removal::Missing;
  } else if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !digestOfDescriptor(fd, sha, size) ||
             sha != recordedSha || size != recordedSize) {
    result = Removal::Changed;
  } else if (unlinkat(dir, name.c_str(), 0) == 0) {
    result = Removal::Removed;
  } else {
    problem = folder + "/" + name + ": " + std::strerror(errno);
  }
  if (fd >= 0) close(fd);
  close(dir);
  return result;
}

}  // namespace

Removal remove(const install_record::MenuEntry& entry, std::string& problem,
               const std::function<void(const install_record::DesktopFile&, Removal, const std::string&)>& onFile) {
  // Only a name this program gives its entries: a record never makes
  // another program's entry go.
  const std::string prefix = "setup-", suffix = ".desktop";
  if (entry.name.size() <= prefix.size() + suffix.size() || entry.name.compare(0, prefix.size(), prefix) != 0 ||
      entry.name.compare(entry.name.size() - suffix.size(), suffix.size(), suffix) != 0)
    return Removal::Changed;
  // A user's entry lies in the folder recorded (DATA/applications), its
  // icon and file types in that DATA, whoever removes the installation.
  const bool recordedFolder = entry.scope == "user" && !entry.folder.empty() && entry.folder[0] == '/';
  const std::string folder = recordedFolder ? entry.folder : applicationsFolder(entry.scope);
  const Removal result = removeIfUnchanged(folder, entry.name, entry.size, entry.sha256, problem);
  const std::string applications = "/applications";
  const bool underData = folder.size() > applications.size() &&
                         folder.compare(folder.size() - applications.size(), applications.size(), applications) == 0;
  const std::string data = recordedFolder
                               ? (underData ? folder.substr(0, folder.size() - applications.size()) : std::string())
                               : dataFolder(entry.scope);
  bool mime = false, icon = false;
  for (const install_record::DesktopFile& file : entry.files) {
    // Only the places this program writes to: a record cannot make it
    // remove anything else of the data folder.
    const bool isIcon = file.name.rfind(std::string(kIconFolder) + "/", 0) == 0;
    const bool isMime = file.name.rfind(std::string(kMimePackages) + "/", 0) == 0;
    std::string why;
    Removal removal = Removal::Changed;
    if (!data.empty() && (isIcon || isMime) && install_record::staysBelow(file.name)) {
      const size_t slash = file.name.rfind('/');
      removal = removeIfUnchanged(data + "/" + file.name.substr(0, slash), file.name.substr(slash + 1), file.size,
                                  file.sha256, why);
    } else {
      why = "not a file of the icon theme or the MIME packages";
      removal = Removal::Failed;
    }
    if (removal == Removal::Removed) (isIcon ? icon : mime) = true;
    if (onFile) onFile(file, removal, why);
  }
  if (icon) utimensat(AT_FDCWD, (data + "/" + kIconFolder).c_str(), nullptr, 0);
  if (mime) refreshMimeDatabase(data + "/mime");
  if (result == Removal::Removed || mime) refreshDatabase(folder);
  return result;
}

void refreshDatabase(const std::string& folder) { runTool("update-desktop-database", {"-q"}, folder); }

void refreshMimeDatabase(const std::string& folder) { runTool("update-mime-database", {}, folder); }

}  // namespace menu_entry
