#include "install/menu_entry.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "common/file_digest.h"
#include "install/json_text.h"
#include "platform/ini.h"

extern char** environ;

namespace menu_entry {

namespace {

constexpr const char* kSection = "Menu";
constexpr const char* kSystemFolder = "/usr/local/share/applications";

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
    if (c == '\\') out += "\\\\";
    else if (c == ' ' && out.empty()) out += "\\s";
    else out += c;
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

}  // namespace

Settings fromIni(const std::string& text) {
  auto read = [&](const char* key) { return platform::profileStringFromText(kSection, key, "", text); };
  Settings s;
  s.name = read("Name");
  s.exec = read("Exec");
  s.icon = read("Icon");
  s.comment = read("Comment");
  s.categories = read("Categories");
  s.terminal = yes(read("Terminal"));
  return s;
}

std::string problemOf(const Settings& s) {
  if (s.name.empty()) return "[Menu] has no Name";
  if (s.exec.empty()) return "[Menu] has no Exec";
  for (const std::string* text : {&s.name, &s.exec, &s.icon, &s.comment, &s.categories})
    if (hasControl(*text) || !json_text::isUtf8(*text)) return "[Menu] holds a control character or text that is not UTF-8";
  if (!install_record::staysBelow(normalised(s.exec))) return "[Menu] Exec is no program below the destination: " + s.exec;
  if (!s.icon.empty() && !install_record::staysBelow(normalised(s.icon)))
    return "[Menu] Icon is no image below the destination: " + s.icon;
  return {};
}

std::string entryText(const Settings& s, const std::string& dest, std::string& problem) {
  if (!json_text::isUtf8(dest) || hasControl(dest)) {
    problem = "the destination's name is not UTF-8 text, which a menu entry needs";
    return {};
  }
  std::string categories = s.categories;
  if (!categories.empty() && categories.back() != ';') categories += ';';
  std::string text = "[Desktop Entry]\nType=Application\nVersion=1.0\n";
  text += "Name=" + escaped(s.name) + "\n";
  if (!s.comment.empty()) text += "Comment=" + escaped(s.comment) + "\n";
  text += "Exec=" + execArgument(below(dest, s.exec)) + "\n";
  text += "Path=" + escaped(dest) + "\n";
  if (!s.icon.empty()) text += "Icon=" + escaped(below(dest, s.icon)) + "\n";
  if (!categories.empty()) text += "Categories=" + escaped(categories) + "\n";
  text += std::string("Terminal=") + (s.terminal ? "true" : "false") + "\n";
  return text;
}

std::string fileName(const Settings& s, const std::string& dest) {
  std::string stem;
  for (char c : s.name) {
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) stem += c;
    else if (c >= 'A' && c <= 'Z') stem += char(c - 'A' + 'a');
    else if (!stem.empty() && stem.back() != '-') stem += '-';
  }
  while (!stem.empty() && stem.back() == '-') stem.pop_back();
  if (stem.size() > 40) stem.resize(40);
  TSha256 digest;
  digest.update(dest.data(), dest.size());
  return "setup-" + (stem.empty() ? std::string("program") : stem) + "-" + digest.finishHex().substr(0, 8) + ".desktop";
}

std::string scopeOfProcess() { return geteuid() == 0 ? "system" : "user"; }

std::string applicationsFolder(const std::string& scope) {
  if (scope == "system") return kSystemFolder;
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data && data[0] == '/') return std::string(data) + "/applications";
  const std::string home = homeFolder();
  return home.empty() ? std::string() : home + "/.local/share/applications";
}

bool write(const Settings& s, const std::string& dest, install_record::MenuEntry& entry, std::string& problem) {
  const std::string text = entryText(s, dest, problem);
  if (text.empty()) return false;
  entry.scope = scopeOfProcess();
  entry.name = fileName(s, dest);
  const std::string folder = applicationsFolder(entry.scope);
  // A user's folder depends on the user's environment: kept, so that the
  // entry is found again whoever removes the installation.
  if (entry.scope == "user") entry.folder = folder;
  if (folder.empty() || !makeFolders(folder)) {
    problem = "cannot make the applications folder " + folder + ": " + std::strerror(errno);
    return false;
  }
  const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) {
    problem = folder + ": " + std::strerror(errno);
    return false;
  }
  const std::string temporary = ".~" + entry.name + "." + std::to_string(getpid());
  const int fd = openat(dir, temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  bool ok = fd >= 0 && ::write(fd, text.data(), text.size()) == ssize_t(text.size()) && fchmod(fd, 0644) == 0;
  if (fd >= 0) close(fd);
  ok = ok && renameat(dir, temporary.c_str(), dir, entry.name.c_str()) == 0;
  if (!ok) {
    problem = folder + "/" + entry.name + ": " + std::strerror(errno);
    unlinkat(dir, temporary.c_str(), 0);
  }
  close(dir);
  if (!ok) return false;
  TSha256 digest;
  digest.update(text.data(), text.size());
  entry.sha256 = digest.finishHex();
  entry.size = text.size();
  refreshDatabase(folder);
  return true;
}

Removal remove(const install_record::MenuEntry& entry, std::string& problem) {
  // Only a name this program gives its entries: a record never makes
  // another program's entry go.
  const std::string prefix = "setup-", suffix = ".desktop";
  if (entry.name.size() <= prefix.size() + suffix.size() || entry.name.compare(0, prefix.size(), prefix) != 0 ||
      entry.name.compare(entry.name.size() - suffix.size(), suffix.size(), suffix) != 0)
    return Removal::Changed;
  const std::string folder =
      entry.scope == "user" && !entry.folder.empty() && entry.folder[0] == '/' ? entry.folder : applicationsFolder(entry.scope);
  const int dir = folder.empty() ? -1 : open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) {
    if (errno == ENOENT) return Removal::Missing;
    problem = folder + ": " + std::strerror(errno);
    return Removal::Failed;
  }
  Removal result = Removal::Failed;
  const int fd = openat(dir, entry.name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  struct stat st {};
  std::string sha;
  uint64_t size = 0;
  if (fd < 0 && errno == ENOENT) {
    result = Removal::Missing;
  } else if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !digestOfDescriptor(fd, sha, size)) {
    result = Removal::Changed;
  } else if (sha != entry.sha256 || size != entry.size) {
    result = Removal::Changed;
  } else if (unlinkat(dir, entry.name.c_str(), 0) == 0) {
    result = Removal::Removed;
  } else {
    problem = folder + "/" + entry.name + ": " + std::strerror(errno);
  }
  if (fd >= 0) close(fd);
  close(dir);
  if (result == Removal::Removed) refreshDatabase(folder);
  return result;
}

void refreshDatabase(const std::string& folder) {
  // Looked for in the system's folders only, never along an inherited PATH
  // (a root installation may carry a user's); without it the menu reads the
  // folder itself.
  const std::string searched = "/usr/bin:/bin:/usr/local/bin";
  std::string program;
  for (size_t start = 0; start <= searched.size();) {
    size_t end = std::min(searched.find(':', start), searched.size());
    const std::string dir = searched.substr(start, end - start);
    if (!dir.empty() && dir[0] == '/' && access((dir + "/update-desktop-database").c_str(), X_OK) == 0) {
      program = dir + "/update-desktop-database";
      break;
    }
    start = end + 1;
  }
  if (program.empty()) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  char* argv[] = {program.data(), const_cast<char*>("-q"), const_cast<char*>(folder.c_str()), nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ) == 0) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  posix_spawn_file_actions_destroy(&actions);
}

}  // namespace menu_entry
