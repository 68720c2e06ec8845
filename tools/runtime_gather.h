#pragma once
// runtime_gather: what the setup program loads, found the way the dynamic
// loader finds it, so that a medium can carry it: the shared libraries it
// needs (recursively, the C library's own objects left out), the Qt plugins
// it loads and the fonts it draws with.
#include <string>
#include <vector>

namespace setupkit {

// A file that goes into the runtime folder: `source` on this machine,
// `target` relative to the runtime folder ("lib/libQt6Core.so.6").
struct RuntimeFile {
  std::string source;
  std::string target;
  bool elf = false;  // stripped when copied
};

struct RuntimePlan {
  std::vector<RuntimeFile> files;
  std::vector<std::string> warnings;
  std::string oldestGlibc;  // "GLIBC_2.34": the newest version any binary needs
};

// The runtime folder beside the program, and the library folder in it that
// the program's RPATH names.
inline constexpr const char* kRuntimeFolder = "runtime";
inline constexpr const char* kRuntimeRpath = "$ORIGIN/runtime/lib";

// True for the objects of the GNU C library (libc, libm, the loader, ...):
// they must come from the machine the program runs on.
bool isCLibraryObject(const std::string& soname);

// The directories the loader searches for a library needed by an object
// with the given RPATH and RUNPATH entries ($ORIGIN already expanded), in
// its order: the object's RPATH unless it has a RUNPATH, the program's RPATH,
// the object's RUNPATH, then the system's directories.
std::vector<std::string> librarySearchOrder(const std::vector<std::string>& rpath,
                                            const std::vector<std::string>& runpath,
                                            const std::vector<std::string>& programRpath,
                                            const std::vector<std::string>& systemDirectories);

// $ORIGIN (or ${ORIGIN}) in a search path replaced by `origin`.
std::string expandOrigin(const std::string& entry, const std::string& origin);

// The system's library directories: those listed by /etc/ld.so.conf (and
// the files it includes), then the loader's defaults.
std::vector<std::string> systemLibraryDirectories(const std::string& configuration = "/etc/ld.so.conf");

// Where the stand-in libraries lie, beside the setup program: built, in
// <build>/app/stand-ins; installed, in PREFIX/lib/setupkit/stand-ins.
inline constexpr const char* kStandInFolder = "stand-ins";

// Gathers the runtime of `program` (a host path). The program must be a
// 64-bit x86-64 ELF program whose RPATH names kRuntimeRpath. Raises
// ToolError when it is not, or when a library, plugin or font is missing.
// A library with a stand-in in `standInFolder` (default: kStandInFolder
// beside the program) is replaced by it when every object that needs the
// library takes from it only what the stand-in defines; what only the
// library needed is then left out.
RuntimePlan gatherRuntime(const std::string& program,
                          const std::vector<std::string>& systemDirectories = systemLibraryDirectories(),
                          const std::string& standInFolder = {});

// The fontconfig configuration the runtime carries: the fonts in its own
// folder only, the cache in the user's cache folder.
std::string runtimeFontConfiguration();

}  // namespace setupkit
