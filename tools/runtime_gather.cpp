#include "tools/runtime_gather.h"

#include <glob.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "common/tool_error.h"
#include "tools/elf_file.h"

namespace fs = std::filesystem;

namespace setupkit {

namespace {

// Plugins a Qt Widgets program loads: the X11 and the Wayland platform
// plugins (the Wayland one draws the windows into shared memory), the
// Wayland shell integration every desktop compositor speaks (xdg-shell), the
// window frames drawn by the program where the compositor draws none, and
// the EGL client buffer integration, without which this Qt draws no frames
// on Wayland (the EGL driver itself is the system's); and the image readers
// for the GIF copy animation and the ICO window icon.
const char* const kQtPlugins[] = {"platforms/libqxcb.so",
                                  "platforms/libqwayland-generic.so",
                                  "wayland-shell-integration/libxdg-shell.so",
                                  "wayland-decoration-client/libbradient.so",
                                  "wayland-graphics-integration-client/libqt-plugin-wayland-egl.so",
                                  "imageformats/libqgif.so",
                                  "imageformats/libqico.so"};

// What Qt speaks to screen readers with (AT-SPI, a D-Bus protocol): its D-Bus
// module and the D-Bus client library. Qt Gui needs the first by name here;
// a Qt built to open the client library at run time would not name it, so
// both are asked for whenever the program uses Qt Gui.
const char* const kAccessibilityLibraries[] = {"libQt6DBus.so.6", "libdbus-1.so.3"};

// The fonts the windows are drawn with: Liberation Sans for Arial, Tahoma and
// MS Sans Serif (regular; bold italic for the title), DejaVu Sans for
// characters Liberation lacks.
const char* const kFonts[] = {"LiberationSans-Regular.ttf", "LiberationSans-BoldItalic.ttf", "DejaVuSans.ttf"};
const char* const kFontDirectories[] = {"/usr/share/fonts", "/usr/local/share/fonts"};

const char* const kLoaderDefaults[] = {
    "/lib/x86_64-linux-gnu", "/usr/lib/x86_64-linux-gnu", "/lib64", "/usr/lib64", "/lib", "/usr/lib"};

void readLdConf(const std::string& file, std::vector<std::string>& dirs, int depth) {
  std::ifstream in(file);
  std::string line;
  while (depth < 8 && std::getline(in, line)) {
    line = line.substr(0, line.find('#'));
    size_t start = line.find_first_not_of(" \t\r");
    if (start == std::string::npos) continue;
    line = line.substr(start, line.find_last_not_of(" \t\r") - start + 1);
    if (line.rfind("include", 0) == 0 && line.size() > 7 && (line[7] == ' ' || line[7] == '\t')) {
      std::string pattern = line.substr(line.find_first_not_of(" \t", 7));
      if (pattern[0] != '/') pattern = (fs::path(file).parent_path() / pattern).string();
      glob_t g{};
      if (::glob(pattern.c_str(), 0, nullptr, &g) == 0)
        for (size_t i = 0; i < g.gl_pathc; ++i) readLdConf(g.gl_pathv[i], dirs, depth + 1);
      globfree(&g);
    } else if (line[0] == '/') {
      dirs.push_back(line);
    }
  }
}

std::string directoryOf(const std::string& path) {
  std::error_code ec;
  fs::path canonical = fs::canonical(path, ec);
  return (ec ? fs::path(path) : canonical).parent_path().string();
}

std::vector<std::string> expandAll(const std::vector<std::string>& entries, const std::string& origin) {
  std::vector<std::string> out;
  for (const auto& e : entries) out.push_back(expandOrigin(e, origin));
  return out;
}

std::string findFont(const std::string& name) {
  std::error_code ec;
  for (const char* root : kFontDirectories) {
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec))
      if (it->path().filename() == name && it->is_regular_file(ec)) return it->path().string();
  }
  return {};
}

// The runtime of `program`, each library named in `substitutes` (by the
// name it is needed by) taken from the file given there instead of the
// system's.
RuntimePlan gatherWith(const std::string& program, const std::vector<std::string>& systemDirectories,
                       const std::map<std::string, std::string>& substitutes) {
  if (!isElfFile(program)) throw ToolError(program + " is not an ELF program: give --runtime system");
  ElfDynamicInfo main = readElfDynamicInfo(program);
  if (!main.x86_64) throw ToolError(program + " is not an x86-64 program");
  if (std::find(main.rpath.begin(), main.rpath.end(), kRuntimeRpath) == main.rpath.end())
    throw ToolError(program + " does not look for its libraries in " + kRuntimeRpath +
                    " (link it with -Wl,--disable-new-dtags,-rpath," + kRuntimeRpath + ")");

  RuntimePlan plan;
  plan.oldestGlibc = "GLIBC_2.2.5";
  for (const auto& v : main.glibcVersions) plan.oldestGlibc = newerGlibcVersion(plan.oldestGlibc, v);
  // The program's RPATH as the loader reads it here: entries that name the
  // medium's runtime do not exist yet, so they find nothing.
  const std::vector<std::string> programRpath = expandAll(main.rpath, directoryOf(program));

  struct Pending {
    std::string name;        // the needed name
    std::string requiredBy;  // host path of the object that needs it
    std::vector<std::string> searchOrder;
  };
  std::deque<Pending> queue;
  std::set<std::string> seen;
  std::string qtCore;
  auto enqueueNeeds = [&](const std::string& path, const ElfDynamicInfo& info) {
    std::string origin = directoryOf(path);
    std::vector<std::string> order = librarySearchOrder(expandAll(info.rpath, origin), expandAll(info.runpath, origin),
                                                        programRpath, systemDirectories);
    for (const auto& n : info.needed)
      if (!isCLibraryObject(n) && seen.insert(n).second) queue.push_back({n, path, order});
  };
  auto addObject = [&](const std::string& source, const std::string& target) {
    ElfDynamicInfo info = readElfDynamicInfo(source);
    if (!info.x86_64) throw ToolError(source + " is not an x86-64 object");
    if (!info.runpath.empty())
      plan.warnings.push_back(source + " has a RUNPATH: its own dependencies do not see the runtime folder");
    for (const auto& v : info.glibcVersions) plan.oldestGlibc = newerGlibcVersion(plan.oldestGlibc, v);
    plan.files.push_back({source, target, true});
    enqueueNeeds(source, info);
  };
  auto drain = [&] {
    while (!queue.empty()) {
      Pending p = queue.front();
      queue.pop_front();
      std::string found;
      std::error_code ec;
      if (const auto substitute = substitutes.find(p.name); substitute != substitutes.end()) {
        found = substitute->second;
      } else if (p.name.find('/') != std::string::npos) {
        if (fs::is_regular_file(p.name, ec)) found = p.name;
      } else {
        for (const auto& dir : p.searchOrder) {
          fs::path candidate = fs::path(dir) / p.name;
          if (fs::is_regular_file(candidate, ec) && isElfFile(candidate.string()) &&
              readElfDynamicInfo(candidate.string()).x86_64) {
            found = candidate.string();
            break;
          }
        }
      }
      if (found.empty()) throw ToolError("Cannot find the library " + p.name + " that " + p.requiredBy + " needs");
      if (p.name == "libQt6Core.so.6") qtCore = found;
      addObject(found, "lib/" + fs::path(p.name).filename().string());
    }
  };

  enqueueNeeds(program, main);
  drain();

  // A Qt GUI program loads its platform plugin (and image readers) at run
  // time; they are found in the plugin folder of the Qt it was linked with.
  if (seen.count("libQt6Gui.so.6")) {
    fs::path plugins = fs::path(qtCore).parent_path() / "qt6" / "plugins";
    for (const char* plugin : kQtPlugins) {
      fs::path source = plugins / plugin;
      std::error_code ec;
      if (!fs::is_regular_file(source, ec))
        throw ToolError("Cannot find the Qt plugin " + source.string() + " (qt6-base, qt6-wayland)");
      addObject(source.string(), std::string("plugins/") + plugin);
      drain();
    }
    for (const char* library : kAccessibilityLibraries)
      if (seen.insert(library).second)
        queue.push_back({library, program, librarySearchOrder({}, {}, programRpath, systemDirectories)});
    drain();
    for (const char* font : kFonts) {
      std::string source = findFont(font);
      if (source.empty())
        throw ToolError(std::string("Cannot find the font ") + font + " (fonts-liberation2, fonts-dejavu-core)");
      plan.files.push_back({source, std::string("fonts/") + font, false});
    }
  }
  return plan;
}


// The stand-ins in `folder`: small libraries built with setupkit that take
// the place of a system library (by its DT_SONAME) whose callers in the
// runtime use only what the stand-in defines.
std::map<std::string, std::string> standInsIn(const fs::path& folder) {
  std::map<std::string, std::string> found;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (!it->is_regular_file(ec) || !isElfFile(it->path().string())) continue;
    const ElfDynamicInfo info = readElfDynamicInfo(it->path().string());
    if (info.x86_64 && !info.soname.empty()) found[info.soname] = it->path().string();
  }
  return found;
}

// Whether the stand-in `standIn` serves every object of the plan (and the
// program) that needs `soname` as the library `real` would: each symbol they
// take from it (bound to its versions, or unversioned and defined by it) is
// one the stand-in defines.
bool servesEveryCaller(const std::string& program, const RuntimePlan& plan, const std::string& soname,
                       const std::string& real, const std::string& standIn) {
  const ElfDynamicInfo realInfo = readElfDynamicInfo(real);
  const std::set<std::string> realExports(realInfo.exports.begin(), realInfo.exports.end());
  const ElfDynamicInfo standInInfo = readElfDynamicInfo(standIn);
  const std::set<std::string> standInExports(standInInfo.exports.begin(), standInInfo.exports.end());
  std::vector<std::string> callers{program};
  for (const RuntimeFile& file : plan.files)
    if (file.elf) callers.push_back(file.source);
  for (const std::string& caller : callers) {
    const ElfDynamicInfo info = readElfDynamicInfo(caller);
    if (std::find(info.needed.begin(), info.needed.end(), soname) == info.needed.end()) continue;
    for (const auto& import : info.imports) {
      const bool fromIt = import.from == soname || (import.from.empty() && realExports.count(import.name));
      if (fromIt && !standInExports.count(import.name)) return false;
    }
  }
  return true;
}

}  // namespace

bool isCLibraryObject(const std::string& soname) {
  static const std::set<std::string> kObjects = {"libc.so.6",
                                                 "libm.so.6",
                                                 "libpthread.so.0",
                                                 "libdl.so.2",
                                                 "librt.so.1",
                                                 "libresolv.so.2",
                                                 "libutil.so.1",
                                                 "libanl.so.1",
                                                 "libnsl.so.1",
                                                 "libBrokenLocale.so.1",
                                                 "libmvec.so.1",
                                                 "libthread_db.so.1",
                                                 "libc_malloc_debug.so.0",
                                                 "linux-vdso.so.1",
                                                 "ld-linux-x86-64.so.2"};
  return kObjects.count(soname) > 0 || soname.rfind("libnss_", 0) == 0 || soname.rfind("/lib64/ld-linux", 0) == 0;
}

std::string expandOrigin(const std::string& entry, const std::string& origin) {
  std::string out = entry;
  for (const std::string token : {"${ORIGIN}", "$ORIGIN"}) {
    for (size_t at = out.find(token); at != std::string::npos; at = out.find(token, at + origin.size()))
      out.replace(at, token.size(), origin);
  }
  return out;
}

std::vector<std::string> librarySearchOrder(const std::vector<std::string>& rpath,
                                            const std::vector<std::string>& runpath,
                                            const std::vector<std::string>& programRpath,
                                            const std::vector<std::string>& systemDirectories) {
  std::vector<std::string> order;
  // A RUNPATH switches off the RPATHs of the object and of the program for
  // the object's own dependencies.
  if (runpath.empty()) {
    order.insert(order.end(), rpath.begin(), rpath.end());
    order.insert(order.end(), programRpath.begin(), programRpath.end());
  }
  order.insert(order.end(), runpath.begin(), runpath.end());
  order.insert(order.end(), systemDirectories.begin(), systemDirectories.end());
  return order;
}

std::vector<std::string> systemLibraryDirectories(const std::string& configuration) {
  std::vector<std::string> dirs;
  readLdConf(configuration, dirs, 0);
  for (const char* d : kLoaderDefaults) dirs.push_back(d);
  std::vector<std::string> unique;
  for (const auto& d : dirs)
    if (std::find(unique.begin(), unique.end(), d) == unique.end()) unique.push_back(d);
  return unique;
}

RuntimePlan gatherRuntime(const std::string& program, const std::vector<std::string>& systemDirectories,
                          const std::string& standInFolder) {
  RuntimePlan plan = gatherWith(program, systemDirectories, {});
  const fs::path folder =
      standInFolder.empty() ? fs::path(program).parent_path() / kStandInFolder : fs::path(standInFolder);
  std::map<std::string, std::string> substitutes;
  for (const auto& [soname, standIn] : standInsIn(folder)) {
    const std::string target = "lib/" + soname;
    const auto real = std::find_if(plan.files.begin(), plan.files.end(),
                                   [&target](const RuntimeFile& f) { return f.target == target; });
    if (real != plan.files.end() && servesEveryCaller(program, plan, soname, real->source, standIn))
      substitutes[soname] = standIn;
  }
  // Again with the stand-ins: what only the replaced libraries needed drops out.
  return substitutes.empty() ? plan : gatherWith(program, systemDirectories, substitutes);
}

std::string runtimeFontConfiguration() {
  return "<?xml version=\"1.0\"?>\n"
         "<!DOCTYPE fontconfig SYSTEM \"urn:fontconfig:fonts.dtd\">\n"
         "<!-- The setup program's fonts: the ones in this folder, nothing of the system. -->\n"
         "<fontconfig>\n"
         "  <dir prefix=\"relative\">.</dir>\n"
         "  <cachedir prefix=\"xdg\">fontconfig</cachedir>\n"
         "</fontconfig>\n";
}

}  // namespace setupkit
