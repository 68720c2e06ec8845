#include "tools/restore_command.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <memory>
#include <ostream>

#include "common/host_paths.h"
#include "common/printable.h"
#include "common/tool_error.h"
#include "engine/restore_target.h"
#include "framework/core/exceptions.h"
#include "framework/core/path_utils.h"
#include "install/installation.h"
#include "medium/medium_attributes.h"
#include "medium/volume_search.h"
#include "platform/files.h"
#include "platform/interrupt.h"
#include "platform/paths.h"
#include "tools/progress_line.h"
#include "tools/restore_plan.h"

namespace setupkit {

namespace {

// A Windows-form path as the user knows it: its host form, escaped.
std::string shownPath(const std::string& windowsPath) {
  auto host = platform::hostPathOf(windowsPath);
  return printable(host ? *host : windowsPath);
}

// The directory a restore to the stored paths writes below: the deepest one
// holding every name it will write. Names with ".." are refused by the
// restore, and "/" and doubled separators name the same directories as "".
std::string storedPathsDirectory(const std::vector<std::string>& storedNames) {
  std::vector<std::string> written;
  for (const auto& name : storedNames) {
    bool climbs = false;
    for (const auto& part : fw::pathComponents(name)) climbs = climbs || part == "..";
    if (!climbs) written.push_back(platform::expandPath(name));
  }
  return commonDirectory(written);
}

// A volume of the archive that could not be read, why, and the file whose
// data it was reading (when it was).
std::string readFailure(const std::string& volume, const std::string& reason, const std::string& file = {}) {
  std::string text = "cannot read " + shownPath(volume) + ": " + reason;
  if (!file.empty()) text += ", in the data of " + shownPath(file);
  return text;
}

// Damage found by the look before writing: the volume, the position of the
// record being read, and the last entry the look had read.
std::string lookFailure(const RestorePlan& plan) {
  if (plan.damagedOffset < 0) return readFailure(plan.damagedVolume, plan.damage);
  std::string text = "cannot read " + shownPath(plan.damagedVolume) + " at byte " + std::to_string(plan.damagedOffset);
  if (!plan.targets.empty()) text += " (after the entry " + printable(plan.targets.back()) + ")";
  return text + ": " + plan.damage + "; nothing was written";
}

std::string cancelledMessage(const std::string& missingVolume) {
  if (platform::interruptSignal())
    return std::string("The restore was cancelled by ") + platform::interruptSignalName() +
           "; no file was left cut short";
  return missingVolume.empty() ? "The restore was cancelled"
                               : "The restore was cancelled: volume " + missingVolume + " is missing";
}

// The command's outcome and message from how the engine's restore ended:
// what failed comes first, the file or the archive with the reason, then the
// component's message. A failure to read the archive is damage, not a failure
// to write.
RestoreReport reportOf(const TRestoreResult& result, int restored, const std::string& component,
                       const std::string& missingVolume) {
  using Status = TRestoreResult::Status;
  switch (result.status) {
    case Status::Completed: return {RestoreOutcome::Success, {}, restored};
    case Status::Missing: return {RestoreOutcome::Missing, "Archive not found: " + shownPath(result.volume), restored};
    case Status::Stopped: return {RestoreOutcome::Cancelled, cancelledMessage(missingVolume), restored};
    case Status::Raised:
      if (result.reading)
        return {RestoreOutcome::Damaged, readFailure(result.volume, result.reason, result.file), restored};
      return {RestoreOutcome::WriteFailed, "cannot write " + shownPath(result.file) + ": " + result.reason, restored};
    default: break;
  }
  if (result.damaged())
    return {RestoreOutcome::Damaged, readFailure(result.volume, result.reason, result.file) + "\n" + component,
            restored};
  return {RestoreOutcome::WriteFailed,
          "cannot write " + shownPath(result.file) + ": " + result.reason + "\n" + component, restored};
}

// The refusal of a restore whose entries would overwrite each other.
std::string clashMessage(const std::vector<NameClash>& clashes, bool flat) {
  std::string text = std::string(flat ? "The flat restore" : "The restore") +
                     " would write several entries to the same file; nothing was written:\n";
  for (const auto& c : clashes) {
    text += "  " + shownPath(c.target) + ":";
    for (size_t i = 0; i < c.storedNames.size(); ++i) text += (i ? ", " : " ") + printable(c.storedNames[i]);
    text += "\n";
  }
  text +=
      flat
          ? "Restore without --flat to keep the folders, or give --mode to let later entries follow it in archive order"
          : "Give --mode to let later entries follow it in archive order";
  return text;
}

// Where the engine puts each stored name below `dest`, with separators
// written one way, so that names of the same file compare equal.
std::vector<std::string> targetsBelow(const std::string& dest, const std::vector<std::string>& storedNames,
                                      bool fullPath) {
  TRestoreTarget placement(fw::withTrailingBackslash(dest));
  std::vector<std::string> targets;
  targets.reserve(storedNames.size());
  for (const auto& name : storedNames) {
    std::string target;
    for (char c : placement.targetOf(name, fullPath)) {
      if (c == '/') c = '\\';
      if (c != '\\' || target.empty() || target.back() != '\\') target += c;
    }
    targets.push_back(std::move(target));
  }
  return targets;
}

}  // namespace

RestoreReport runRestore(const RestoreOptions& options, RestoreConsole& console) {
  std::string archive, dest;
  std::vector<std::string> media;
  try {
    archive = windowsPathOfArgument(options.archive);
    for (const auto& folder : options.media) media.push_back(windowsPathOfArgument(folder));
    // The engine writes to the stored paths only for an empty destination.
    if (options.layout != RestoreLayout::StoredPaths)
      dest = windowsPathOfArgument(options.dest.empty() ? "." : options.dest);
  } catch (const ToolError& e) {
    return {RestoreOutcome::Missing, e.what(), 0};
  }
  if (platform::directoryExists(archive))
    return {RestoreOutcome::Missing, "cannot read " + printable(options.archive) + ": Is a directory", 0};
  if (!platform::fileExists(archive))
    return {RestoreOutcome::Missing, "Archive not found: " + printable(options.archive), 0};
  // There, but not readable by this user: it cannot be opened (3), which is
  // no damage.
  if (const auto host = platform::hostPathOf(archive); host && access(host->c_str(), R_OK) != 0)
    return {RestoreOutcome::Missing, "cannot read " + printable(options.archive) + ": " + std::strerror(errno), 0};
  const bool fullPath = options.layout == RestoreLayout::Tree;
  // A medium's attributes: each file checked and given its mode as it
  // lands, links and empty folders at the end. An installation (--record)
  // leaves them to the install routine.
  const bool installing = options.record && options.layout != RestoreLayout::StoredPaths;
  const std::optional<std::string> hostArchive = platform::hostPathOf(archive);
  medium::Loaded loaded = hostArchive && !installing ? medium::loadForArchive(*hostArchive) : medium::Loaded();
  if (loaded.state == medium::Loaded::State::Damaged)
    return {RestoreOutcome::Damaged, "the medium is damaged: " + printable(loaded.problem), 0};
  medium::TMediumCheck check(std::move(loaded.attributes));

  TVolumeSearch search(archive, media);
  auto locate = [&search](int number, const std::string& beside) { return search.find(number).value_or(beside); };
  std::string missingVolume;
  std::unique_ptr<ProgressLine> line;  // made at the first progress report, when the total is known
  TNeedDiskEvent needDisk([&](TObject*, uint16_t disk, bool& cont) {
    if (search.find(disk)) return;
    std::string next = search.candidates(disk).front();
    if (!console.in) {
      missingVolume = shownPath(next);
      cont = false;
      return;
    }
    if (line) line->clear();
    console.err << "Please insert disk " << disk << " and click OK to continue.\n"
                << "(looking for " << shownPath(next) << "; or type the folder that holds it) [OK / Cancel] "
                << std::flush;
    std::string answer;
    // Ctrl-C at the prompt cancels it (a read of the terminal would go on).
    const bool answered =
        console.in != &std::cin || console.in->rdbuf()->in_avail() > 0 || platform::waitForInput(STDIN_FILENO);
    if (!answered || !std::getline(*console.in, answer) || fw::sameText(answer, "c") ||
        fw::sameText(answer, "cancel")) {
      missingVolume = shownPath(next);
      cont = false;
      return;
    }
    // A folder typed in (a disk mounted elsewhere) is looked in from now on.
    try {
      if (!answer.empty() && platform::directoryExists(windowsPathOfArgument(answer)))
        search.addFolder(windowsPathOfArgument(answer));
    } catch (const ToolError&) {
    }
  });

  // Looks before writing: a flat restore must not let entries overwrite each
  // other unless a mode says how, and the stored paths are announced.
  try {
    if (options.layout != RestoreLayout::StoredPaths && !options.modeGiven) {
      RestorePlan stored = planRestore(archive, needDisk, locate);
      if (!stored.damage.empty()) return {RestoreOutcome::Damaged, lookFailure(stored), 0};
      if (!stored.complete) return {RestoreOutcome::Cancelled, cancelledMessage(missingVolume), 0};
      auto clashes = findClashes(stored.targets, targetsBelow(dest, stored.targets, fullPath));
      if (!clashes.empty())
        return {RestoreOutcome::Refused, clashMessage(clashes, options.layout == RestoreLayout::Flat), 0};
    } else if (options.layout == RestoreLayout::StoredPaths) {
      RestorePlan stored = planRestore(archive, needDisk, locate);
      if (!stored.damage.empty()) return {RestoreOutcome::Damaged, lookFailure(stored), 0};
      if (!stored.complete) return {RestoreOutcome::Cancelled, cancelledMessage(missingVolume), 0};
      const size_t n = stored.targets.size();
      console.err << "setupkit: restoring " << n << (n == 1 ? " file" : " files")
                  << " to the paths stored in the archive";
      const std::string below = storedPathsDirectory(stored.targets);
      if (!below.empty()) console.err << ", below " << shownPath(below);
      console.err << "\n" << std::flush;
    }
  } catch (const std::exception& e) {
    return {RestoreOutcome::Damaged, e.what(), 0};
  }

  TBackupFile backup(nullptr);
  backup.RestoreMode = options.mode;
  backup.RestoreFullPath = fullPath;
  backup.OnNeedDisk = needDisk;
  backup.LocateVolume = locate;
  backup.CancelFlag = &platform::interruptFlag();
  if (loaded.state == medium::Loaded::State::Found) backup.LandingCheck = &check;

  if (options.verbose) {
    backup.OnFileRestored = TFileRestoredEvent([&](TObject*, std::string& name, TFileStream*&) {
      if (line) line->clear();
      console.out << printable(name) << "\n";
    });
  }
  if (console.progress) {
    backup.OnProgress = TProgressEvent([&](TObject*, const std::string&, TPercentage, bool&) {
      if (!line) line = std::make_unique<ProgressLine>(console.err, uint64_t(std::max(backup.FTotalSize, 0)), true);
      line->update(uint32_t(backup.FBytesDone));
    });
  }
  std::string errorMessage;
  backup.OnError = TBackupErrorEvent([&](TObject*, int32_t, const std::string& text) { errorMessage = text; });

  // What failed comes first, the file or the archive with the reason, then
  // the component's message. A failure to read the archive is damage, not a
  // failure to write.
  if (installing) {
    // The install routine, as the wizard and the launcher install: the
    // medium's SETUP.INS and uninstaller beside the archive, the publisher
    // pinned by an earlier installation refused unless accepted.
    const std::string folder = fw::directoryPart(platform::expandPath(archive));
    install::Medium source;
    source.archive = archive;
    source.settings = install::settingsOf(folder);
    source.signer = hostArchive ? install::signerOfArchive(*hostArchive) : medium_signature::Signer();
    source.uninstaller = install::uninstallerBeside(folder, false);
    if (source.uninstaller.empty()) source.uninstaller = options.uninstaller;
    install::Choices choices;
    choices.destination = dest;
    choices.newPublisher = options.acceptNewPublisher ? install::NewPublisher::Accept : install::NewPublisher::Refuse;
    choices.downgrade = options.allowDowngrade ? install::Downgrade::Accept : install::Downgrade::Refuse;
    install::TInstallation installation(backup, source, choices);
    const install::Outcome outcome = installation.run();
    line.reset();
    for (const auto& w : outcome.warnings) console.err << "setupkit: warning: " << w << "\n";
    for (const auto& k : outcome.kept)
      console.err << "setupkit: kept " << printable(k.name) << ": " << k.reason << "\n";
    if (outcome.rolledBack) console.err << "setupkit: the installation was undone: the destination is as it was\n";
    if (installation.check()) {
      if (outcome.result == install::Result::Refused) {
        // A question the options answer names its option; other refusals say what to do themselves.
        const char* option = outcome.refusal == install::Refusal::Downgrade   ? "--allow-downgrade"
                             : outcome.refusal == install::Refusal::Publisher ? "--accept-new-publisher"
                                                                              : nullptr;
        return {RestoreOutcome::Refused,
                printable(outcome.reason) + (option ? "; give " + std::string(option) + " to install it anyway" : ""),
                0};
      }
      if (outcome.result == install::Result::Failed)  // no space, or an earlier installation not undone
        return {RestoreOutcome::WriteFailed, printable(outcome.reason) + "; nothing was written", 0};
      return {RestoreOutcome::Damaged, "the medium is damaged: " + printable(outcome.reason), 0};
    }
  } else {
    try {
      backup.Restore(archive, dest);
    } catch (const std::exception&) {
      // Told by the result below.
    }
    line.reset();
  }
  RestoreReport report =
      reportOf(backup.Result(), backup.FRestoredCount,
               errorMessage.empty() ? TBackupFile::errorMessage(backup.FErrorCode) : errorMessage, missingVolume);
  // Interrupted where the engine could not tell (its header's read broken
  // off): cancelled all the same.
  if (report.outcome != RestoreOutcome::Success && platform::interruptRequested())
    report = {RestoreOutcome::Cancelled, cancelledMessage(missingVolume), report.restored};
  return report;
}

}  // namespace setupkit
