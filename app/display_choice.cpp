#include "app/display_choice.h"

#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;

namespace startup {

namespace {

struct KnownPlatform {
  const char* file;  // in plugins/platforms
  const char* name;  // the name QT_QPA_PLATFORM gives it
};
const KnownPlatform kKnownPlatforms[] = {{"libqxcb.so", "xcb"}, {"libqwayland-generic.so", "wayland"}};

bool isSet(const char* value) { return value && *value; }

bool carries(const std::vector<std::string>& carried, const std::string& name) {
  if (carried.empty()) return true;  // the system's Qt: any of its plugins
  for (const auto& c : carried)
    if (c == name) return true;
  return false;
}

// The entries of `requested` whose platform is carried, joined again.
std::string carriedEntries(const std::string& requested, const std::vector<std::string>& carried) {
  std::string kept;
  std::stringstream entries(requested);
  std::string entry;
  while (std::getline(entries, entry, ';')) {
    const std::string name = entry.substr(0, entry.find(':'));
    if (name.empty() || !carries(carried, name)) continue;
    kept += (kept.empty() ? "" : ";") + entry;
  }
  return kept;
}

std::string gProgram;
bool gLaunched = false;
QtMessageHandler gPrevious = nullptr;

std::string withoutDisplayHint() {
  return gLaunched ? "\n  to install without a display: " + gProgram + " --unattended --dest DIR" : std::string();
}

void fatalEndsQuietly(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type != QtFatalMsg) {
    if (gPrevious)
      gPrevious(type, context, text);
    else
      std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    return;
  }
  // Qt's own text suggests reinstalling, which does not help here.
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const char* x11 = std::getenv("DISPLAY");
  std::fprintf(stderr,
               "setup: no window can be opened: no platform could start (QT_QPA_PLATFORM=%s, WAYLAND_DISPLAY=%s, "
               "DISPLAY=%s)%s\n",
               isSet(std::getenv("QT_QPA_PLATFORM")) ? std::getenv("QT_QPA_PLATFORM") : "",
               isSet(wayland) ? wayland : "", isSet(x11) ? x11 : "", withoutDisplayHint().c_str());
  std::fflush(stderr);
  // Nothing of the half-made application is torn down: the waiting parent
  // removes the private folder.
  std::_Exit(1);
}

}  // namespace

PlatformChoice choosePlatform(const char* requested, const char* waylandDisplay, const char* x11Display,
                              const std::vector<std::string>& carried) {
  PlatformChoice choice;
  if (isSet(requested)) {
    choice.platform = carriedEntries(requested, carried);
    if (!choice.platform.empty()) return choice;
    choice.ignored = requested;
  }
  const bool wayland = isSet(waylandDisplay) && carries(carried, "wayland");
  const bool x11 = isSet(x11Display) && carries(carried, "xcb");
  if (wayland && x11)
    choice.platform = "wayland;xcb";
  else if (wayland)
    choice.platform = "wayland";
  else if (x11)
    choice.platform = "xcb";
  else
    choice.problem = "no display to open a window on (neither WAYLAND_DISPLAY nor DISPLAY is set)";
  return choice;
}

std::vector<std::string> carriedPlatforms(const std::string& pluginFolder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const KnownPlatform& p : kKnownPlatforms)
    if (fs::is_regular_file(fs::path(pluginFolder) / "platforms" / p.file, ec)) names.push_back(p.name);
  return names;
}

void chooseDisplay(const std::vector<std::string>& carried, const std::string& program, bool launched) {
  gProgram = program;
  gLaunched = launched;
  PlatformChoice choice =
      choosePlatform(std::getenv("QT_QPA_PLATFORM"), std::getenv("WAYLAND_DISPLAY"), std::getenv("DISPLAY"), carried);
  if (!choice.ignored.empty())
    std::fprintf(stderr, "setup: QT_QPA_PLATFORM=%s names no platform this program carries: ignored\n",
                 choice.ignored.c_str());
  if (!choice.problem.empty()) {
    std::fprintf(stderr, "setup: %s%s\n", choice.problem.c_str(), withoutDisplayHint().c_str());
    std::exit(1);
  }
  setenv("QT_QPA_PLATFORM", choice.platform.c_str(), 1);
}

PlatformStartGuard::PlatformStartGuard(const std::string& program, bool launched) {
  gProgram = program;
  gLaunched = launched;
  gPrevious = qInstallMessageHandler(fatalEndsQuietly);
}

PlatformStartGuard::~PlatformStartGuard() { qInstallMessageHandler(gPrevious); }

}  // namespace startup
