// The uninstaller: DEST/uninstall, placed by the installation beside its
// install record. No Qt: it runs where neither the setup program's runtime
// nor setupkit is installed. It removes the installation of the folder it
// lies in (or of the folder given), asking first on a terminal.
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/exit_status.h"
#include "install/uninstall.h"
#include "install/verify.h"

namespace {

constexpr const char* kUsage =
    "Usage: uninstall [--unattended] [--json] [FOLDER]\n"
    "       uninstall --verify [--json] [FOLDER]\n"
    "Removes the installation in FOLDER (the folder this program lies in when none is given):\n"
    "every file it wrote that is unchanged since, the folders it made once they are empty,\n"
    "its menu entries, its install record and this program.\n"
    "  --unattended  remove without asking\n"
    "  --verify      remove nothing: compare the installed files with the install record and\n"
    "                name every one missing or changed (size, SHA-256, mode)\n"
    "  --json        one JSON object a line on standard output\n"
    "Exit status: 0 done, 1 not everything could be removed, 2 damaged record, 3 nothing installed,\n"
    "4 cancelled, 5 refused, 64 usage. With --verify: 0 as installed, 2 something differs.\n";

std::string ownFolder() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  std::string self(path, size_t(n));
  const size_t slash = self.rfind('/');
  return slash == 0 ? "/" : self.substr(0, slash);
}

}  // namespace

int main(int argc, char** argv) {
  UninstallOptions options;
  bool verify = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--unattended") {
      options.unattended = true;
    } else if (arg == "--verify") {
      verify = true;
    } else if (arg == "--json") {
      options.json = true;
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return setupkit::kExitOk;
    } else if (!arg.empty() && arg[0] != '-' && options.dest.empty()) {
      options.dest = arg;
    } else {
      std::fputs(("uninstall: unknown argument " + arg + "\n" + kUsage).c_str(), stderr);
      return setupkit::kExitUsage;
    }
  }
  if (options.dest.empty()) options.dest = ownFolder();
  FileText out(stdout), err(stderr);
  if (verify && options.unattended) {
    err.put(std::string("uninstall: --verify removes nothing and takes no --unattended\n") + kUsage);
    return setupkit::kExitUsage;
  }
  if (verify) {
    VerifyConsole console{out, err};
    return runVerify({options.dest, options.json}, console);
  }
  FileInput in(stdin);
  UninstallConsole console{out, err, isatty(STDIN_FILENO) ? &in : nullptr};
  return runUninstall(options, console);
}
