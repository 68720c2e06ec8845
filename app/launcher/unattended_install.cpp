#include "app/launcher/unattended_install.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>

#include "app/launcher/install_report.h"
#include "common/exit_status.h"
#include "common/host_paths.h"
#include "common/printable.h"
#include "common/tool_error.h"
#include "engine/backup_file.h"
#include "framework/core/path_utils.h"
#include "install/install_record.h"
#include "install/installation.h"
#include "medium/installer_file.h"
#include "medium/runtime_pack.h"
#include "medium/volume_search.h"
#include "platform/dos_time.h"
#include "platform/file_window.h"
#include "platform/interrupt.h"
#include "platform/paths.h"

namespace launcher {

namespace {

using setupkit::printable;

// Says a message on standard error, each line marked as the launcher's.
void say(const std::string& message) {
  size_t start = 0;
  while (start <= message.size()) {
    size_t end = message.find('\n', start);
    if (end == std::string::npos) end = message.size();
    std::fprintf(stderr, "setup: %s\n", message.substr(start, end - start).c_str());
    start = end + 1;
  }
}

// The wizard's sentences on its Finish page, the App name escaped like every
// name shown on a terminal.
std::string finishText(const std::string& rawApp, bool completed) {
  const std::string app = printable(rawApp);
  return completed ? "Setup is complete and " + app + " is now installed."
                   : "Setup did not complete and not every file of " + app + " was installed.";
}

// The restore settings the wizard's archive component carries (its stored
// layout), with the folders kept when SETUP.INS asks for the tree.
void takeWizardSettings(TBackupFile& backup, const LauncherMedium& medium, TRestoreMode mode) {
  backup.RestoreFullPath = keepsFolders(medium);
  backup.RestoreMode = mode;
  backup.SetArchiveFlag = true;
  backup.SaveFileID = true;
}

// The uninstaller the medium carries inside its packed runtime (runtime.pak
// beside the first volume, or the one-file installer's runtime part), copied
// into an anonymous file: its path (/proc/self/fd/N), or empty when the
// medium has none. The installer is read through the descriptor it was
// checked on.
std::string packedUninstaller(const LauncherMedium& medium) {
  const auto archive = platform::hostPathOf(medium.archive);
  if (!archive) return {};
  // Beside the first volume: a host path, so its folder ends at the last '/'.
  std::string pack = std::filesystem::path(*archive).parent_path() / "runtime.pak";
  int64_t offset = 0, length = -1;
  if (medium.oneFile) {
    const auto window = platform::fileWindowOf(*archive);
    if (!window) return {};
    pack = window->file;
    const installer::Layout layout = installer::readLayout(pack, false);
    if (layout.state != installer::State::Sound) return {};
    offset = layout.parts.runtimeOffset();
    length = layout.parts.runtime;
  }
  const int in = open(pack.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (in < 0 || fstat(in, &st) != 0) {
    if (in >= 0) close(in);
    return {};
  }
  if (length < 0) length = st.st_size;
  const int out = memfd_create("uninstall", MFD_CLOEXEC);
  const bool copied = out >= 0 && runtime_pack::isPacked(in, offset, length) &&
                      runtime_pack::extract(in, offset, length, install_record::kUninstallerName, out).empty();
  close(in);
  if (!copied) {
    if (out >= 0) close(out);
    return {};
  }
  return "/proc/self/fd/" + std::to_string(out);  // open for the rest of the process
}

}  // namespace

int installUnattended(const LauncherMedium& medium, const Options& options, std::FILE* json) {
  // Files get their dates through the local time conversion, as in the wizard.
  platform::loadLocalZoneOnce();
  const std::string app = setupValue(medium, "App");
  // A path on the command line that names no place: said, and in the JSON
  // lines as their end.
  auto usage = [&](const std::string& message) {
    say(message);
    if (json) {
      InstallEnd end;
      end.status = setupkit::kExitUsage;
      end.result = resultOfStatus(end.status);
      end.reason = message;
      InstallReport(json, false).end(end);
    }
    return int(setupkit::kExitUsage);
  };
  // Without --dest: where this product is installed already, else where the
  // medium proposes.
  const DefaultDestination chosen =
      options.dest.empty() ? defaultDestination(medium) : DefaultDestination{options.dest, "option"};
  std::string dest;
  try {
    dest = setupkit::windowsPathOfArgument(chosen.path);
  } catch (const setupkit::ToolError& e) {
    return usage(e.what());
  }
  std::vector<std::string> folders;
  for (const auto& folder : options.media) {
    try {
      folders.push_back(setupkit::windowsPathOfArgument(folder));
    } catch (const setupkit::ToolError& e) {
      return usage(e.what());
    }
  }
  TVolumeSearch search(medium.archive, folders);

  InstallReport report(json, !options.quiet && !options.json && isatty(STDERR_FILENO));
  InstallStart start;
  start.title = setupValue(medium, "Title");
  start.app = app;
  start.destination = hostOf(fw::withoutTrailingBackslash(platform::expandPath(dest)));
  start.destinationFrom = chosen.from;
  start.volumes.push_back(shownVolume(medium, medium.archive));
  for (int n = 2; !medium.oneFile && n <= 999; ++n) {
    auto found = search.find(n);
    if (!found) break;
    start.volumes.push_back(hostOf(*found));
  }
  start.isSigned = medium.signer.isSigned;
  start.keyId = medium.signer.keyId;
  start.comment = medium.signer.comment;
  start.trustedBySystem = medium.signer.byAdministrator;
  // Who signed it, before the first file is written.
  if (!options.quiet && !options.json) say(medium_signature::describe(medium.signer));
  if (!options.quiet && !options.json && options.dest.empty())
    say("installing into " + printable(start.destination) +
        (chosen.from == "installation" ? " (where it is installed)" : " (the medium's destination)"));
  report.start(start);

  TBackupFile backup(nullptr);
  takeWizardSettings(backup, medium, options.mode);
  backup.CancelFlag = &platform::interruptFlag();
  InstallEnd end;
  std::string missingVolume;  // the message naming a volume that is not there

  // Never asks: a volume is there or the installation ends.
  backup.OnNeedDisk = TNeedDiskEvent([&](TObject*, uint16_t disk, bool& cont) {
    if (auto found = search.find(disk)) {
      report.volume(disk, hostOf(*found));
      return;
    }
    std::string looked;
    for (const auto& place : search.candidates(disk)) looked += "\n  " + printable(hostOf(place));
    missingVolume = "volume " + std::to_string(disk) + " (" + fw::fileNamePart(search.candidates(disk).front()) +
                    ") is missing (name the folder that holds it with --media DIR); looked for:" + looked;
    cont = false;
  });
  backup.LocateVolume = [&](int number, const std::string& beside) { return search.find(number).value_or(beside); };
  // Each entry: skipped by the mode, or written (its bytes known once it is
  // restored). Names are the targets in Windows form, as the wizard shows them.
  backup.OnRestoreFile = TRestoreFileEvent([&](TObject*, std::string& target, int32_t, bool& doRestore) {
    if (!doRestore) {
      ++end.skipped;
      report.file(target, hostOf(target), false, 0);
    }
  });
  backup.OnFileRestored = TFileRestoredEvent([&](TObject*, std::string& target, TFileStream*& stream) {
    const uint64_t bytes = stream ? uint64_t(stream->size()) : 0;
    end.bytes += bytes;
    report.file(target, hostOf(target), true, bytes);
  });
  backup.OnProgress = TProgressEvent([&](TObject*, const std::string& file, TPercentage percent, bool&) {
    report.progress(percent, file.empty() ? file : hostOf(file));
  });
  std::string componentMessage;
  backup.OnError = TBackupErrorEvent([&](TObject*, int32_t, const std::string& text) { componentMessage = text; });

  // The install routine: the medium's attributes, the publisher pinned by an
  // earlier installation, the restore with its record, the uninstaller (the
  // one beside the launcher, or the one inside the packed runtime) and the
  // menu entry.
  install::Medium source;
  source.archive = medium.archive;
  source.settings = medium.configuration;
  source.signer = medium.signer;
  if (!medium.oneFile) source.uninstaller = install::uninstallerBeside(fw::directoryPart(medium.archive), false);
  if (source.uninstaller.empty()) source.uninstaller = packedUninstaller(medium);
  install::Choices choices;
  choices.destination = dest;
  choices.newPublisher = options.acceptNewPublisher ? install::NewPublisher::Accept : install::NewPublisher::Refuse;
  choices.downgrade = options.allowDowngrade ? install::Downgrade::Accept : install::Downgrade::Refuse;
  install::TInstallation installation(backup, source, choices);
  const install::Outcome outcome = installation.run();
  for (const auto& warning : outcome.warnings) say("warning: " + printable(warning));

  for (const auto& kept : outcome.kept) {
    report.kept(kept.name, kept.reason);
    if (!options.quiet && !options.json) say("kept " + printable(kept.name) + ": " + printable(kept.reason));
  }
  end.status = outcome.status;
  end.rolledBack = outcome.rolledBack;
  end.result = install::resultName(outcome.result);
  end.written = outcome.written;
  switch (outcome.result) {
    case install::Result::Completed: break;
    case install::Result::Refused:
      end.reason = outcome.reason;
      end.refusal = outcome.refusal == install::Refusal::Downgrade ? "downgrade" : "publisher";
      end.message = printable(outcome.reason) + "; give " +
                    (outcome.refusal == install::Refusal::Downgrade ? "--allow-downgrade" : "--accept-new-publisher") +
                    " to install it anyway";
      report.end(end);
      say(end.message);
      return end.status;
    case install::Result::Missing:
      end.reason = outcome.reason;
      end.message = "The archive \"" + printable(shownVolume(medium, outcome.volume)) + "\" was not found";
      break;
    case install::Result::Cancelled:
      end.message = !missingVolume.empty() ? missingVolume
                    : platform::interruptSignal()
                        ? std::string("The installation was cancelled by ") + platform::interruptSignalName()
                        : "The installation was cancelled";
      end.reason = missingVolume.empty() ? outcome.reason : missingVolume;
      break;
    default: {
      end.reason = outcome.reason;
      if (!outcome.file.empty()) end.failedFile = hostOf(outcome.file);
      // The wizard's error box: the component's message, the file and why.
      std::string text;
      // Refused before the restore (damaged attributes), or the installation's
      // own failure (its record or uninstaller): the reason says it all.
      if (installation.check() || (outcome.raised && !outcome.reading))
        text = printable(outcome.reason);
      else if (outcome.raised)
        text = "cannot read " + printable(shownVolume(medium, outcome.volume)) + ": " + outcome.reason;
      else
        text = componentMessage.empty() ? outcome.componentMessage : componentMessage;
      if (!end.failedFile.empty()) {
        text += "\n" + printable(end.failedFile);
        if (!outcome.reason.empty() && outcome.reason != text) text += ": " + printable(outcome.reason);
      }
      end.message = text;
    }
  }
  report.end(end);
  if (end.status != setupkit::kExitOk && installation.check()) {
    say(end.message + "\nNothing was installed.");  // refused before the first file
  } else if (end.status != setupkit::kExitOk) {
    say(end.message + "\n" +
        (outcome.rolledBack ? "What the installation did was undone: " + printable(start.destination) + " is as it was."
                            : finishText(app, false)));
  } else if (!options.quiet && !options.json && isatty(STDERR_FILENO)) {
    std::fprintf(stderr, "%s %d %s written, %d skipped.\n", finishText(app, true).c_str(), end.written,
                 end.written == 1 ? "file" : "files", end.skipped);
  }
  return end.status;
}

}  // namespace launcher
