#include "app/launcher/launcher_medium.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "common/exit_status.h"
#include "framework/core/path_utils.h"
#include "install/publisher_pin.h"
#include "install/record_store.h"
#include "medium/installer_file.h"
#include "medium/medium_owner.h"
#include "medium/medium_settings.h"
#include "platform/file_window.h"
#include "platform/ini.h"
#include "platform/paths.h"
#include "platform/text_file.h"

namespace fs = std::filesystem;

namespace launcher {

namespace {

// `size` bytes at `offset` of the descriptor; empty when they cannot all be read.
std::string readAt(int fd, int64_t offset, int64_t size) {
  std::string text(size_t(size), '\0');
  for (int64_t done = 0; done < size;) {
    const ssize_t n = pread(fd, text.data() + done, size_t(size - done), off_t(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return {};
    done += n;
  }
  return text;
}

LauncherMedium refused(int status, const std::string& problem) {
  LauncherMedium m;
  m.status = status;
  m.problem = problem;
  return m;
}

}  // namespace

int openStartedFile(bool closeOnExec, std::string& problem) {
  const int fd = open("/proc/self/exe", O_RDONLY | (closeOnExec ? O_CLOEXEC : 0));
  if (fd < 0) {
    problem = std::string("cannot read the started file: ") + std::strerror(errno);
    return -1;
  }
  if (geteuid() != 0 || !medium_owner::bytesChangeableByOthers(fd)) return fd;
  const int copy = medium_owner::privateCopy(fd, closeOnExec, problem);
  close(fd);
  return copy;
}

std::string changeableFolderMedium(const std::string& launcher) {
  if (geteuid() != 0) return {};
  const std::string why = medium_owner::changeableByOthers(launcher);
  return why.empty() ? why : why + ": root installs only from a medium no other user can change";
}

medium_signature::Result checkSignature(bool oneFile, int fd, const installer::Parts& parts,
                                        const std::string& folder) {
  const medium_signature::TrustedKeys trusted =
      medium_signature::readTrustedKeys(medium_signature::trustedKeysDirectory());
  return oneFile ? medium_signature::checkOneFile(fd, parts, trusted) : medium_signature::checkFolder(folder, trusted);
}

LauncherMedium openLauncherMedium() {
  std::error_code ec;
  const std::string self = fs::read_symlink("/proc/self/exe", ec).string();
  if (ec) return refused(setupkit::kExitFailed, "cannot tell where this program lies (/proc is not mounted?)");
  // The running file itself, whatever is at its path by now.
  std::string problem;
  const int fd = openStartedFile(true, problem);
  if (fd < 0) return refused(setupkit::kExitMissing, self + ": " + problem);
  const std::string byDescriptor = "/proc/self/fd/" + std::to_string(fd);

  LauncherMedium m;
  const installer::Layout layout = installer::readLayout(byDescriptor);
  if (layout.state == installer::State::Sound) {
    const installer::Parts& p = layout.parts;
    m.oneFile = true;
    m.shownName = self;
    const medium_signature::Result signedBy = checkSignature(true, fd, p, {});
    if (signedBy.status != 0) {
      close(fd);
      return refused(signedBy.status, self + ": " + signedBy.problem);
    }
    m.signer = signedBy.signer;
    m.configuration = readAt(fd, p.configurationOffset(), p.configuration);
    // The engine opens the archive by name: the descriptor's name, whose
    // window is the archive's stretch of the installer.
    platform::mapFileWindow(byDescriptor, {byDescriptor, p.archiveOffset(), p.archive});
    auto archive = platform::virtualPathOf(byDescriptor);
    if (!archive) return refused(setupkit::kExitMissing, "no drive covers " + byDescriptor);
    m.archive = *archive;
    return m;
  }
  close(fd);
  // The launcher of a folder medium is a program without a trailer too: it
  // has SETUP.INS beside it. Elsewhere such a program is an installer cut
  // short.
  const fs::path folder = fs::path(self).parent_path();
  if (layout.state != installer::State::NotInstaller && !fs::is_regular_file(folder / "SETUP.INS", ec))
    return refused(layout.state == installer::State::Unreadable ? setupkit::kExitMissing : setupkit::kExitDamaged,
                   self + ": " + layout.problem);

  m.shownName = folder.string();
  if (const std::string why = changeableFolderMedium(self); !why.empty())
    return refused(setupkit::kExitRefused, why + ". " + kCopyForRoot);
  const medium_signature::Result signedBy = checkSignature(false, -1, {}, folder.string());
  if (signedBy.status != 0) return refused(signedBy.status, folder.string() + ": " + signedBy.problem);
  m.signer = signedBy.signer;
  m.configuration = platform::readWholeFile((folder / "SETUP.INS").string()).value_or("");
  auto archive = platform::virtualPathOf((folder / "SETUP.BIN").string());
  if (!archive) return refused(setupkit::kExitMissing, "no drive covers " + folder.string());
  m.archive = *archive;
  return m;
}

std::string setupValue(const LauncherMedium& medium, const std::string& key) {
  return platform::profileStringFromText("Setup", key, "", medium.configuration);
}

DefaultDestination defaultDestination(const LauncherMedium& medium) {
  const std::string earlier =
      record_store::newestDestination(setupValue(medium, "App"), publisher_pin::pinOf(medium.signer));
  if (!earlier.empty()) return {earlier, "installation"};
  return {::medium::installPlaceOf(medium.configuration).destination, "medium"};
}

bool keepsFolders(const LauncherMedium& medium) { return fw::sameText(setupValue(medium, "Paths"), "Tree"); }

std::string hostOf(const std::string& windowsPath) {
  auto host = platform::hostPathOf(windowsPath);
  return host ? *host : windowsPath;
}

std::string shownVolume(const LauncherMedium& medium, const std::string& windowsPath) {
  if (medium.oneFile) return medium.shownName;
  auto host = platform::hostPathOf(windowsPath);
  return host ? *host : windowsPath;
}

}  // namespace launcher
