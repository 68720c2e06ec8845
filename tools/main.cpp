// setupkit: parses the command line, runs the command from setupkit_lib and
// maps its result to the exit status.
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <memory>

#include "common/exit_status.h"
#include "common/host_paths.h"
#include "common/tool_error.h"
#include "medium/installer_file.h"
#include "platform/dos_time.h"
#include "platform/file_window.h"
#include "platform/interrupt.h"
#include "platform/module.h"
#include "tools/archive_reader.h"
#include "tools/cli.h"
#include "tools/inspect.h"
#include "tools/list_json.h"
#include "tools/medium.h"
#include "tools/pack.h"
#include "tools/progress_line.h"
#include "tools/restore_command.h"
#include "tools/runtime_pack_command.h"
#include "tools/signing_commands.h"

namespace {

using namespace setupkit;

// Sizes are printed in MiB, rounded.
constexpr int64_t kMiB = int64_t(1024) * 1024;

// A message on standard error, each line that does not continue an indented
// list marked as the tool's.
void printError(const std::string& message) {
  size_t start = 0;
  while (start < message.size()) {
    size_t end = message.find('\n', start);
    if (end == std::string::npos) end = message.size();
    std::string line = message.substr(start, end - start);
    std::cerr << (line.empty() || line[0] == ' ' ? "" : "setupkit: ") << line << "\n";
    start = end + 1;
  }
  if (message.empty()) std::cerr << "setupkit: failed\n";
}

void printPackResult(const setupkit::PackResult& r) {
  for (const auto& w : r.warnings) std::cerr << "setupkit: warning: " << w << "\n";
  for (const auto& s : r.staleRemoved) std::cerr << "setupkit: removed the stale volume " << s << "\n";
  std::cout << "Packed " << r.files << (r.files == 1 ? " file, " : " files, ") << r.totalSize << " bytes into "
            << r.archiveBytes << " bytes in " << r.volumes.size() << (r.volumes.size() == 1 ? " volume:" : " volumes:")
            << "\n";
  for (const auto& v : r.volumes) std::cout << "  " << v << "\n";
  if (!r.attributes.empty())
    std::cout << "Attributes: " << r.attributes << " (modes, sizes and SHA-256; " << r.links
              << (r.links == 1 ? " link, " : " links, ") << r.folders
              << (r.folders == 1 ? " empty folder)" : " empty folders)") << "\n";
}

// Shows the progress of a pack on standard error when that is a terminal;
// the line is erased when this object goes, before any result is printed.
class PackProgress {
 public:
  explicit PackProgress(setupkit::PackOptions& options) {
    if (!isatty(STDERR_FILENO)) return;
    options.progress = [this](uint64_t done, uint64_t total) {
      if (!line_) line_ = std::make_unique<setupkit::ProgressLine>(std::cerr, total, true);
      line_->update(done);
    };
  }

 private:
  std::unique_ptr<setupkit::ProgressLine> line_;
};

// A one-file installer given where an archive is expected: its size and
// checksum are checked first (a file cut short or damaged is refused before
// anything is read or written), then its archive is read in place, by the
// installer's own name.
// Returns false, having said why, when the installer is cut short or damaged.
bool readInstallerInPlace(const std::string& argument) {
  const std::string host = setupkit::hostPathOfArgument(argument);
  installer::Layout layout = installer::readLayout(host);
  if (layout.state == installer::State::CutShort || layout.state == installer::State::Damaged) {
    printError(argument + ": " + layout.problem);
    return false;
  }
  if (layout.state == installer::State::Sound)
    platform::mapFileWindow(host, {host, layout.parts.archiveOffset(), layout.parts.archive});
  return true;
}

int run(const setupkit::CommandLine& line, const std::string& self) {
  using namespace setupkit;
  switch (line.command) {
    case Command::Pack: {
      PackOptions options = line.pack;
      PackResult r;
      {
        PackProgress progress(options);
        r = pack(options);
      }
      printPackResult(r);
      return kExitOk;
    }
    case Command::Medium: {
      MediumOptions options = line.medium;
      readSigningKey(options);
      MediumResult r;
      {
        PackProgress progress(options.pack);
        r = makeMedium(options, self);
      }
      printPackResult(r.pack);
      if (!r.configuration.empty()) std::cout << "  " << r.configuration << "\n";
      if (r.program.empty())
        std::cerr
            << "setupkit: warning: no setup program found (build it, or name it with --program); the medium has none\n";
      else if (r.singleFile.empty())
        std::cout << "  " << r.program << "\n";
      for (const auto& w : r.warnings) std::cerr << "setupkit: warning: " << w << "\n";
      if (r.runtimeFiles > 0)
        std::cout << "Runtime: " << r.runtimeFiles << " files, " << r.runtimeUnpacked << " bytes packed into "
                  << r.runtimeBytes << " (" << (r.runtimeBytes + kMiB / 2) / kMiB << " MiB); needs the GNU C library "
                  << r.oldestGlibc.substr(r.oldestGlibc.find('_') + 1) << " or newer"
                  << (r.runtimeCached ? " (packed earlier: from the cache)" : "") << "\n";
      if (!r.singleFile.empty())
        std::cout << "One file: " << r.singleFile << ", " << r.singleFileBytes << " bytes ("
                  << (r.singleFileBytes + kMiB / 2) / kMiB << " MiB)\n";
      for (size_t i = 0; i < r.disks.size(); ++i) std::cout << "Disk " << i + 1 << ": " << r.disks[i] << "\n";
      for (const auto& image : r.images) std::cout << "Image: " << image << "\n";
      if (options.signing.key)
        std::cout << "Signed by key " << signature::keyIdText(options.signing.key->id) << ": "
                  << options.signing.comment << "\n";
      if (!r.detachedSignature.empty()) std::cout << "  " << r.detachedSignature << "\n";
      return kExitOk;
    }
    case Command::List: {
      if (auto status = listRuntimePack(line.archive, std::cout, std::cerr)) return *status;
      // A medium's attributes: SETUP.ATR beside, or the installer's part.
      const medium::Loaded loaded = medium::loadForArchive(setupkit::hostPathOfArgument(line.archive));
      if (loaded.state == medium::Loaded::State::Damaged) printError(loaded.problem);
      const medium::Attributes* attributes =
          loaded.state == medium::Loaded::State::Found ? &loaded.attributes : nullptr;
      if (!readInstallerInPlace(line.archive)) return kExitDamaged;
      ArchiveInfo info = readArchive(line.archive, line.media);
      if (const std::string why = notAnArchive(info); !why.empty()) {
        printError(why);
        return kExitDamaged;
      }
      const auto settings = medium::settingsForArchive(setupkit::hostPathOfArgument(line.archive));
      const medium::Settings* shown = settings ? &*settings : nullptr;
      if (!line.json) return printListing(info, std::cout, attributes, shown) ? kExitOk : kExitDamaged;
      if (printJsonListing(info, std::cout, attributes, shown)) return kExitOk;
      // The text listing says this on standard output; a script reading the
      // JSON gets it as an error.
      if (!info.problems.empty())
        printError("reading stopped at " + describeLocation(info, info.problems.back().at) + ": " +
                   info.problems.back().message);
      return kExitDamaged;
    }
    case Command::Key: return makeKeyPair(line.key, std::cout);
    case Command::Verify: {
      if (!line.verifyKey.empty()) return verifySignedMedium(line.verifyKey, line.signedMedium, std::cout, std::cerr);
      if (!line.installation.dest.empty()) {
        FileText out(stdout), err(stderr);
        VerifyConsole console{out, err};
        return runVerify(line.installation, console);
      }
      if (!readInstallerInPlace(line.archive)) return kExitDamaged;
      ArchiveInfo info = readArchive(line.archive, line.media);
      if (const std::string why = notAnArchive(info); !why.empty()) {
        printError(why);
        return kExitDamaged;
      }
      VerifyReport report = verifyArchive(info);
      printVerifyReport(info, report, std::cout);
      return report.sound() ? kExitOk : report.problems.empty() ? kExitRefused : kExitDamaged;
    }
    case Command::Restore: {
      // SIGINT and SIGTERM stop the restore through its cancel path: no file
      // is left cut short, and the status is 4.
      platform::installInterruptHandlers(kExitCancelled);
      if (auto status = restoreRuntimePack(line.restore.archive, line.restore.dest, std::cerr)) return *status;
      if (!readInstallerInPlace(line.restore.archive)) return kExitDamaged;
      const bool terminal = isatty(STDIN_FILENO) != 0;
      RestoreConsole console{std::cout, std::cerr, terminal ? &std::cin : nullptr, isatty(STDERR_FILENO) != 0};
      RestoreOptions options = line.restore;
      if (options.record && !self.empty())
        if (const std::string program = findSetupProgram(self); !program.empty())
          options.uninstaller = findUninstaller(program);
      RestoreReport r = runRestore(options, console);
      if (r.outcome != RestoreOutcome::Success) printError(r.message);
      return int(r.outcome);
    }
    case Command::Uninstall: {
      FileText out(stdout), err(stderr);
      FileInput in(stdin);
      UninstallConsole console{out, err, isatty(STDIN_FILENO) ? &in : nullptr};
      return runUninstall(line.uninstall, console);
    }
    case Command::Installed: return listInstalled(line.installed, std::cout, std::cerr);
    case Command::None: break;
  }
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  platform::loadLocalZoneOnce();
  std::vector<std::string> args(argv + 1, argv + argc);
  setupkit::CommandLine line;
  try {
    line = setupkit::parseCommandLine(args);
  } catch (const setupkit::UsageError& e) {
    std::cerr << setupkit::usageErrorText(e);
    return kExitUsage;
  } catch (const std::exception& e) {
    std::cerr << "setupkit: " << e.what() << "\n";
    return kExitFailed;
  }
  if (line.help) {
    std::cout << setupkit::usageText(line.command);
    return kExitOk;
  }
  if (line.version) {
    std::cout << setupkit::versionText();
    return kExitOk;
  }
  try {
    std::string self = platform::moduleFileName();
    return run(line, self.empty() ? std::string() : setupkit::hostPathOfArgument(self));
  } catch (const setupkit::ArchiveNotFound& e) {
    std::cerr << "setupkit: " << e.what() << "\n";
    return kExitMissing;
  } catch (const setupkit::Refusal& e) {
    std::cerr << "setupkit: " << e.what() << "\n";
    return kExitRefused;
  } catch (const std::exception& e) {
    std::cerr << "setupkit: " << e.what() << "\n";
    return kExitFailed;
  }
}
