#include "app/launcher/refusal_window.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/code_environment.h"

extern char** environ;

namespace launcher {

namespace {

constexpr const char* kTitle = "Setup";

bool set(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

// A program of the system: a regular file in a system folder, owned by root
// and changeable by nobody else, that may be run.
bool systemProgram(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == 0 && (st.st_mode & 022) == 0 &&
         access(path.c_str(), X_OK) == 0;
}

std::string find(const char* name, bool (*exists)(const std::string&)) {
  for (const char* folder : {"/usr/bin", "/bin"}) {
    std::string path = std::string(folder) + "/" + name;
    if (exists(path)) return path;
  }
  return {};
}

bool onDesktop(const char* name) {
  const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
  return desktop && std::strstr(desktop, name);
}

// The environment of this process less every variable that would make the
// dialog load code of someone else's choosing (plugin and module folders,
// preloads), as the wizard drops them for itself.
std::vector<std::string> dialogEnvironment() {
  std::vector<std::string> kept;
  for (char** entry = environ; entry && *entry; ++entry) {
    const char* equals = std::strchr(*entry, '=');
    const std::string name = equals ? std::string(*entry, size_t(equals - *entry)) : std::string(*entry);
    if (!startup::loadsCode(name)) kept.emplace_back(*entry);
  }
  return kept;
}

// The text in lines of at most `width` characters, broken at blanks (a
// longer word keeps its own line): xmessage shows lines as they are.
std::string wrapped(const std::string& text, size_t width) {
  std::string out, line, word;
  auto endWord = [&] {
    if (word.empty()) return;
    if (!line.empty() && line.size() + 1 + word.size() > width) {
      out += line + "\n";
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
    word.clear();
  };
  for (char c : text) {
    if (c == ' ') {
      endWord();
    } else if (c == '\n') {
      endWord();
      out += line + "\n";
      line.clear();
    } else {
      word += c;
    }
  }
  endWord();
  return out + line;
}

}  // namespace

bool refusalsInWindow() {
  return (set("DISPLAY") || set("WAYLAND_DISPLAY")) && !isatty(STDIN_FILENO) && !isatty(STDERR_FILENO);
}

std::vector<std::string> dialogCommand(const std::string& title, const std::string& text,
                                       bool (*exists)(const std::string&)) {
  if (!exists) exists = systemProgram;
  const std::string zenity = find("zenity", exists), kdialog = find("kdialog", exists);
  const std::string xmessage = set("DISPLAY") ? find("xmessage", exists) : std::string();
  // The desktop's own toolkit first: kdialog on KDE, zenity elsewhere;
  // xmessage (X11 only) where neither is installed.
  std::vector<std::string> order = onDesktop("KDE") ? std::vector<std::string>{kdialog, zenity, xmessage}
                                                    : std::vector<std::string>{zenity, kdialog, xmessage};
  for (const std::string& program : order) {
    if (program.empty()) continue;
    if (program == zenity) return {program, "--error", "--no-markup", "--title", title, "--text", text};
    if (program == kdialog) return {program, "--title", title, "--error", text};
    return {program, "-center", "-title", title, "-buttons", "OK:0", "-default", "OK", wrapped(text, 72)};
  }
  return {};
}

void tellRefusal(const Refusal& refusal) {
  std::fprintf(stderr, "setup: %s\n", refusal.what.c_str());
  if (!refusal.todo.empty()) std::fprintf(stderr, "setup: %s\n", refusal.todo.c_str());
  if (!refusalsInWindow()) return;
  std::vector<std::string> args = dialogCommand(kTitle, refusal.what + "\n\n" + refusal.todo);
  if (args.empty()) {
    std::fprintf(stderr, "setup: no dialog program (zenity, kdialog, xmessage) to show this in a window\n");
    return;
  }
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> variables = dialogEnvironment();
  std::vector<char*> envp;
  for (auto& v : variables) envp.push_back(v.data());
  envp.push_back(nullptr);
  // Its own chatter (toolkit warnings) is not the launcher's message.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  posix_spawn_file_actions_destroy(&actions);
}

}  // namespace launcher
