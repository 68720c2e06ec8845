#include "app/launcher/launcher_commands.h"

#include <cstdio>

#include "app/launcher/host_libc.h"
#include "app/launcher/install_report.h"
#include "app/launcher/launcher_medium.h"
#include "app/launcher/launcher_options.h"
#include "app/launcher/medium_check.h"
#include "app/launcher/unattended_install.h"
#include "common/exit_status.h"
#include "common/tool_error.h"
#include "platform/interrupt.h"

#ifndef SETUPKIT_VERSION
#define SETUPKIT_VERSION "unknown"
#endif

namespace launcher {

int runCommandLine(const std::string& program, const std::vector<std::string>& args) {
  Options options;
  try {
    options = parseOptions(args);
  } catch (const UsageError& e) {
    std::fprintf(stderr, "setup: %s\nRun %s --help for the options.\n", e.what(), program.c_str());
    return setupkit::kExitUsage;
  }
  if (options.action == Action::Help) {
    std::fputs(helpText(program).c_str(), stdout);
    return setupkit::kExitOk;
  }
  if (options.action == Action::Version) {
    std::printf("setup (setupkit %s)\n", SETUPKIT_VERSION);
    return setupkit::kExitOk;
  }
  const LauncherMedium medium = openLauncherMedium();
  if (medium.status != 0) {
    std::fprintf(stderr, "setup: %s\n", medium.problem.c_str());
    // A script reading the JSON lines gets the end of every installation,
    // also one refused before its start.
    if (options.action == Action::Install && options.json) {
      InstallEnd end;
      end.status = medium.status;
      end.result = resultOfStatus(medium.status);
      end.reason = medium.problem;
      InstallReport(stdout, false).end(end);
    }
    return medium.status;
  }
  try {
    switch (options.action) {
      case Action::Install:
        // SIGINT and SIGTERM cancel the installation through the restore's
        // cancel path (its rollback runs, nothing is left cut short): 4.
        platform::installInterruptHandlers(setupkit::kExitCancelled);
        return installUnattended(medium, options, options.json ? stdout : nullptr);
      case Action::Check: return checkMedium(medium, options);
      case Action::List: return listMedium(medium, options);
      default: break;
    }
  } catch (const setupkit::ToolError& e) {
    // A path on the command line that no drive covers.
    std::fprintf(stderr, "setup: %s\n", e.what());
    return setupkit::kExitUsage;
  }
  return setupkit::kExitUsage;
}

std::string wizardCannotRun() {
  const std::optional<LibcVersion> host = hostLibcVersion();
  const LibcVersion needed = builtLibcVersion();
  if (!host || !(*host < needed)) return {};
  return "the setup window needs the GNU C library " + needed.text() + " or newer and this system has " + host->text() +
         "; install without a window: setup --unattended --dest DIR (see setup --help)";
}

}  // namespace launcher
