#include "install/installation.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <set>

#include "common/exit_status.h"
#include "common/file_digest.h"
#include "engine/restore_target.h"
#include "framework/core/path_utils.h"
#include "install/install_recorder.h"
#include "install/menu_entry.h"
#include "install/publisher_pin.h"
#include "install/record_store.h"
#include "install/transaction.h"
#include "medium/installer_file.h"
#include "medium/medium_owner.h"
#include "platform/file_window.h"
#include "platform/ini.h"
#include "platform/paths.h"
#include "platform/text_file.h"

namespace install {

namespace {

Outcome ended(Result result, int status, std::string reason) {
  Outcome outcome;
  outcome.result = result;
  outcome.status = status;
  outcome.reason = std::move(reason);
  return outcome;
}

// How the restore ended, as the outcome every front end reports. A failure
// to read the archive is damage, not a failure to write.
void takeResult(const TRestoreResult& restored, Outcome& outcome) {
  using Status = TRestoreResult::Status;
  outcome.file = restored.file;
  outcome.volume = restored.volume;
  outcome.reading = restored.reading;
  switch (restored.status) {
    case Status::Completed:
      outcome.result = Result::Completed;
      outcome.status = setupkit::kExitOk;
      return;
    case Status::Missing:
      outcome.result = Result::Missing;
      outcome.status = setupkit::kExitMissing;
      outcome.reason = "the archive was not found";
      return;
    case Status::Failed:
    case Status::Raised:
      outcome.result = restored.damaged() ? Result::Damaged : Result::Failed;
      outcome.status = restored.damaged() ? setupkit::kExitDamaged : setupkit::kExitFailed;
      outcome.reason = restored.reason;
      return;
    default:  // stopped: a disk prompt cancelled, or the person ended it
      outcome.result = Result::Cancelled;
      outcome.status = setupkit::kExitCancelled;
      outcome.reason = "the installation was cancelled";
      return;
  }
}

// The bytes the installation writes into DEST's file system: each file of
// the medium rounded up to a block (from its attributes, else the archive's
// total of file bytes), the uninstaller, and the record (a line a file). What
// the installation replaces is kept aside until it ends, so it frees
// nothing before.
uint64_t spaceNeeded(const medium::Loaded& attributes, const std::string& hostArchive, const std::string& uninstaller) {
  constexpr uint64_t kBlock = 4096;
  auto rounded = [&](uint64_t size) { return (size + kBlock - 1) / kBlock * kBlock; };
  uint64_t needed = 0;
  uint64_t files = 0;
  if (attributes.state == medium::Loaded::State::Found) {
    for (const auto& [name, file] : attributes.attributes.files) needed += rounded(file.size);
    files = attributes.attributes.files.size();
  } else {
    // The archive's header: its text, then the total of the file bytes.
    std::string file = hostArchive;
    int64_t offset = 0;
    if (auto window = platform::fileWindowOf(hostArchive)) {
      file = window->file;
      offset = window->offset;
    }
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    int32_t textLength = 0, total = 0;
    if (fd >= 0 && pread(fd, &textLength, 4, offset) == 4 && textLength >= 0 &&
        pread(fd, &total, 4, offset + 4 + textLength) == 4 && total > 0)
      needed = uint64_t(total);
    if (fd >= 0) close(fd);
  }
  struct stat st {};
  if (!uninstaller.empty() && stat(uninstaller.c_str(), &st) == 0) needed += rounded(uint64_t(st.st_size));
  return needed + rounded(files * 160 + 1024) * 2;  // the record in the store and in DEST
}

std::string runningProgramFolder() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return {};
  const std::string program(path, size_t(n));
  const size_t slash = program.rfind('/');
  return slash == std::string::npos ? std::string() : program.substr(0, slash);
}

// The digest SETUP.SUM in `folder` lists for `name`: empty when the folder
// has no SETUP.SUM, "-" when it has one that does not list the name.
std::string listedDigest(const std::string& folder, const std::string& name) {
  const std::optional<std::string> sums = platform::readWholeFile(folder + "/" + medium_signature::kSums);
  if (!sums) return {};
  for (const std::string& line : platform::linesOf(*sums)) {
    const size_t gap = line.find("  ");
    if (gap != std::string::npos && line.substr(gap + 2) == name) return line.substr(0, gap);
  }
  return "-";
}

// The uninstaller `uninstall` in `folder`, by that exact name and never
// through a link, copied into an anonymous file whose bytes cannot change
// after they were read: its path (/proc/self/fd/N), or empty. On a signed
// medium it must be one of the files signed, with the digest listed.
std::string checkedUninstaller(const std::string& folder) {
  if (folder.empty()) return {};
  const std::string path = folder + "/" + install_record::kUninstallerName;
  const int in = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  struct stat st {};
  if (in < 0) return {};
  if (fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(in);
    return {};
  }
  const int out = memfd_create("uninstall", MFD_CLOEXEC);
  TSha256 digest;
  bool written = true;
  bool copied = out >= 0 && readRange(in, 0, -1, [&](const uint8_t* data, size_t n) {
                  digest.update(data, n);
                  for (size_t done = 0; written && done < n;) {
                    const ssize_t w = write(out, data + done, n - done);
                    written = w > 0;
                    if (written) done += size_t(w);
                  }
                });
  copied = copied && written;
  close(in);
  const std::string listed = listedDigest(folder, install_record::kUninstallerName);
  copied = copied && (listed.empty() || listed == digest.finishHex());
  if (!copied) {
    if (out >= 0) close(out);
    return {};
  }
  return "/proc/self/fd/" + std::to_string(out);  // open for the rest of the process
}

}  // namespace

const char* resultName(Result result) {
  switch (result) {
    case Result::Completed: return "completed";
    case Result::Missing: return "missing";
    case Result::Cancelled: return "cancelled";
    case Result::Damaged: return "damaged";
    case Result::Failed: return "failed";
    case Result::Refused: return "refused";
  }
  return "failed";
}

TInstallation::TInstallation(TBackupFile& backup, Medium medium, Choices choices)
    : backup_(backup), medium_(std::move(medium)), choices_(std::move(choices)) {}

TInstallation::~TInstallation() = default;

const std::optional<Outcome>& TInstallation::check() {
  if (checked_) return refusal_;
  checked_ = true;
  // An earlier installation into DEST that did not end (killed, the power
  // gone) is undone before anything else.
  const auto destHost = platform::hostPathOf(fw::withoutTrailingBackslash(choices_.destination));
  if (destHost && !fw::withoutTrailingBackslash(choices_.destination).empty()) {
    bool undone = false;
    const std::string why = transaction::recover(*destHost, &undone);
    if (!why.empty()) {
      refusal_ = ended(Result::Failed, setupkit::kExitFailed, why);
      return refusal_;
    }
    if (undone) recovered_ = "an earlier installation into " + *destHost + " that did not end was undone";
  }
  // An archive this user may not read is missing to the installation (3),
  // as to setupkit, not damaged.
  const auto archive = platform::hostPathOf(medium_.archive);
  if (archive && access(archive->c_str(), F_OK) == 0 && access(archive->c_str(), R_OK) != 0) {
    refusal_ = ended(Result::Missing, setupkit::kExitMissing, "cannot read " + *archive + ": " + std::strerror(errno));
    refusal_->volume = medium_.archive;
    return refusal_;
  }
  // Root installs only what it checked: never from a medium another user
  // could change while it is read.
  if (archive && geteuid() == 0 && access(archive->c_str(), F_OK) == 0) {
    if (const std::string why = medium_owner::changeableByOthers(*archive); !why.empty()) {
      refusal_ = ended(Result::Refused, setupkit::kExitRefused,
                       why +
                           ": root installs only from a medium no other user can change; copy it into a folder "
                           "only root can write");
      return refusal_;
    }
  }
  // The medium's attributes (SETUP.ATR beside the archive, or the one-file
  // installer's part): damaged ones are refused before anything is written.
  attributes_ = archive ? medium::loadForArchive(*archive) : medium::Loaded();
  if (attributes_.state == medium::Loaded::State::Damaged) {
    refusal_ = ended(Result::Damaged, setupkit::kExitDamaged, attributes_.problem);
    return refusal_;
  }
  // A file of the medium that would land on the installation's uninstaller
  // or record (names match ignoring letter case, as the restore finds them);
  // a menu entry that would run a file the installation does not install,
  // or that no menu files under its categories.
  const std::string below = fw::withTrailingBackslash(choices_.destination);
  if (!fw::withoutTrailingBackslash(below).empty()) {
    const TRestoreTarget placement(below);
    std::set<std::string> installed;
    for (const auto& [stored, unused] : attributes_.attributes.files) {
      const std::string target = placement.targetOf(stored, backup_.RestoreFullPath);
      if (target.size() <= below.size()) continue;
      const std::string name = target.substr(below.size());
      if (fw::sameText(name, install_record::kUninstallerName) || fw::sameText(name, install_record::kRecordName)) {
        refusal_ = ended(Result::Damaged, setupkit::kExitDamaged,
                         "the medium's file " + stored + " would replace the installation's own " + name);
        return refusal_;
      }
      std::string slashed = name;
      std::replace(slashed.begin(), slashed.end(), '\\', '/');
      installed.insert(slashed);
    }
    const menu_entry::Settings menu = menu_entry::fromIni(medium_.settings);
    if (menu.present() && attributes_.state == medium::Loaded::State::Found) {
      std::string exec = menu.exec;
      std::replace(exec.begin(), exec.end(), '\\', '/');
      std::string why;
      if (!installed.count(exec))
        why = "its menu entry runs " + menu.exec + ", which it does not install";
      else
        why = menu_entry::categoriesProblem(menu.categories);
      if (!why.empty()) {
        refusal_ = ended(Result::Damaged, setupkit::kExitDamaged, "the medium is damaged: " + why);
        return refusal_;
      }
    }
  }
  // The space the installation needs, before the first byte.
  if (destHost && !fw::withoutTrailingBackslash(choices_.destination).empty()) {
    const std::string why =
        transaction::spaceProblem(*destHost, spaceNeeded(attributes_, archive.value_or(""), medium_.uninstaller));
    if (!why.empty()) {
      refusal_ = ended(Result::Failed, setupkit::kExitFailed, why);
      return refusal_;
    }
  }
  // The publisher pinned by an earlier installation into the destination.
  const std::string why = publisher_pin::conflict(choices_.destination, publisher_pin::pinOf(medium_.signer));
  if (!why.empty()) {
    bool goAhead = choices_.newPublisher == NewPublisher::Accept;
    if (choices_.newPublisher == NewPublisher::Ask && choices_.ask) goAhead = choices_.ask(why);
    if (!goAhead) {
      refusal_ = ended(Result::Refused, setupkit::kExitRefused, why);
      refusal_->refusal = Refusal::Publisher;
      refusal_->declined = choices_.newPublisher == NewPublisher::Ask;
    }
    // Another publisher's installation is no earlier version of this one.
    return refusal_;
  }
  return checkVersion();
}

const std::optional<Outcome>& TInstallation::checkVersion() {
  const auto here = installedHere(choices_.destination, medium_.settings, medium_.signer);
  if (!here) return refusal_;
  bool goAhead = here->order != versions::Order::Older || choices_.downgrade == Downgrade::Accept;
  if (choices_.askInstalled) goAhead = choices_.askInstalled(*here);
  if (!goAhead) {
    std::string why = here->destination + " holds " + here->application +
                      (here->installedVersion.empty() ? "" : " " + here->installedVersion) + "; this medium installs " +
                      (here->mediumVersion.empty() ? "an unknown version" : "version " + here->mediumVersion);
    if (here->order == versions::Order::Older) why += ", an older one";
    refusal_ = ended(Result::Refused, setupkit::kExitRefused, why);
    refusal_->refusal = Refusal::Downgrade;
    refusal_->declined = bool(choices_.askInstalled);
  }
  return refusal_;
}

Outcome TInstallation::run() {
  if (const auto& refused = check()) return *refused;

  medium::TMediumCheck landing(std::move(attributes_.attributes));
  TLandingCheck* const previousCheck = backup_.LandingCheck;
  backup_.LandingCheck = attributes_.state == medium::Loaded::State::Found ? &landing : nullptr;
  struct PutBack {
    TBackupFile& backup;
    TLandingCheck* check;
    ~PutBack() { backup.LandingCheck = check; }
  } putBack{backup_, previousCheck};

  TInstallOptions recording;
  recording.application = platform::profileStringFromText("Setup", "App", "", medium_.settings);
  recording.version = platform::profileStringFromText("Setup", "Version", "", medium_.settings);
  recording.title = platform::profileStringFromText("Setup", "Title", "", medium_.settings);
  recording.publisher = platform::profileStringFromText("Setup", "Publisher", "", medium_.settings);
  recording.installed = install_record::isoDate(int64_t(std::time(nullptr)));
  recording.menu = menu_entry::fromIni(medium_.settings);
  recording.publisherKey = publisher_pin::pinOf(medium_.signer);
  recording.uninstallerProgram = medium_.uninstaller;

  Outcome outcome;
  std::string problem;
  {
    TInstallRecorder recorder(backup_, choices_.destination, recording);
    try {
      recorder.finish(backup_.Restore(medium_.archive, choices_.destination));
    } catch (...) {
      outcome.raised = std::current_exception();
      recorder.finish(false);
    }
    outcome.warnings = recorder.warnings();
    if (!recovered_.empty()) outcome.warnings.insert(outcome.warnings.begin(), recovered_);
    problem = recorder.problem();
    outcome.rolledBack = recorder.rolledBack();
    for (const auto& kept : recorder.kept()) outcome.kept.push_back({kept.name, kept.reason});
  }
  takeResult(backup_.Result(), outcome);
  // The files landed, but the record or the uninstaller did not: it cannot
  // be removed as it should, so it failed.
  if (outcome.result == Result::Completed && !problem.empty()) {
    outcome.result = Result::Failed;
    outcome.status = setupkit::kExitFailed;
    outcome.reason = problem;
  }
  outcome.written = backup_.FRestoredCount;
  if (outcome.result != Result::Completed && backup_.FErrorCode != 0)
    outcome.componentMessage = TBackupFile::errorMessage(backup_.FErrorCode);
  return outcome;
}

std::optional<InstalledHere> installedHere(const std::string& destination, const std::string& settings,
                                           const medium_signature::Signer& signer) {
  const std::string app = platform::profileStringFromText("Setup", "App", "", settings);
  if (app.empty() || destination.empty()) return std::nullopt;
  const auto host = destination[0] == '/' ? std::optional<std::string>(destination)
                                          : platform::hostPathOf(fw::withoutTrailingBackslash(destination));
  if (!host) return std::nullopt;
  const int dir = open(host->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return std::nullopt;
  const record_store::Earlier earlier = record_store::loadEarlier(dir);
  close(dir);
  const install_record::Record& record = earlier.record;
  if (earlier.state != install_record::LoadState::Loaded || record.application != app) return std::nullopt;
  // Another publisher's installation is the pin's question, not this one.
  if (!publisher_pin::conflict(*host, publisher_pin::pinOf(signer)).empty()) return std::nullopt;
  InstalledHere here;
  here.destination = record.destination.empty() ? *host : record.destination;
  here.application = app;
  here.installedVersion = record.version;
  here.mediumVersion = platform::profileStringFromText("Setup", "Version", "", settings);
  here.order = versions::compare(here.mediumVersion, here.installedVersion);
  here.complete = record.complete;
  return here;
}

std::string uninstallerBeside(const std::string& mediumFolder, bool besideProgram) {
  std::vector<std::string> folders;
  if (besideProgram) folders.push_back(runningProgramFolder());
  if (auto onMedium = platform::hostPathOf(fw::withoutTrailingBackslash(mediumFolder))) folders.push_back(*onMedium);
  for (const auto& folder : folders) {
    std::string copy = checkedUninstaller(folder);
    if (!copy.empty()) return copy;
  }
  return {};
}

std::string settingsOf(const std::string& mediumFolder) {
  const auto host = platform::hostPathOf(fw::withTrailingBackslash(mediumFolder) + "SETUP.INS");
  if (!host) return {};
  return platform::readWholeFile(*host).value_or("");
}

medium_signature::Signer signerOfArchive(const std::string& hostArchive) {
  // Only the medium's own key: whether that publisher may install here is
  // the pin's question, asked with the whole key.
  const medium_signature::TrustedKeys ownKeyOnly;
  std::string file = hostArchive;
  if (auto window = platform::fileWindowOf(hostArchive)) file = window->file;
  const installer::Layout layout = installer::readLayout(file, false);
  medium_signature::Result checked;
  if (layout.state == installer::State::Sound) {
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    checked = medium_signature::checkOneFile(fd, layout.parts, ownKeyOnly);
    close(fd);
  } else {
    const size_t slash = hostArchive.rfind('/');
    checked =
        medium_signature::checkFolder(slash == std::string::npos ? "." : hostArchive.substr(0, slash + 1), ownKeyOnly);
  }
  return checked.status == 0 ? checked.signer : medium_signature::Signer();
}

}  // namespace install
