#include "tools/restore_command.h"

#include <istream>
#include <ostream>

#include "framework/core/exceptions.h"
#include "framework/core/path_utils.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "tools/host_paths.h"
#include "tools/tool_error.h"

namespace setupkit {

namespace {

std::string shownPath(const std::string& windowsPath) {
  auto host = platform::hostPathOf(windowsPath);
  return host ? *host : windowsPath;
}

}  // namespace

RestoreReport runRestore(const RestoreOptions& options, RestoreConsole& console) {
  RestoreReport report;
  std::string archive, dest;
  try {
    archive = windowsPathOfArgument(options.archive);
    if (options.hasDest) dest = windowsPathOfArgument(options.dest);
  } catch (const ToolError& e) {
    return {RestoreOutcome::Missing, e.what(), 0};
  }
  if (!platform::fileExists(archive)) return {RestoreOutcome::Missing, "Archive not found: " + options.archive, 0};

  TBackupFile backup(nullptr);
  backup.RestoreMode = options.mode;
  backup.RestoreFullPath = options.fullPath;

  std::string missingVolume;
  backup.OnNeedDisk = TNeedDiskEvent([&](TObject*, uint16_t disk, bool& cont) {
    // The engine forms the next name the same way: the extension replaced by
    // the three-digit volume number.
    std::string next = fw::changeExtension(archive, "." + volumeNumberText(disk));
    if (platform::fileExists(next)) return;
    if (!console.in) {
      missingVolume = shownPath(next);
      cont = false;
      return;
    }
    if (console.progress) console.err << "\n";
    console.err << "Please insert disk " << disk << " and click OK to continue.\n"
                << "(looking for " << shownPath(next) << ") [OK / Cancel] " << std::flush;
    std::string answer;
    if (!std::getline(*console.in, answer) || (!answer.empty() && (answer[0] == 'c' || answer[0] == 'C'))) {
      missingVolume = shownPath(next);
      cont = false;
    }
  });

  int lastPercent = -1;
  backup.OnFileRestored = TFileRestoredEvent([&](TObject*, std::string& name, TFileStream*&) {
    if (console.progress) console.err << "\r\033[K" << std::flush;
    console.out << name << "\n";
    lastPercent = -1;
  });
  if (console.progress) {
    backup.OnProgress = TProgressEvent([&](TObject*, const std::string&, TPercentage percent, bool&) {
      if (int(percent) == lastPercent) return;
      lastPercent = percent;
      console.err << "\r" << int(percent) << "%" << std::flush;
    });
  }
  std::string errorMessage;
  backup.OnError = TBackupErrorEvent([&](TObject*, int32_t, const std::string& text) { errorMessage = text; });

  // The file behind a failure and the system's reason, beside the component's message.
  auto nameFailedFile = [&] {
    if (!backup.FFailedFile.empty())
      console.err << "cannot write " << shownPath(backup.FFailedFile) << ": " << backup.FFailureReason << "\n";
  };
  bool ok = false;
  try {
    ok = backup.Restore(archive, dest);
  } catch (const std::exception& e) {
    if (console.progress) console.err << "\n";
    nameFailedFile();
    return {RestoreOutcome::Exception, e.what(), backup.FRestoredCount};
  }
  if (console.progress) console.err << "\r\033[K" << std::flush;
  nameFailedFile();
  report.restored = backup.FRestoredCount;
  if (ok) return report;
  if (backup.FErrorCode != 0) {
    report.outcome = RestoreOutcome::ErrorCode;
    report.message = errorMessage.empty() ? TBackupFile::errorMessage(backup.FErrorCode) : errorMessage;
  } else {
    report.outcome = RestoreOutcome::Cancelled;
    report.message = missingVolume.empty() ? "The restore was cancelled"
                                           : "The restore was cancelled: volume " + missingVolume + " is missing";
  }
  return report;
}

}  // namespace setupkit
