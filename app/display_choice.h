#pragma once
// Which windowing system the program opens its windows on, chosen before Qt
// starts: Wayland where the session has a Wayland display (WAYLAND_DISPLAY),
// with X11 as the fallback when DISPLAY is set too; X11 with DISPLAY alone.
// With neither, or when no platform plugin can start, the program says so
// and ends with status 1 instead of Qt's abort (a core dump).
#include <string>
#include <vector>

namespace startup {

struct PlatformChoice {
  std::string platform;  // the value for QT_QPA_PLATFORM ("wayland;xcb"); empty with a problem
  std::string problem;   // why no window can be opened
  std::string ignored;   // a QT_QPA_PLATFORM value that named no carried platform
};

// `requested` is QT_QPA_PLATFORM (null when unset): a list separated by ';'
// of platform names, each optionally followed by ":options". `carried` are
// the platform names the bundled runtime holds; empty for the system's Qt,
// which may start any of its own.
PlatformChoice choosePlatform(const char* requested, const char* waylandDisplay, const char* x11Display,
                              const std::vector<std::string>& carried);

// The platform names of the plugins in `pluginFolder`/platforms that the
// program knows (libqxcb.so: xcb, libqwayland-generic.so: wayland).
std::vector<std::string> carriedPlatforms(const std::string& pluginFolder);

// Chooses as above from this process's environment and sets QT_QPA_PLATFORM,
// or prints the problem and ends the process with status 1. `program` is
// named in the hint for installing without a display, when `launched`
// (started by the launcher, which has that option).
void chooseDisplay(const std::vector<std::string>& carried, const std::string& program, bool launched);

// While an object of this type lives (around the making of the application
// object), a fatal message from Qt (no platform plugin could start) ends the
// process with status 1 and a message of ours, not with an abort.
class PlatformStartGuard {
 public:
  PlatformStartGuard(const std::string& program, bool launched);
  ~PlatformStartGuard();
  PlatformStartGuard(const PlatformStartGuard&) = delete;
  PlatformStartGuard& operator=(const PlatformStartGuard&) = delete;
};

}  // namespace startup
